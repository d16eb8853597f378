#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "bootloader/lolevel.h"
#include "cli/json.h"
#include "cli/parallel.h"
#include "cli/port_list.h"
#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "jobs/result.h"
#include "jobs/session.h"
#include "jobs/steps.h"
#include "platform/beep.h"
#include "platform/console.h"
#include "platform/hex_text.h"
#include "platform/locations.h"
#include "platform/textfile.h"
#include "platform/ports.h"
#include "platform/stop.h"
#include "platform/version.h"
#include "serial/comport.h"
#include "settings/identity.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "settings/targets.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kBeepRecognised = 0;
constexpr auto kBlock = static_cast<std::uint32_t>(proto::kMaxBlock);
// Long enough for the rest of a Get reply to arrive at 2400 Bd.
constexpr std::uint32_t kSettleMs = 50;

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
    JobResult job;                      // how it went, its bytes and its closing text
    std::vector<std::string> lines;     // printed before the closing text
    std::vector<std::string> warnings;  // standard error
    JsonObject fields;                  // the command's own JSON fields
};

Outcome From(JobResult job) {
    Outcome o;
    o.job = std::move(job);
    return o;
}

Outcome Failed(JobOutcome outcome, std::string closing) { return From(Ended(outcome, std::move(closing))); }

// For the run log: what a command ended with, as a word a database can hold.
const char* OutcomeName(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Done: return "done";
        case JobOutcome::NothingToDo: return "nothing_to_do";
        case JobOutcome::NoConnection: return "no_connection";
        case JobOutcome::NoReply: return "no_reply";
        case JobOutcome::Refused: return "refused";
        case JobOutcome::Mismatch: return "mismatch";
        case JobOutcome::NotBlank: return "not_blank";
        case JobOutcome::OutOfRange: return "out_of_range";
        case JobOutcome::Unsupported: return "unsupported";
        case JobOutcome::FileError: return "file_error";
    }
    return "unknown";
}

// What the board says of itself beyond the product ID. Empty or unset where
// the chip refused the read or the table knows no address.
struct BoardIdentity {
    bool tried = false;
    std::optional<std::uint16_t> productId;
    std::string uid;                       // UID[95:0], 24 hex digits
    std::optional<std::uint32_t> flashSize;  // bytes
};

// The 96 bits as one number, most significant word first; each word as the
// chip holds it, little-endian.
std::string UidText(const std::uint8_t* b) {
    std::string text;
    for (int word = 2; word >= 0; --word) {
        const std::uint8_t* w = b + 4 * word;
        text += platform::Hex8(static_cast<std::uint32_t>(w[0] | w[1] << 8 | w[2] << 16) |
                               static_cast<std::uint32_t>(w[3]) << 24);
    }
    return text;
}

struct CommandRecord {
    std::string word;
    std::string file;
    JobOutcome outcome;
    std::int64_t ms;
};

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
        Outcome o;
        try {
            const bool ready = !c.NeedsChip() || PortReady();
            // The log and the several-boards summary name the board, whatever the commands.
            if (ready && c.NeedsChip() && c.kind != CommandKind::Reset && WantsIdentity()) EnsureIdentity();
            o = !ready ? Failed(JobOutcome::NoConnection, portText_) : Dispatch(c);
        } catch (const std::exception& e) {
            // A file error ends the job where it stands, as in the window.
            o = Failed(JobOutcome::FileError, e.what());
        }
        const bool ok = o.job.Ok();
        // A failed step may leave the bootloader in the middle of a command.
        if (!ok) session_.Drop();
        const std::uint64_t bytes = o.job.bytes;
        bytes_ += bytes;
        bar_.FinishJob(o.job.text);
        records_.push_back({c.Word(), c.file, o.job.outcome, MsSince(start)});
        for (const auto& w : o.warnings) std::fprintf(stderr, "velkor-cli: %s\n", w.c_str());
        if (request_.json) {
            JsonObject j;
            j.Add("type", "command").Add("port", board_.Label()).Add("command", c.Word());
            if (!c.file.empty()) j.Add("file", c.file);
            j.Add("ok", ok).Add("closing", o.job.text).Add("started", started).Add("ms", MsSince(start));
            j.Add("bytes", static_cast<std::int64_t>(bytes));
            if (!o.lines.empty()) j.Add("lines", o.lines);
            PrintLine(j.Merge(o.fields).Text());
        } else {
            for (const auto& line : o.lines) PrintLine(line);
            if (!o.job.text.empty()) PrintLine(o.job.text);
        }
        std::fflush(stdout);
        return ok;
    }

    std::uint64_t Bytes() const { return bytes_; }
    std::uint32_t Connects() const { return session_.Connects(); }
    const BoardIdentity& Identity() const { return id_; }
    const std::vector<CommandRecord>& Records() const { return records_; }
    // 0 on a local port, whose waits stay exact.
    std::uint32_t WaitMargin() const { return port_ ? port_->WaitMargin() : 0; }

    // After a stop from outside: the waits work again for the chip's release,
    // the reset pulse with boot mode off that the window's close gives too.
    // The port closes with the runner.
    void Release() {
        const int stop = platform::StopSignal();
        platform::RequestStop(0);
        if (port_->Opened()) RestartNormal(*port_);
        platform::RequestStop(stop);
    }

private:
    bool WantsIdentity() const { return request_.log.has_value() || request_.child != ChildMode::None; }

    // count bytes from address into bytes; false where the chip refuses.
    bool ReadBytes(std::uint32_t address, std::int32_t count, std::uint8_t* bytes) {
        ReadBase = address;
        std::string why;
        if (!ReadMem(*port_, address, count, why)) {
            Settle();
            return false;
        }
        std::memcpy(bytes, ReadImage, static_cast<std::size_t>(count));
        return true;
    }

    // After an answer that didn't go as the protocol says, the rest of it
    // mustn't be taken for the next command's acknowledge.
    void Settle() {
        Delay(kSettleMs);
        Drain(*port_);
    }

    // The unique ID and flash size where identity.cfi puts them for the ID.
    void ReadIdentity(std::uint16_t productId) {
        id_.tried = true;
        id_.productId = productId;
        const TChipIdentity* e = FindIdentity(inputs_.identity, productId);
        if (!e) return;
        if (e->uidWords) {
            const auto& at = *e->uidWords;
            std::uint8_t uid[12] = {};
            const bool together = at[1] == at[0] + 4 && at[2] == at[0] + 8;
            bool ok = together ? ReadBytes(at[0], 12, uid)
                               : ReadBytes(at[0], 4, uid) && ReadBytes(at[1], 4, uid + 4) && ReadBytes(at[2], 4, uid + 8);
            if (ok) id_.uid = UidText(uid);
        }
        std::uint8_t size[2] = {};
        if (e->flashSizeAt && ReadBytes(*e->flashSizeAt, 2, size)) {
            const unsigned kib = size[0] | size[1] << 8;
            // Erased or unprogrammed information blocks read all ones.
            if (kib != 0 && kib != 0xFFFF) id_.flashSize = kib * 1024u;
        }
    }

    // Once a run, on the connection the commands use.
    void EnsureIdentity() {
        if (id_.tried) return;
        if (!session_.Connected()) Show("verbinde..");
        if (!session_.Ensure()) return;  // the command itself reports the failure
        id_.tried = true;
        std::uint16_t productId = 0;
        if (ReadProductId(*port_, productId))
            ReadIdentity(productId);
        else
            Settle();
    }

    // Where the chip's flash begins: its targets.cfi entry, else the setting.
    std::uint32_t ChipFlashStart() const {
        const int i = id_.productId ? FindTargetById(*id_.productId) : -1;
        return i >= 0 ? Targets[i].FlashStart : Ini.FlashStart;
    }
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
            case CommandKind::BootPin: return BootPin();
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
            port_->SetParity(proto::kEvenParity);
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
        o.job = Ended(JobOutcome::NoConnection, failure);
        return false;
    }

    // The chip's line for the table and the summary: its list item, or its ID.
    Outcome Info() {
        Show("warte..");
        const TIdentification id = IdentifyChip(session_);
        if (id.result != TIdentification::Done)
            return Failed(id.result == TIdentification::NoSync    ? JobOutcome::NoConnection
                          : id.result == TIdentification::NoReply ? JobOutcome::NoReply
                                                                  : JobOutcome::Refused,
                          id.statusText);
        Outcome o;
        o.lines = id.lines;
        o.lines.insert(o.lines.begin(), id.statusText);
        o.job.text = o.lines.back();
        o.lines.pop_back();
        o.fields.Add("status", id.statusText);
        if (!id.idValid) {
            o.job.outcome = JobOutcome::NoReply;
            o.fields.AddNull("product_id").AddNull("chip");
            return o;  // no ID came: nothing is known of the chip
        }
        o.fields.Add("product_id", platform::Hex4(id.productId));
        ReadIdentity(id.productId);
        if (!id_.uid.empty()) {
            o.lines.push_back("Unique ID: " + id_.uid);
            o.fields.Add("uid", id_.uid);
        } else {
            o.fields.AddNull("uid");
        }
        if (id_.flashSize) {
            o.lines.push_back("Flash size: " + std::to_string(*id_.flashSize / 1024) + " KiB");
            o.fields.Add("flash_size", std::int64_t{*id_.flashSize});
        } else {
            o.fields.AddNull("flash_size");
        }
        const std::optional<bool> pin = PinChooses(id.productId);
        if (pin == false)
            o.lines.push_back("Boot source: chosen by option bits (nBOOT_SEL set), not the BOOT0 pin; a programmed "
                              "chip starts its program after power-on. velkor-cli boot-pin gives BOOT0 control");
        if (pin)
            o.fields.Add("boot_pin", *pin);
        else
            o.fields.AddNull("boot_pin");
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
        o.lines.push_back(o.job.text);
        o.job.text = index < targetItems_.size() ? targetItems_[index] : t.Name;
        o.fields.Add("chip", t.Name);
        platform::MessageBeep(kBeepRecognised);
        return o;
    }

    // Clears nBOOT_SEL, so that BOOT0 chooses the boot source again. Only ever
    // asked for by name: it changes how the board starts for good.
    Outcome BootPin() {
        Outcome o;
        if (!Connected(o, "keine Verbindung zum Chip")) return o;
        std::uint16_t productId = 0;
        if (!ReadProductId(*port_, productId))
            return Failed(JobOutcome::NoReply, "no product ID from Get ID: boot-pin needs it");
        const TChipIdentity* e = FindIdentity(inputs_.identity, productId);
        if (!e)
            return Failed(JobOutcome::Unsupported, "product ID " + platform::Hex4(productId) + " is not in " +
                                                       kIdentityFileName + ": its option bytes are unknown");
        // The pin has the say already, which is what was asked for.
        if (!e->bootSelect)
            return From(Ended(JobOutcome::Done, "product ID " + platform::Hex4(productId) +
                                                    ": no option bit takes the boot choice from the BOOT0 pin"));
        const TBootSelect& b = *e->bootSelect;
        std::vector<std::uint8_t> options(b.optionsLength);
        if (!ReadBytes(b.optionsAt, static_cast<std::int32_t>(b.optionsLength), options.data()))
            return Failed(JobOutcome::Refused, "the option bytes at " + Address(b.optionsAt) +
                                                   " can't be read (read-out protection?): nothing was written");
        std::uint8_t& byte = options[b.bit / 8];
        const auto mask = static_cast<std::uint8_t>(1u << (b.bit % 8));
        if ((byte & mask) == 0) return From(Ended(JobOutcome::Done, "nBOOT_SEL is clear: the BOOT0 pin chooses already"));
        byte = static_cast<std::uint8_t>(byte & ~mask);
        Show("schreibe Option Bytes..");
        std::string why;
        const bool written = WriteBytes(*port_, b.optionsAt, options, why);
        // The option bytes are loaded anew with a reset, written or not.
        session_.Drop();
        if (!written) return Failed(JobOutcome::Refused, "option bytes not written: " + why);
        return From(Ended(JobOutcome::Done, "nBOOT_SEL cleared: the BOOT0 pin chooses the boot source"));
    }

    // Whether the BOOT0 pin chooses the boot source; unset where unknown.
    std::optional<bool> PinChooses(std::uint16_t productId) {
        const TChipIdentity* e = FindIdentity(inputs_.identity, productId);
        if (!e || !e->bootSelect) return std::nullopt;
        std::uint8_t byte = 0;
        if (!ReadBytes(e->bootSelect->optionsAt + e->bootSelect->bit / 8, 1, &byte)) return std::nullopt;
        return (byte >> (e->bootSelect->bit % 8) & 1) == 0;
    }

    Outcome Erase() { return From(EraseChip(session_, bar_)); }

    // The page layout of the chip on the line, by its product ID.
    const TPageLayout* Layout(Outcome& o) {
        if (!Connected(o, "keine Verbindung zum Chip")) return nullptr;
        std::uint16_t id = 0;
        if (!ReadProductId(*port_, id)) {
            o.job = Ended(JobOutcome::NoReply, "no product ID from Get ID: erasing by pages needs it");
            return nullptr;
        }
        const TPageLayout* layout = FindPageLayout(inputs_.pages, id);
        if (!layout)
            o.job = Ended(JobOutcome::Unsupported, "product ID " + platform::Hex4(id) + " is not in " + kPagesFileName +
                                ": no erasing by pages on a guess (add the chip's layout there, or erase the whole "
                                "chip with erase)");
        return layout;
    }

    Outcome ErasePageList(const std::vector<std::uint16_t>& pages) {
        Outcome o;
        const TPageLayout* layout = Layout(o);
        if (!layout) return o;
        o.job = ErasePages(session_, bar_, *layout, pages);
        o.fields.Add("pages", PageListText(pages));
        return o;
    }

    Outcome Blank() {
        bar_.StartJob(Ini.FlashStart, ReadExtent());
        return From(BlankCheck(session_, bar_));
    }

    Outcome ProgramOrVerify(const Command& c, bool program) {
        const TFirmware& firmware = inputs_.firmware.at(c.file);
        Outcome o;
        o.fields.Add("form", Describe(firmware));
        Show(c.file + ": " + Describe(firmware));
        std::vector<TImageRange> ranges;
        std::string why;
        if (!PlaceFirmware(firmware, ranges, why)) {
            o.job = Ended(JobOutcome::OutOfRange, c.file + ": " + why);
            return o;
        }
        if (!ranges.empty()) {
            const std::uint32_t first = ranges.front().begin / kBlock * kBlock;
            bar_.StartJob(first, (ranges.back().end + kBlock - 1) / kBlock * kBlock - first);
        }
        if (!Connected(o, "keine Verbindung.")) return o;
        if (program && !ranges.empty()) {
            EnsureIdentity();
            const std::uint64_t end = std::uint64_t{Ini.FlashStart} + ranges.back().end;
            if (id_.flashSize && end > std::uint64_t{ChipFlashStart()} + *id_.flashSize) {
                o.job = Ended(JobOutcome::OutOfRange,
                              c.file + ": the image ends at " + Address(static_cast<std::uint32_t>(end - 1)) +
                                  ", past the " + std::to_string(*id_.flashSize / 1024) +
                                  " KiB of flash the chip reports: nothing was erased or written");
                return o;
            }
        }
        if (program && c.erase) {
            const TPageLayout* layout = Layout(o);
            if (!layout) return o;
            std::vector<std::uint16_t> pages;
            if (!TouchedPages(*layout, Ini.FlashStart, ranges, pages, why)) {
                o.job = Ended(JobOutcome::OutOfRange, "--erase: " + why);
                return o;
            }
            const JobResult erased = ErasePages(session_, bar_, *layout, pages);
            if (!erased.Ok()) {
                o.job = erased;
                return o;
            }
            o.lines.push_back(erased.text);
            o.fields.Add("pages", PageListText(pages));
        }
        if (program) Show("programmiere..");
        o.job = program ? ProgramRanges(*port_, bar_, ranges) : VerifyRanges(*port_, bar_, ranges);
        // The bootloader says no more than NAK to a write over flash that
        // isn't erased, the commonest refusal of all.
        if (program && !c.erase && o.job.outcome == JobOutcome::Refused)
            o.warnings.push_back("hint: a write over flash that is not erased is refused; if that is so here, use "
                                 "program --erase (erases the pages it touches) or erase first");
        return o;
    }

    Outcome Read(const std::string& file) {
        Outcome o;
        // A file that can't be made ends the job before the chip hears a byte.
        std::FILE* probe = std::fopen(file.c_str(), "ab");
        const bool creatable = probe != nullptr;
        if (probe) std::fclose(probe);
        if (creatable && !request_.chip && !request_.flashLen) {
            // Not the start value's 256 KiB, which a smaller chip refuses halfway.
            EnsureIdentity();
            if (id_.flashSize) {
                const std::uint32_t start = ChipFlashStart();
                Ini.FlashStart = start;
                Ini.FlashLen = std::min(*id_.flashSize, kMaxFlashLen);
                if (*id_.flashSize > kMaxFlashLen)
                    o.warnings.push_back("the chip reports " + std::to_string(*id_.flashSize / 1024) +
                                         " KiB of flash; read takes the first 2 MiB");
            }
        }
        bar_.StartJob(Ini.FlashStart, ReadExtent());
        o.job = ReadOut(file, session_, bar_);
        // Cut short from outside: a file that looks whole but isn't must not stay.
        if (!o.job.Ok() && platform::StopSignal() != 0 && std::remove(file.c_str()) == 0)
            o.warnings.push_back("the partial read-out " + file + " was removed");
        return o;
    }

    Outcome Go(std::uint32_t address) {
        Outcome o = From(StartProgram(session_, bar_, address));
        o.fields.Add("address", Address(address));
        return o;
    }

    Outcome Protect() {
        return From(ProtectReadout(session_, bar_));
    }

    Outcome Reset() {
        RestartNormal(*port_);
        session_.Drop();
        return From(Ended(JobOutcome::Done, "Normal-Start"));
    }

    // What the configuration file would hold, from the writer itself.
    Outcome Settings() {
        Outcome o;
        if (request_.json) {
            o.lines = KonfigLines();
            return o;
        }
        std::string content;
        for (const std::string& line : KonfigLines()) content += line + "\r\n";
        bar_.FinishJob({});
        platform::BinaryOutput(stdout);  // the CR LF line ends as written
        std::fwrite(content.data(), 1, content.size(), stdout);
        return o;
    }

    Outcome TargetList() {
        Outcome o;
        o.lines = targetItems_;
        if (targetItems_.empty())
            o.warnings.push_back("no chips: " + platform::FindProgramFiles(platform::ExecutableDir()).targetsFile +
                                 " is missing or lists none");
        return o;
    }

    Outcome Ports() {
        Outcome o;
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
    BoardIdentity id_;
    std::vector<CommandRecord> records_;
};

// One line, appended whole: earlier lines stay as they are, and several
// boards' processes may append to the same file.
void AppendLog(const Request& request, const PortChoice& board, const Inputs& inputs, const Runner& runner,
               const std::string& started, std::int64_t ms, bool ok) {
    const BoardIdentity& id = runner.Identity();
    JsonObject j;
    j.Add("time", started).Add("port", board.Label());
    if (id.uid.empty())
        j.AddNull("uid");
    else
        j.Add("uid", id.uid);
    if (id.productId)
        j.Add("product_id", platform::Hex4(*id.productId));
    else
        j.AddNull("product_id");
    std::string files = "[";
    std::vector<std::string> seen;
    for (const auto& c : request.commands) {
        if (c.file.empty() || !inputs.firmware.count(c.file) ||
            std::find(seen.begin(), seen.end(), c.file) != seen.end())
            continue;
        seen.push_back(c.file);
        JsonObject f;
        f.Add("file", c.file).Add("sha256", inputs.firmware.at(c.file).sha256);
        files += (files.size() > 1 ? "," : "") + f.Text();
    }
    j.AddRaw("firmware", files + "]");
    std::string commands = "[";
    for (const auto& r : runner.Records()) {
        JsonObject c;
        c.Add("command", r.word);
        if (!r.file.empty()) c.Add("file", r.file);
        c.Add("outcome", OutcomeName(r.outcome)).Add("ms", r.ms);
        commands += (commands.size() > 1 ? "," : "") + c.Text();
    }
    j.AddRaw("commands", commands + "]");
    j.Add("ok", ok).Add("ms", ms).Add("version", platform::Version());
    const std::string line = j.Text() + "\n";
    std::FILE* f = std::fopen(request.log->c_str(), "ab");
    const bool written = f && std::fwrite(line.data(), 1, line.size(), f) == line.size();
    if (f && std::fclose(f) != 0 && written) throw platform::FileError("--log: cannot write " + *request.log);
    if (!written) throw platform::FileError("--log: cannot write " + *request.log);
}

}  // namespace

int RunCommands(const Request& request, const PortChoice& board, const std::vector<std::string>& targetItems,
                const Inputs& inputs, TerminalStatusBar& bar) {
    const std::string started = UtcNow();
    const auto start = Clock::now();
    Runner runner(request, board, targetItems, inputs, bar);
    std::int64_t done = 0;
    for (const auto& c : request.commands) {
        if (platform::StopSignal() != 0 || !runner.Run(c)) break;
        ++done;
    }
    int exit = done == static_cast<std::int64_t>(request.commands.size()) ? kExitOk : kExitFailed;
    if (const int stop = platform::StopSignal()) {
        runner.Release();
        std::fprintf(stderr, "velkor-cli: stopped by %s\n", platform::StopSignalName(stop));
        exit = platform::StopExitCode(stop);
    }
    if (request.child != ChildMode::None && !runner.Identity().uid.empty())
        std::fprintf(stderr, "%s%s\n", std::string(kBoardIdLine).c_str(), runner.Identity().uid.c_str());
    if (request.log) {
        try {
            AppendLog(request, board, inputs, runner, started, MsSince(start), exit == kExitOk);
        } catch (const platform::FileError& e) {
            std::fprintf(stderr, "velkor-cli: %s\n", e.what());
            if (exit == kExitOk) exit = kExitFailed;
        }
    }
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
