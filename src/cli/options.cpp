#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "bootloader/lolevel.h"
#include "cli/messages.h"
#include "platform/hex_text.h"
#include "platform/net_serial.h"
#include "settings/pages.h"

namespace cli {

namespace {

// Lower case, without blanks, '-' and '_', so "DTR hi", "dtr-hi" and "DTRHI" match.
std::string Folded(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' || c == '-' || c == '_') continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool ParsePortNumber(std::string_view text, std::int32_t& port) {
    std::string_view digits = text;
    if (digits.size() >= 3 && Folded(digits.substr(0, 3)) == "com") {
        digits.remove_prefix(3);
        if (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 3) return false;
    std::int32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxPortNumber) return false;
    port = value;
    return true;
}

struct CommandWord {
    const char* word;
    CommandKind kind;
    bool takesFile;
};
constexpr CommandWord kCommands[] = {
    {"info", CommandKind::Info, false},         {"erase", CommandKind::Erase, false},
    {"blank", CommandKind::Blank, false},       {"program", CommandKind::Program, true},
    {"verify", CommandKind::Verify, true},      {"read", CommandKind::Read, true},
    {"go", CommandKind::Go, false},             {"protect", CommandKind::Protect, false},
    {"reset", CommandKind::Reset, false},       {"settings", CommandKind::Settings, false},
    {"targets", CommandKind::Targets, false},   {"ports", CommandKind::Ports, false},
    {"boot-pin", CommandKind::BootPin, false},
};

// The value of "--name=value", or of "--name value" with the argument after it.
bool SubOption(const std::vector<std::string>& args, std::size_t& i, std::string_view name, std::string& value) {
    if (i + 1 >= args.size()) return false;
    const std::string& a = args[i + 1];
    if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
        value = a.substr(name.size() + 1);
        ++i;
        return true;
    }
    if (a != name || i + 2 >= args.size()) return false;
    value = args[i + 2];
    i += 2;
    return true;
}

// The words after a command that belong to it; i moves past them.
bool TakeCommandWords(const std::vector<std::string>& args, std::size_t& i, bool takesFile, Command& cmd,
                      std::string& error) {
    const std::size_t first = i;
    const std::string& word = args[i];
    if (cmd.kind == CommandKind::Program && i + 1 < args.size() && args[i + 1] == "--erase") {
        cmd.erase = true;
        ++i;
    }
    if (cmd.kind == CommandKind::Erase) {
        std::string list;
        if (SubOption(args, i, "--pages", list) && !ParsePageList(list, cmd.pages))
            return Fail(error, "erase --pages: " + Quoted(list) +
                                   " is not a list of page numbers such as 0-3,8 (each below 65520)");
        if (i + 1 < args.size() && args[i + 1] == "--pages") return Fail(error, "erase --pages needs a list");
    }
    if (cmd.kind == CommandKind::Go && i + 1 < args.size()) {
        std::uint32_t a = 0;
        if (ParseNumber(args[i + 1], a)) {
            cmd.address = a;
            ++i;
        }
    }
    if (takesFile) {
        if (i + 1 >= args.size() || args[i + 1].empty()) return Fail(error, word + " needs a file name");
        cmd.file = args[++i];
    }
    cmd.words.assign(args.begin() + static_cast<std::ptrdiff_t>(first),
                     args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    return true;
}

// The options that take a value, as TakeOption knows them.
constexpr const char* kValueOptions[] = {"--port",    "--device",   "--baud",   "--reset",      "--boot",
                                         "--chip",    "--address",  "--flash-start", "--flash-len", "--config",
                                         "--boot-delay", "--net-margin", "--child", "--log"};

bool TakesValue(const std::string& name) {
    return std::find(std::begin(kValueOptions), std::end(kValueOptions), name) != std::end(kValueOptions);
}

// One option with its value; false with the message for a bad value.
// A time in ms from 0 to max; what names it in the refusal.
bool TakeMilliseconds(const std::string& name, const std::string& value, const char* what, std::uint32_t max,
                      std::optional<std::uint32_t>& out, std::string& error) {
    std::uint32_t v = 0;
    if (!ParseNumber(value, v) || v > max)
        return Fail(error, name + ": " + Quoted(value) + " is not a " + what + " from 0 to " + std::to_string(max) +
                               " ms");
    out = v;
    return true;
}

bool TakeOption(const std::string& name, const std::string& value, Request& r, std::string& error) {
    if (name == "--port") {
        PortChoice p;
        if (!ParsePortNumber(value, p.number))
            return Fail(error, "--port: " + Quoted(value) + " is not a port number 1 to " +
                                   std::to_string(kMaxPortNumber));
        r.ports.push_back(p);
        return true;
    }
    if (name == "--device") {
        if (value.empty()) return Fail(error, "--device: the path is empty");
        PortChoice p;
        p.device = value;
        r.ports.push_back(p);
        return true;
    }
    if (name == "--baud") {
        std::uint32_t v = 0;
        const bool digitsOnly = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
        if (!digitsOnly || !ParseNumber(value, v) || v < kMinBaud || v > kMaxBaud)
            return Fail(error, "--baud: " + Quoted(value) + " is not a rate from " + std::to_string(kMinBaud) +
                                   " to " + std::to_string(kMaxBaud));
        r.baud = static_cast<std::int32_t>(v);
    } else if (name == "--reset" || name == "--boot") {
        std::int32_t choice = 0;
        if (!ParseLineChoice(value, choice))
            return Fail(error, name + ": " + Quoted(value) +
                                   " is none of \"aus\", \"DTR hi\", \"DTR lo\", \"RTS hi\", \"RTS lo\" or 0 to 4");
        (name == "--reset" ? r.resetMode : r.bootMode) = choice;
    } else if (name == "--chip") {
        if (value.empty()) return Fail(error, "--chip: the name is empty");
        r.chip = value;
    } else if (name == "--flash-start" || name == "--address") {
        std::uint32_t v = 0;
        if (!ParseNumber(value, v))
            return Fail(error, name + ": " + Quoted(value) + " is not an address (decimal or 0x hex)");
        (name == "--address" ? r.address : r.flashStart) = v;
    } else if (name == "--flash-len") {
        std::uint32_t v = 0;
        if (!ParseNumber(value, v) || v > kMaxFlashLen)
            return Fail(error, "--flash-len: " + Quoted(value) + " is not a length from 0 to 0x200000 (2 MiB)");
        r.flashLen = v;
    } else if (name == "--log") {
        if (value.empty()) return Fail(error, "--log: the file name is empty");
        r.log = value;
    } else if (name == "--config") {
        if (value.empty()) return Fail(error, "--config: the file name is empty");
        r.config = value;
    } else if (name == "--boot-delay") {
        if (!TakeMilliseconds(name, value, "wait", kMaxBootDelayMs, r.bootDelayMs, error)) return false;
    } else if (name == "--net-margin") {
        if (!TakeMilliseconds(name, value, "margin", kMaxNetMarginMs, r.netMarginMs, error)) return false;
    } else if (name == "--child") {
        if (value == "log")
            r.child = ChildMode::Log;
        else if (value == "lines")
            r.child = ChildMode::Lines;
        else
            return Fail(error, "--child: " + Quoted(value));
        return true;  // each child gets its own
    } else {
        return Fail(error, "unknown option " + name);
    }
    r.passOn.push_back(name + "=" + value);
    return true;
}

}  // namespace

std::string PortChoice::Label() const { return device.empty() ? "COM " + std::to_string(number) : device; }

std::string PortChoice::FileTag() const {
    if (device.empty()) return "COM" + std::to_string(number);
    if (platform::IsNetworkDevice(device)) {
        std::string tag = platform::NetworkLabel(device);
        std::replace(tag.begin(), tag.end(), ':', '-');
        std::replace(tag.begin(), tag.end(), '/', '-');
        return tag;
    }
    const std::string name = std::filesystem::path(device).filename().string();
    return name.empty() ? "device" : name;
}

bool ParseNumber(std::string_view text, std::uint32_t& value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        const int d = platform::HexDigitValue(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseLineChoice(std::string_view text, std::int32_t& choice) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '4') {
        choice = text[0] - '0';
        return true;
    }
    const std::string folded = Folded(text);
    for (std::int32_t i = 0; i < 5; ++i) {
        if (!folded.empty() && folded == Folded(kLineChoiceLabels[i])) {
            choice = i;
            return true;
        }
    }
    return false;
}

bool ParsePageList(std::string_view text, std::vector<std::uint16_t>& pages) {
    std::vector<std::uint16_t> out;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const std::string_view item = text.substr(from, comma - from);
        const std::size_t dash = item.find('-');
        std::uint32_t first = 0, last = 0;
        if (!ParseNumber(item.substr(0, dash), first)) return false;
        last = first;
        if (dash != std::string_view::npos && !ParseNumber(item.substr(dash + 1), last)) return false;
        if (last < first || last >= kMaxPages) return false;
        for (std::uint32_t p = first; p <= last; ++p) out.push_back(static_cast<std::uint16_t>(p));
        from = comma + 1;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    pages = std::move(out);
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, Request& r, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            r.help = true;
            continue;
        }
        if (a == "--version") {
            r.version = true;
            continue;
        }
        if (a == "--json") {
            r.json = true;
            r.passOn.push_back(a);
            continue;
        }
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            const std::size_t eq = a.find('=');
            const std::string name = a.substr(0, eq);
            std::string value;
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else {
                if (!TakesValue(name)) return Fail(error, "unknown option " + name);
                if (i + 1 >= args.size()) return Fail(error, name + " needs a value");
                value = args[++i];
            }
            if (!TakeOption(name, value, r, error)) return false;
            continue;
        }
        if (!a.empty() && a[0] == '-') return Fail(error, "unknown option " + a);
        const CommandWord* found = nullptr;
        for (const auto& c : kCommands)
            if (a == c.word) found = &c;
        if (!found) return Fail(error, "unknown command " + Quoted(a));
        Command cmd{found->kind, {}, {}, false, {}, {}};
        if (!TakeCommandWords(args, i, found->takesFile, cmd, error)) return false;
        r.commands.push_back(std::move(cmd));
    }
    if (!r.help && !r.version && r.commands.empty()) return Fail(error, "no command given");
    for (std::size_t i = 0; i < r.ports.size(); ++i)
        for (std::size_t k = 0; k < i; ++k)
            if (r.ports[i].Label() == r.ports[k].Label())
                return Fail(error, r.ports[i].Label() + " is given twice");
    if (r.child != ChildMode::None && r.ports.size() != 1) return Fail(error, "--child runs on one port");
    return true;
}

std::string ExpandPort(const std::string& fileName, const PortChoice& port) {
    std::string out = fileName;
    for (std::size_t pos = 0; (pos = out.find(kPortPlaceholder, pos)) != std::string::npos;) {
        const std::string tag = port.FileTag();
        out.replace(pos, kPortPlaceholder.size(), tag);
        pos += tag.size();
    }
    return out;
}

std::vector<std::string> ChildArguments(const Request& r, const PortChoice& port, ChildMode mode) {
    std::vector<std::string> args = r.passOn;
    args.push_back(mode == ChildMode::Lines ? "--child=lines" : "--child=log");
    args.push_back(port.device.empty() ? "--port=" + std::to_string(port.number) : "--device=" + port.device);
    for (const auto& c : r.commands) args.insert(args.end(), c.words.begin(), c.words.end());
    return args;
}

}  // namespace cli
