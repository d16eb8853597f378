#include "cli/commands.h"

#include <memory>

#include "bootloader/lolevel.h"
#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "platform/beep.h"
#include "platform/ports.h"
#include "serial/comport.h"
#include "settings/hexfile.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "settings/targets.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace cli {

namespace {

constexpr std::int32_t kEvenParity = 2;
constexpr unsigned kBeepRecognised = 0;

class Runner {
public:
    Runner(const PortChoice& board, const std::vector<std::string>& targetItems, TerminalStatusBar& bar)
        : board_(board), targetItems_(targetItems), bar_(bar), port_(std::make_unique<TComPort>()) {}

    bool Run(const Command& c) {
        try {
            if (c.NeedsChip() && !PortReady()) return Close(false, portText_);
            switch (c.kind) {
                case CommandKind::Info: return Info();
                case CommandKind::Erase: return Erase();
                case CommandKind::Blank: return Blank();
                case CommandKind::Program: return ProgramOrVerify(c.file, true);
                case CommandKind::Verify: return ProgramOrVerify(c.file, false);
                case CommandKind::Read: return Read(ExpandPort(c.file, board_));
                case CommandKind::Reset: return Reset();
                case CommandKind::Settings: return Settings();
                case CommandKind::Targets: return TargetList();
            }
        } catch (const std::exception& e) {
            // A file error ends the job where it stands, as in the window.
            return Close(false, e.what());
        }
        return false;
    }

private:
    void Show(const std::string& text) {
        bar_.SetText(text);
        bar_.Repaint();
    }

    bool Close(bool ok, const std::string& closing, const std::vector<std::string>& lines = {}) {
        bar_.FinishJob(closing);
        for (const auto& line : lines) std::printf("%s\n", line.c_str());
        if (!closing.empty()) std::printf("%s\n", closing.c_str());
        std::fflush(stdout);
        return ok;
    }

    // Opened once, as the window's first activation does; set up as there.
    // No command that succeeds leaves it closed, and the first failure ends the run.
    bool PortReady() {
        if (!portSetUp_) {
            portSetUp_ = true;
            port_->SetParity(kEvenParity);
            port_->SetPort(Ini.ComNr);
            port_->SetBaud(Ini.Baud);
            port_->Open();
            portText_ = OpenStateText(board_.Label(), *port_);
            bar_.SetText(portText_);
        }
        return port_->Opened();
    }

    bool Info() {
        Show("warte..");
        const TIdentification id = IdentifyChip(*port_);
        std::vector<std::string> lines = id.lines;
        if (id.result == TIdentification::Done && id.targetIndex >= 0) {
            // The chip becomes the current one, also for the commands after this.
            const TTargetRec& t = Targets[id.targetIndex];
            TakeTarget(t, t.Name);
            const auto index = static_cast<std::size_t>(id.targetIndex);
            lines.push_back(index < targetItems_.size() ? targetItems_[index] : t.Name);
            platform::MessageBeep(kBeepRecognised);
        }
        return Close(id.result == TIdentification::Done, id.statusText, lines);
    }

    bool Erase() {
        std::string message;
        EraseChip(*port_, bar_, message);
        return Close(message == "Chip ist gelöscht", message);
    }

    bool Blank() {
        bar_.StartJob(Ini.FlashStart, ReadExtent());
        std::string message;
        BlankCheck(*port_, bar_, message);
        return Close(message.starts_with("Chip ist leer bis $"), message);
    }

    bool ProgramOrVerify(const std::string& file, bool program) {
        Show("lese Hexdatei..");
        std::string message;
        if (!LoadHexFile(bar_, file, message)) return Close(false, message);
        bar_.StartJob(0, UsedImageEnd());
        Show("verbinde..");
        if (!Connect(*port_)) return Close(false, "keine Verbindung.");
        message.clear();
        if (program) {
            Show("programmiere..");
            ProgramFlash(*port_, bar_, message);
            return Close(message.starts_with("..ende, programmiert bis "), message);
        }
        VerifyFlash(*port_, bar_, message);
        return Close(message.starts_with("..ende, verifiziert bis "), message);
    }

    bool Read(const std::string& file) {
        bar_.StartJob(Ini.FlashStart, ReadExtent());
        ReadOut(file, *port_, bar_);
        const std::string closing = bar_.Text();
        return Close(closing.starts_with("gelesen bis $") && closing.ends_with(" fertig."), closing);
    }

    bool Reset() {
        RestartNormal(*port_);
        return Close(true, "Normal-Start");
    }

    // What the configuration file would hold, from the writer itself.
    bool Settings() {
        std::string content;
        for (const std::string& line : KonfigLines()) content += line + "\r\n";
        bar_.FinishJob({});
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);  // the CR LF line ends as written
#endif
        std::fwrite(content.data(), 1, content.size(), stdout);
        std::fflush(stdout);
        return true;
    }

    bool TargetList() {
        if (targetItems_.empty())
            std::fprintf(stderr, "velkor-cli: no chips: %s%s is missing or lists none\n",
                         platform::ExecutableDir().c_str(), kTargetsFileName);
        return Close(true, {}, targetItems_);
    }

    const PortChoice& board_;
    const std::vector<std::string>& targetItems_;
    TerminalStatusBar& bar_;
    std::unique_ptr<TComPort> port_;
    bool portSetUp_ = false;
    std::string portText_;
};

}  // namespace

int RunCommands(const Request& request, const PortChoice& board, const std::vector<std::string>& targetItems,
                TerminalStatusBar& bar) {
    Runner runner(board, targetItems, bar);
    for (const auto& c : request.commands)
        if (!runner.Run(c)) return kExitFailed;
    return kExitOk;
}

}  // namespace cli
