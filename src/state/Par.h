#pragma once
// The state that all windows share: plain data, owned by the application and handed by
// reference to the code that needs it. Windows show it; they do not keep their own copy.

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "link/Frame.h"
#include "link/Requests.h"
#include "link/Tuning.h"
#include "state/StatusReading.h"

namespace halvern {

class HistoryStore;

// Per-address state has a slot for every address byte: a detector that answers from 248 to
// 255 is served, and logged, like any other.
constexpr int kAddressSlots = 256;
// Indices 0 to 4096 as the counts were laid out; CurrentAddress is a byte, so only 0 to 255
// are ever used.
constexpr int kFailCountSlots = 4097;
// Consecutive failed polls after which a detector is given up (shown as lost).
constexpr int kLostAfterFailedPolls = 5;

// RGB colours of the panel.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

enum class Lamp { Unknown, Green, Red };

// What the detector panel of the main window shows.
struct Panel {
    std::string DetNum = "1";  // lblDetNum: the address of the detector being served
    std::string Flash;         // lblFlash: model name
    std::string SeNum;         // lblSeNum
    std::string Status;        // lblStatus
    Rgb StatusBack = kWhite;
    Rgb StatusFore = kBlack;
    std::string SIL2Des;               // lblSIL2Des: status description
    std::string Gain;                  // lblGain
    std::array<std::string, 5> ChVal;  // lblChVal(0..4)
    std::string Com;                   // lblCom: "Good" / "Bad"
    Lamp Shape1 = Lamp::Unknown;
    std::string Ver;  // lblVer caption
    bool VerVisible = false;
    std::string MasterCaption = "maste&R";
    std::string SLogCaption = "&Start log";  // mnuSLog
    std::string LogOnCaption;                // lblLogOn
    bool LogOnVisible = false;
    std::string PortNotice;   // the last problem the serial port reported
    std::string WriteNotice;  // how the last setup or address write ended
};

// What the maintenance window shows.
struct MaintPanel {
    std::string Title;  // "Maintenance window of detector serial No:4711"
    std::string Gain, Sig1, Ref, Sig2, Rat1, Rat2, NQRat1, NQRat2, LEL, Temp, Voltage, TOTime;
    std::string R2N, S1N, S2N;  // noise figures, only during the S/N test
    std::string Status;
    Rgb StatusBack = kWhite;
    Rgb StatusFore = kBlack;
    std::string Com = "Good";           // lblCom, the link state
    Lamp ComState = Lamp::Unknown;      // Green: "Good" on green; Red: "Bad" on red
    std::string LELCaption = "%LEL.m";  // Label9: "%LEL.m" or "PPM.m"
    bool ExitEnabled = true, CheckEnabled = true, NormalEnabled = true, AlignEnabled = true;
    // The window's own figures of its last decoded reply, slot by slot as ChannelValues (NaN:
    // not in the reply), and the serial number they belong to. The shared decoded values, which
    // the log records take, stay the main window's decoding of the same reply.
    std::array<float, kChannelSlots> Values{};
    double Serial = 0;
    std::int16_t ModelCode = 0;  // the family byte of that reply
    std::string Model;           // its model's name; empty before the window decoded a reply
};

struct Par {
    std::string ProgramFolder;  // where CommPortNo.txt, CommTune2.txt and the logs live
    // Where the technician's own files (reports, exports) are offered: the user's documents.
    std::string DocumentsFolder;
    // The service history that each action on a detector is recorded in; none: not recorded.
    HistoryStore* History = nullptr;

    // Link
    LinkBuffers Link;
    TuneState Tune;
    std::int16_t port = 0;  // frmComm.port: the chosen COM port number
    // A device picked from frmComm's list of ports; it is opened instead of the number's.
    // Not stored: CommPortNo.txt keeps the number.
    std::string PortDevice;

    // Polling cycle
    std::uint8_t CurrentAddress = 1;
    bool SearchMode = false;
    bool SearchToggle = false;
    std::array<double, kFailCountSlots> FailCount{};
    std::array<double, kFailCountSlots> MaintFailCount{};

    // The last status reply decoded, of whichever detector answered (the maintenance window's
    // poll decodes into it too, so the log records do not step while it is open).
    StatusReading Reading;
    // By address: the polling cycle gave the detector up (kLostAfterFailedPolls failed polls
    // in a row) and it has not answered since. Its last reading is no measurement any more.
    std::array<bool, kAddressSlots> GivenUp{};

    SetupTable Setup;
    bool SnTestMode = false;
    // By address: an S/N test frame went to the detector and no normal-mode write has been
    // confirmed since, so it may still be in its test. The main window says so.
    std::array<bool, kAddressSlots> LeftInSnTest{};

    // Logging
    bool LoggingOn = false;
    std::uint8_t LogPeriod = 0;
    std::uint8_t LogTickCount = 0;
    std::array<bool, kAddressSlots> RecordDue{};
    std::array<std::string, kAddressSlots> DisconnectMark;
    std::array<std::uint8_t, kAddressSlots> LastStatusByte{};
    // Log files whose due record could not be written, with the reason. A file leaves its list
    // when a record is written to it; the cycle records' list empties when logging stops,
    // since none of them is due any more.
    std::map<std::string, std::string> CycleLogFailures, DisconnectionLogFailures;
    // Records appended to the log files, and appends that failed, since the start.
    std::uint64_t LogRecordsWritten = 0, LogWriteFailures = 0;

    Panel Main;
    MaintPanel Maint;
};

// The address shown in lblDetNum as a byte (its leading decimal number; 0 when none).
std::uint8_t DetNumByte(const Par& par);

}  // namespace halvern
