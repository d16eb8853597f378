#include "cli/commands.h"

#include <chrono>
#include <memory>

#include "bootloader/lolevel.h"
#include "cli/json.h"
#include "cli/port_list.h"
#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "jobs/session.h"
#include "jobs/steps.h"
#include "platform/beep.h"
#include "platform/hex_text.h"
#include "platform/locations.h"
#include "platform/ports.h"
#include "platform/version.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "settings/targets.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kEvenParity = 2;
constexpr unsigned kBeepRecognised = 0;
constexpr std::uint32_t kBlock = 256;

std::string Address(std::uint32_t a) { return "0x" + platform::Hex8(a); }

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The bytes as they are, a NUL in a chip name included.
void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// What one command ends with.
struct Outcome {
    bool ok = false;
    std::string closing;
    std::vector<std::string> lines;     // printed before the closing text
    std::vector<std::string> warnings;  // standard error
    JsonObject fields;                  // the command's own JSON fields
};

Outcome Done(bool ok, std::string closing) {
    Outcome o;
    o.ok = ok;
    o.closing = std::move(closing);
    return o;
}

class Runner {
public:
    Runner(const Request& request, const PortChoice& board, const std::vector<std::string>& targetItems,
           const Inputs& inputs, TerminalStatusBar& bar)
        : request_(request),
          board_(board),
          targetItems_(targetItems),
          inputs_(inputs),
          bar_(bar),
          port_(std::make_unique<TComPort>()),
          session_(*port_, request.bootDelayMs.value_or(proto::kBootDelayMs)) {}

    bool Run(const Command& c) {
        const std::string started = UtcNow();
        const auto start = Clock::now();
        const std::uint64_t blocksBefore = bar_.BlockTexts();
        Outcome o;
        try {
            o = c.NeedsChip() && !PortReady() ? Done(false, portText_) : Dispatch(c);
        } catch (const std::exception& e) {
            // A file error ends the job where it stands, as in the window.
            o = Done(false, e.what());
        }
        // A failed step may leave the bootloader in the middle of a command.
        if (!o.ok) session_.Drop();
        // Each block text stands for a block begun; a failure stopped the last.
        const std::uint64_t blocks = bar_.BlockTexts() - blocksBefore;
        const std::uint64_t bytes = (blocks - (!o.ok && blocks > 0 ? 1 : 0)) * kBlock;
        bytes_ += bytes;
        bar_.FinishJob(o.closing);
        for (const auto& w : o.warnings) std::fprintf(stderr, "velkor-cli: %s\n", w.c_str());
        if (request_.json) {
            JsonObject j;
            j.Add("type", "command").Add("port", board_.Label()).Add("command", c.Word());
            if (!c.file.empty()) j.Add("file", c.file);
            j.Add("ok", o.ok).Add("closing", o.closing).Add("started", started).Add("ms", MsSince(start));
            j.Add("bytes", static_cast<std::int64_t>(bytes));
            if (!o.lines.empty()) j.Add("lines", o.lines);
            PrintLine(j.Merge(o.fields).Text());
        } else {
            for (const auto& line : o.lines) PrintLine(line);
            if (!o.closing.empty()) PrintLine(o.closing);
        }
        std::fflush(stdout);
        return o.ok;
    }

    std::uint64_t Bytes() const { return bytes_; }
    std::uint32_t Connects() const { return session_.Connects(); }
    // 0 on a local port, whose waits stay exact.
    std::uint32_t WaitMargin() const { return port_ ? port_->WaitMargin() : 0; }

private:
    Outcome Dispatch(const Command& c) {
        switch (c.kind) {
            case CommandKind::Info: return Info();
            case CommandKind::Erase: return c.pages.empty() ? Erase() : ErasePageList(c.pages);
            case CommandKind::Blank: return Blank();
            case CommandKind::Program: return ProgramOrVerify(c, true);
            case CommandKind::Verify: return ProgramOrVerify(c, false);
            case CommandKind::Read: return Read(ExpandPort(c.file, board_));
            case CommandKind::Go: return Go(c.address.value_or(Ini.FlashStart));
            case CommandKind::Protect: return Protect();
            case CommandKind::Reset: return Reset();
            case CommandKind::Settings: return Settings();
            case CommandKind::Targets: return TargetList();
            case CommandKind::Ports: return Ports();
        }
        return {};
    }

    void Show(const std::string& text) {
        bar_.SetText(text);
        bar_.Repaint();
    }

    // Opened once, as the window's first activation does; set up as there.
    bool PortReady() {
        if (!portSetUp_) {
            portSetUp_ = true;
            port_->SetParity(kEvenParity);
            port_->SetPort(Ini.ComNr);
            port_->SetBaud(Ini.Baud);
            port_->Open();
            portText_ = OpenStateText(board_.Label(), *port_);
            bar_.SetText(portText_);
            if (!port_->Opened()) {
                const std::string why = platform::OpenFailureReason(Ini.ComNr);
                if (!why.empty()) std::fprintf(stderr, "velkor-cli: %s: %s\n", board_.Label().c_str(), why.c_str());
            }
        }
        return port_->Opened();
    }

    bool Connected(Outcome& o, const char* failure) {
        if (!session_.Connected()) Show("verbinde..");
        if (session_.Ensure()) return true;
        o = Done(false, failure);
        return false;
    }

    // The chip's line for the table and the summary: its list item, or its ID.
    Outcome Info() {
        Show("warte..");
        const TIdentification id = IdentifyChip(session_);
        if (id.result != TIdentification::Done) return Done(false, id.statusText);
        Outcome o;
        o.lines = id.lines;
        o.lines.insert(o.lines.begin(), id.statusText);
        o.closing = o.lines.back();
        o.lines.pop_back();
        o.fields.Add("status", id.statusText);
        if (!id.idValid) {
            o.fields.AddNull("product_id").AddNull("chip");
            return o;  // no ID came: nothing is known of the chip
        }
        o.ok = true;
        o.fields.Add("product_id", platform::Hex4(id.productId));
        if (id.targetIndex < 0) {
            o.fields.AddNull("chip");
            o.warnings.push_back("product ID " + platform::Hex4(id.productId) + " is not in " + kTargetsFileName +
                                 ": the flash range stays " + Address(Ini.FlashStart) + ", " +
                                 std::to_string(Ini.FlashLen) + " bytes");
            return o;
        }
        // The chip becomes the current one, also for the commands after this.
        const TTargetRec& t = Targets[id.targetIndex];
        TakeTarget(t, t.Name);
        const auto index = static_cast<std::size_t>(id.targetIndex);
        o.lines.push_back(o.closing);
        o.closing = index < targetItems_.size() ? targetItems_[index] : t.Name;
        o.fields.Add("chip", t.Name);
        platform::MessageBeep(kBeepRecognised);
        return o;
    }

    Outcome Erase() {
        std::string message;
        EraseChip(session_, bar_, message);
        return Done(message == "Chip ist gelöscht", message);
    }

    // The page layout of the chip on the line, by its product ID.
    const TPageLayout* Layout(Outcome& o) {
        if (!Connected(o, "keine Verbindung zum Chip")) return nullptr;
        std::uint16_t id = 0;
        if (!ReadProductId(*port_, id)) {
            o = Done(false, "no product ID from Get ID: erasing by pages needs it");
            return nullptr;
        }
        const TPageLayout* layout = FindPageLayout(inputs_.pages, id);
        if (!layout)
            o = Done(false, "product ID " + platform::Hex4(id) + " is not in " + kPagesFileName +
                                ": no erasing by pages on a guess (add the chip's layout there, or erase the whole "
                                "chip with erase)");
        return layout;
    }

    Outcome ErasePageList(const std::vector<std::uint16_t>& pages) {
        Outcome o;
        const TPageLayout* layout = Layout(o);
        if (!layout) return o;
        o.ok = ErasePages(session_, bar_, *layout, pages, o.closing);
        o.fields.Add("pages", PageListText(pages));
        return o;
    }

    Outcome Blank() {
        bar_.StartJob(Ini.FlashStart, ReadExtent());
        std::string message;
        BlankCheck(session_, bar_, message);
        return Done(message.starts_with("Chip ist leer bis $"), message);
    }

    Outcome ProgramOrVerify(const Command& c, bool program) {
        const TFirmware& firmware = inputs_.firmware.at(c.file);
        Outcome o;
        o.fields.Add("form", Describe(firmware));
        Show(c.file + ": " + Describe(firmware));
        std::vector<TImageRange> ranges;
        std::string why;
        if (!PlaceFirmware(firmware, ranges, why)) {
            o.closing = c.file + ": " + why;
            return o;
        }
        if (!ranges.empty()) {
            const std::uint32_t first = ranges.front().begin / kBlock * kBlock;
            bar_.StartJob(first, (ranges.back().end + kBlock - 1) / kBlock * kBlock - first);
        }
        if (!Connected(o, "keine Verbindung.")) return o;
        if (program && c.erase) {
            const TPageLayout* layout = Layout(o);
            if (!layout) return o;
            std::vector<std::uint16_t> pages;
            if (!TouchedPages(*layout, Ini.FlashStart, ranges, pages, why)) {
                o.closing = "--erase: " + why;
                return o;
            }
            std::string erased;
            if (!ErasePages(session_, bar_, *layout, pages, erased)) {
                o.closing = erased;
                return o;
            }
            o.lines.push_back(erased);
            o.fields.Add("pages", PageListText(pages));
        }
        std::string message;
        if (program) {
            Show("programmiere..");
            ProgramRanges(*port_, bar_, ranges, message);
            o.ok = message.starts_with("..ende, programmiert bis ");
        } else {
            VerifyRanges(*port_, bar_, ranges, message);
            o.ok = message.starts_with("..ende, verifiziert bis ");
        }
        o.closing = message;
        return o;
    }

    Outcome Read(const std::string& file) {
        bar_.StartJob(Ini.FlashStart, ReadExtent());
        ReadOut(file, session_, bar_);
        const std::string closing = bar_.Text();
        return Done(closing.starts_with("gelesen bis $") && closing.ends_with(" fertig."), closing);
    }

    Outcome Go(std::uint32_t address) {
        Outcome o;
        o.ok = StartProgram(session_, bar_, address, o.closing);
        o.fields.Add("address", Address(address));
        return o;
    }

    Outcome Protect() {
        Outcome o;
        o.ok = ProtectReadout(session_, bar_, o.closing);
        return o;
    }

    Outcome Reset() {
        RestartNormal(*port_);
        session_.Drop();
        return Done(true, "Normal-Start");
    }

    // What the configuration file would hold, from the writer itself.
    Outcome Settings() {
        Outcome o = Done(true, {});
        if (request_.json) {
            o.lines = KonfigLines();
            return o;
        }
        std::string content;
        for (const std::string& line : KonfigLines()) content += line + "\r\n";
        bar_.FinishJob({});
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);  // the CR LF line ends as written
#endif
        std::fwrite(content.data(), 1, content.size(), stdout);
        return o;
    }

    Outcome TargetList() {
        Outcome o = Done(true, {});
        o.lines = targetItems_;
        if (targetItems_.empty())
            o.warnings.push_back("no chips: " + platform::FindProgramFiles(platform::ExecutableDir()).targetsFile +
                                 " is missing or lists none");
        return o;
    }

    Outcome Ports() {
        Outcome o = Done(true, {});
        std::string array = "[";
        for (const ListedPort& p : ListPorts()) {
            const std::string label = PortChoice{p.number, {}}.Label();
            // "COM 255" is the widest label.
            std::string line = label + std::string(label.size() < 7 ? 9 - label.size() : 2, ' ') + p.path;
            if (!p.byId.empty()) line += "  " + p.byId;
            o.lines.push_back(line);
            JsonObject j;
            j.Add("number", std::int64_t{p.number}).Add("path", p.path);
            if (p.byId.empty())
                j.AddNull("by_id");
            else
                j.Add("by_id", p.byId);
            array += (array.size() > 1 ? "," : "") + j.Text();
        }
        if (request_.json) {
            o.lines.clear();
            o.fields.AddRaw("ports", array + "]");
        }
        return o;
    }

    const Request& request_;
    const PortChoice& board_;
    const std::vector<std::string>& targetItems_;
    const Inputs& inputs_;
    TerminalStatusBar& bar_;
    std::unique_ptr<TComPort> port_;
    TBootSession session_;
    bool portSetUp_ = false;
    std::string portText_;
    std::uint64_t bytes_ = 0;
};

}  // namespace

int RunCommands(const Request& request, const PortChoice& board, const std::vector<std::string>& targetItems,
                const Inputs& inputs, TerminalStatusBar& bar) {
    const std::string started = UtcNow();
    const auto start = Clock::now();
    Runner runner(request, board, targetItems, inputs, bar);
    std::int64_t done = 0;
    for (const auto& c : request.commands) {
        if (!runner.Run(c)) break;
        ++done;
    }
    const int exit = done == static_cast<std::int64_t>(request.commands.size()) ? kExitOk : kExitFailed;
    if (request.json) {
        JsonObject j;
        j.Add("type", "run").Add("port", board.Label()).Add("ok", exit == kExitOk).Add("exit", std::int64_t{exit});
        j.Add("commands", static_cast<std::int64_t>(request.commands.size())).Add("done", done);
        j.Add("started", started).Add("ms", MsSince(start)).Add("bytes", static_cast<std::int64_t>(runner.Bytes()));
        j.Add("connects", std::int64_t{runner.Connects()}).Add("version", platform::Version());
        j.Add("net_margin_ms", std::int64_t{runner.WaitMargin()});
        PrintLine(j.Text());
        std::fflush(stdout);
    }
    return exit;
}

}  // namespace cli
