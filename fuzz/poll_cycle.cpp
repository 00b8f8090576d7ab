// The polling cycle fed by the detector's side of the bus: the program runs on virtual time
// with logging on, and every frame it writes is answered by the next record of the input
// (PollRecords.h). Records may also carry the technician's keys, taken in the window that is
// showing, so the commands, the maintenance poll and the two configuration writes run on
// fuzzed replies too. The run ends when the records run out.

#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "PollRecords.h"
#include "Support.h"
#include "config/AddressEntry.h"
#include "config/ConfigExchanges.h"
#include "config/SetupCodec.h"
#include "link/Link.h"
#include "logging/LoggingControl.h"
#include "maintenance/MaintComm.h"
#include "monitor/MainComm.h"
#include "monitor/PollLoop.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"
#include "state/Par.h"
#include "ui/Dialogs.h"

using namespace halvern;
using namespace halvern::fuzz;

namespace {

// The program writes a frame at least every few seconds whatever the replies are.
constexpr Micros kLongestSilenceUs = 60'000'000;

enum class Window { Main, Maintenance, Setup, Address };

class Input {
  public:
    explicit Input(std::span<const std::uint8_t> data) : d_(data) {}
    bool Empty() const { return at_ >= d_.size(); }
    std::uint8_t Byte() { return Empty() ? 0 : d_[at_++]; }
    std::vector<std::uint8_t> Bytes(std::size_t n) {
        n = std::min(n, d_.size() - at_);
        std::vector<std::uint8_t> out(d_.begin() + static_cast<std::ptrdiff_t>(at_),
                                      d_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return out;
    }

  private:
    std::span<const std::uint8_t> d_;
    std::size_t at_ = 0;
};

// The program as the application assembles it, without windows; window_ stands for the one
// the technician sees, whose keys are the only ones that act.
class Program {
  public:
    Program(const std::string& folder, std::span<const std::uint8_t> data) : in_(data) {
        par_.ProgramFolder = folder;
        port_.Open("fuzz", nullptr);
        port_.SetRecording(false);
        port_.onHostFrame = [this](Micros end, const std::vector<std::uint8_t>&) { Answer(end); };
        par_.LogPeriod = in_.Byte();
        par_.LoggingOn = par_.LogPeriod > 0;
        logTimer_->SetInterval(kLogTickMs);
        logTimer_->onTick = [this] {
            LogTick(par_, {});
            FUZZ_CHECK(plat_.NowUs() - lastFrameUs_ < kLongestSilenceUs);
        };
        logTimer_->SetEnabled(true);

        MainCommHooks hooks;
        hooks.openSetup = [this](std::uint8_t address) { OpenSetup(address); };
        hooks.openAddress = [this] { window_ = Window::Address; };
        hooks.openMaintenance = [this] {
            window_ = Window::Maintenance;
            maint_.Open();
        };
        comm_ = std::make_unique<MainComm>(par_, link_, dialogs_, loop_, std::move(hooks));
    }

    void Run() { comm_->Activate(); }

  private:
    void Answer(Micros frameEnd) {
        lastFrameUs_ = frameEnd;
        for (;;) {
            if (in_.Empty()) {
                loop_.Quit();
                return;
            }
            const std::uint8_t header = in_.Byte();
            const Micros at = frameEnd + (header >> 2) * kDelayStepUs;
            switch (header & 3) {
                case kReply:
                case kReplyWithCrc: {
                    auto reply = in_.Bytes(in_.Byte());
                    if ((header & 3) == kReplyWithCrc)
                        AppendCrc(reply);
                    port_.SendToHost(reply, at);
                    return;
                }
                case kSilence:
                    return;
                default: {  // kKey
                    const std::uint8_t action = in_.Byte() % kActionCount;
                    const std::uint8_t param = action == kBurnAddress ? in_.Byte() : 0;
                    plat_.Post(at, [this, action, param] { Key(action, param); });
                }
            }
        }
    }

    void OpenSetup(std::uint8_t address) {
        window_ = Window::Setup;
        setupModel_ = {par_.Reading.ModelName, par_.Reading.ModelCode};
        setupAddress_ = address;
        par_.Setup = SetupTableFromReply(par_.Link.RxBuffer);
        setupTexts_ = ShownSetupTexts(par_.Setup, setupModel_);
    }

    // A child window closed: the main window takes over the polling again.
    void BackToMain() {
        window_ = Window::Main;
        if (loop_.Running())
            comm_->Activate();
    }

    void Key(std::uint8_t action, std::uint8_t param) {
        // The main window's keys in the order of their actions.
        static constexpr void (MainComm::*kMainKeys[])() = {
            &MainComm::cmdUp,     &MainComm::cmdDown,        &MainComm::cmdAlign,
            &MainComm::cmdSetio,  &MainComm::cmdVer,         &MainComm::cmdVer2,
            &MainComm::cmdMaster, &MainComm::StartTuningKey, &MainComm::cmdSetAddr,
            &MainComm::cmdMaint};
        static_assert(std::size(kMainKeys) == kCheck);

        switch (window_) {
            case Window::Main:
                if (action < kCheck)
                    (comm_.get()->*kMainKeys[action])();
                return;
            case Window::Maintenance:
                if (action == kCheck)
                    maint_.cmdCheck();
                else if (action == kNormal)
                    maint_.cmdNormal();
                else if (action == kMaintAlign)
                    maint_.cmdAlign();
                else if (action == kClose) {
                    maint_.Close();
                    BackToMain();
                }
                return;
            case Window::Setup:
                if (!burning_ && action == kClose)
                    BackToMain();
                // A refused Burn (an empty field) leaves the screen as it was.
                if (!burning_ && action == kBurnSetup) {
                    const auto burn =
                        SetupTableToBurn(par_.Setup, setupTexts_, SetupFieldSet(), setupModel_);
                    if (!std::holds_alternative<SetupTable>(burn))
                        return;
                    burning_ = true;
                    par_.Setup = std::get<SetupTable>(burn);
                    WriteSetupTable(link_, setupAddress_, par_.Setup, Quitting());
                    burning_ = false;
                    BackToMain();
                }
                return;
            case Window::Address:
                if (!burning_ && action == kClose)
                    BackToMain();
                // An address that cannot be written is refused and the dialog stays.
                if (!burning_ && action == kBurnAddress) {
                    if (const auto address = AddressToBurn(std::to_string(param))) {
                        burning_ = true;
                        WriteNewAddress(link_, DetNumByte(par_), *address, Quitting());
                        par_.Main.DetNum = std::to_string(*address);
                        burning_ = false;
                        BackToMain();
                    }
                }
                return;
        }
    }

    StopCheck Quitting() {
        return [this] { return loop_.Quitting(); };
    }

    VirtualPlatform plat_;
    SimulatedSerialPort port_{plat_};
    Par par_;
    Link link_{plat_, port_, par_.Link};
    DecliningDialogs dialogs_;
    PollLoop loop_;
    std::unique_ptr<Timer> logTimer_ = plat_.NewTimer();
    std::unique_ptr<MainComm> comm_;
    MaintComm maint_{par_, link_, dialogs_, loop_, nullptr};

    Input in_;
    Micros lastFrameUs_ = 0;
    Window window_ = Window::Main;
    bool burning_ = false;  // a child window's write runs; its keys are ignored meanwhile
    SetupModel setupModel_;
    std::uint8_t setupAddress_ = 0;
    SetupTexts setupTexts_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Scratch scratch("poll_cycle");
    scratch.Empty();
    Program program(scratch.Path(), {data, size});
    program.Run();
    return 0;
}
