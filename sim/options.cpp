#include "sim/options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {

namespace {

// Decimal or 0x-hex.
bool Number(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && end != text.c_str() && *end == '\0';
}

// A number with an optional K or M.
bool Size(const std::string& text, std::uint64_t& out) {
    const char unit = text.empty() ? '\0' : text.back();
    const std::uint64_t scale = unit == 'K' || unit == 'k' ? 1024 : unit == 'M' || unit == 'm' ? 1024 * 1024 : 1;
    if (!Number(scale == 1 ? text : text.substr(0, text.size() - 1), out) || out > UINT64_MAX / scale) return false;
    out *= scale;
    return true;
}

bool Hex(const std::string& text, std::uint64_t& out) {
    const std::string t = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text : "0x" + text;
    return Number(t, out);
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, SimOptions& o, std::string& error) {
    std::optional<std::uint64_t> flashSize, id, version;
    std::string presetName = "f103";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        std::string v;
        std::uint64_t n = 0;
        auto bad = [&]() {
            error = "bad value for " + a + ": " + v;
            return false;
        };
        // The next argument through parse, from min to max.
        auto number = [&](bool (*parse)(const std::string&, std::uint64_t&), std::uint64_t max, std::uint64_t min = 0) {
            if (!value(v)) return false;
            if (parse(v, n) && n >= min && n <= max) return true;
            return bad();
        };
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--preset") {
            if (!value(presetName)) return false;
        } else if (a == "--flash-size") {
            if (!number(Size, 0x08000000, 1)) return false;
            flashSize = n;
        } else if (a == "--id") {
            if (!number(Hex, 0xFFFF)) return false;
            id = n;
        } else if (a == "--bl-version") {
            if (!number(Hex, 0xFF)) return false;
            version = n;
        } else if (a == "--flash") {
            if (!value(o.flashFile)) return false;
        } else if (a == "--options") {
            if (!value(o.optionsFile)) return false;
        } else if (a == "--log") {
            if (!value(o.logFile)) return false;
        } else if (a == "--wire-time") {
            o.wireTime = true;
        } else if (a == "--latency-timer") {
            if (!number(Number, 255)) return false;
            o.latencyMs = static_cast<std::uint32_t>(n);
        } else if (a == "--no-flash-time") {
            o.flashTime = false;
        } else if (a == "--link") {
            if (!number(Number, 9999, 1)) return false;
            o.link = static_cast<std::int32_t>(n);
        } else if (a == "--ports-dir") {
            if (!value(o.portsDir)) return false;
        } else if (a == "--protected") {
            o.readoutProtected = true;
        } else if (a == "--refuse") {
            if (!number(Hex, 0xFF)) return false;
            o.faults.refuse.insert(static_cast<std::uint8_t>(n));
        } else if (a == "--nack-write") {
            if (!number(Hex, 0xFFFFFFFF)) return false;
            o.faults.nackWriteAt = static_cast<std::uint32_t>(n);
        } else if (a == "--silent-after") {
            if (!number(Number, 0xFFFFFFFF)) return false;
            o.faults.silentAfter = static_cast<std::uint32_t>(n);
        } else if (a == "--stray") {
            if (!value(v)) return false;
            std::stringstream s(v);
            std::string item;
            o.faults.strayBeforeAck.clear();
            while (std::getline(s, item, ',')) {
                if (!Hex(item, n) || n > 0xFF) return bad();
                o.faults.strayBeforeAck.push_back(static_cast<std::uint8_t>(n));
            }
            if (o.faults.strayBeforeAck.empty()) return bad();
        } else if (a == "--stray-count") {
            if (!number(Number, 0x7FFFFFFF)) return false;
            o.faults.strayCount = static_cast<std::int32_t>(n);
        } else if (a == "--hang-up-after") {
            if (!number(Number, UINT64_MAX)) return false;
            o.hangUpAfter = n;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    auto preset = PresetByName(presetName);
    if (!preset) {
        error = "unknown preset " + presetName + " (f103, f407, f429, f303, g031, c031, l476, h743)";
        return false;
    }
    o.preset = *preset;
    if (flashSize) SetFlashSize(o.preset, static_cast<std::uint32_t>(*flashSize));
    if (id) o.preset.productId = static_cast<std::uint16_t>(*id);
    if (version) o.preset.bootloaderVersion = static_cast<std::uint8_t>(*version);
    return true;
}

std::string HelpText() {
    return R"(velkor-sim: a simulated STM32F USART bootloader (AN3155) on a pseudo-terminal.
Prints the slave's path on the first line and serves until SIGTERM or SIGINT.

A pseudo-terminal has no DTR or RTS, so the reset that a host performs can't be
seen. Instead a 0x7F received while the bootloader waits for a command, or
after more than one second of silence in the middle of a command (or after Go),
counts as reset plus synchronisation and is answered 0x79.

The chip speaks 8 data bits, even parity, 1 stop bit at the speed it measured
on the 0x7F of the synchronisation; bytes framed otherwise are not understood.

  --preset NAME        f103 (default), f407, f429, f303, g031, c031, l476, h743
  --flash-size N       flash size in bytes (K and M allowed, 0x for hex)
  --id HEX             product ID for Get ID
  --bl-version HEX     bootloader version for Get and Get Version
  --flash FILE         flash contents: loaded at start, saved after every write and erase
  --options FILE       option bytes: loaded at start, saved after every change
  --log FILE           one line per command ("-": standard error)
  --wire-time          bytes take their wire time (11 bits at the speed set)
  --latency-timer MS   hold the chip's bytes back as a USB adapter does: until
                       MS have passed since the first one held, or 62 are held
  --no-flash-time      programming and erasing take no time
  --link N             link ports/COM<N> to the slave, in the ports folder that
                       velkor and velkor-cli use; removed at exit
  --ports-dir DIR      the folder for --link instead
  --protected          start with readout protection active
Faults:
  --refuse HEX         NACK this command code (repeatable)
  --nack-write ADDR    NACK a Write Memory block that covers ADDR
  --silent-after N     send N more bytes, then nothing
  --stray HEX[,HEX]    send these bytes before every ACK
  --stray-count N      ... before the next N ACKs only
  --hang-up-after N    close the line after N received bytes
  -h, --help           this text
  --version            the version
)";
}

}  // namespace sim
