#pragma once
// One action on a detector as the service history keeps it: who did what to which detector,
// when, from what to what, and how it ended. The windows and halvern-cli make one when an
// action ends and hand it to the store of the shared state.

#include <cstdint>
#include <optional>
#include <string>

namespace halvern {

struct Par;

// The actions, as the history names them.
constexpr const char* kActionSetupRead = "setup read";
constexpr const char* kActionSetupWrite = "setup write";
constexpr const char* kActionAddress = "address change";
constexpr const char* kActionSnTest = "S/N test";
constexpr const char* kActionNormal = "normal mode";
constexpr const char* kActionAlign = "align";
constexpr const char* kActionVersion = "version read";

struct ServiceEvent {
    std::int64_t id = 0;              // the store's number; 0 before it is stored
    std::string utc;                  // "2026-12-07T04:09:02Z"
    std::string local;                // "2026-12-07 05:09:02", the PC's local time
    std::string serial;               // as the main window shows it
    std::string model;                // model name
    int address = 0;                  // the bus address the action went to
    std::string action;               // one of kAction...
    std::string before, after;        // texts; a setup table one field a line
    std::string rawBefore, rawAfter;  // the setup table's four bytes in hex ("48 04 01 23")
    std::optional<bool> confirmed;    // nothing: the action has no confirmation (align)
    std::optional<int> attempts;      // nothing: not known
    std::string status;               // the detector's status when the action ended
    std::string program, version, user;
};

// "confirmed", "NOT confirmed" or "sent" (no confirmation expected); with the attempts when
// they are known: "confirmed after 1 attempt".
std::string OutcomeText(const ServiceEvent& e);

// An event of the detector at `address`: its serial number and model from the shared reading
// when that is the reading of this address (none otherwise), its status as the main window
// shows it.
ServiceEvent DetectorEvent(const Par& par, std::uint8_t address, const char* action);
// Hands the event to the history of the shared state; nothing without one.
void RecordEvent(Par& par, ServiceEvent event);
void RecordAction(Par& par, std::uint8_t address, const char* action, std::string before,
                  std::string after, std::optional<bool> confirmed,
                  std::optional<int> attempts = std::nullopt);

// The user name the PC gives the session.
std::string PcUserName();

}  // namespace halvern
