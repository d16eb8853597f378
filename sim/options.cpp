#include "sim/options.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {

namespace {

// Decimal or 0x-hex, with an optional K or M for sizes.
bool Number(const std::string& text, std::uint64_t& out, bool sizes = false) {
    if (text.empty()) return false;
    std::string digits = text;
    std::uint64_t scale = 1;
    if (sizes && (digits.back() == 'K' || digits.back() == 'k')) scale = 1024;
    if (sizes && (digits.back() == 'M' || digits.back() == 'm')) scale = 1024 * 1024;
    if (scale != 1) digits.pop_back();
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(digits.c_str(), &end, 0);
    if (errno != 0 || end == digits.c_str() || *end != '\0') return false;
    out = v * scale;
    return v <= UINT64_MAX / scale;
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
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--preset") {
            if (!value(presetName)) return false;
        } else if (a == "--flash-size") {
            if (!value(v)) return false;
            if (!Number(v, n, true) || n == 0 || n > 0x08000000) return bad();
            flashSize = n;
        } else if (a == "--id") {
            if (!value(v)) return false;
            if (!Hex(v, n) || n > 0xFFFF) return bad();
            id = n;
        } else if (a == "--bl-version") {
            if (!value(v)) return false;
            if (!Hex(v, n) || n > 0xFF) return bad();
            version = n;
        } else if (a == "--flash") {
            if (!value(o.flashFile)) return false;
        } else if (a == "--log") {
            if (!value(o.logFile)) return false;
        } else if (a == "--wire-time") {
            o.wireTime = true;
        } else if (a == "--no-flash-time") {
            o.flashTime = false;
        } else if (a == "--link") {
            if (!value(v)) return false;
            if (!Number(v, n) || n == 0 || n > 9999) return bad();
            o.link = static_cast<std::int32_t>(n);
        } else if (a == "--ports-dir") {
            if (!value(o.portsDir)) return false;
        } else if (a == "--protected") {
            o.readoutProtected = true;
        } else if (a == "--refuse") {
            if (!value(v)) return false;
            if (!Hex(v, n) || n > 0xFF) return bad();
            o.faults.refuse.insert(static_cast<std::uint8_t>(n));
        } else if (a == "--nack-write") {
            if (!value(v)) return false;
            if (!Hex(v, n) || n > 0xFFFFFFFF) return bad();
            o.faults.nackWriteAt = static_cast<std::uint32_t>(n);
        } else if (a == "--silent-after") {
            if (!value(v)) return false;
            if (!Number(v, n) || n > 0xFFFFFFFF) return bad();
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
            if (!value(v)) return false;
            if (!Number(v, n) || n > 0x7FFFFFFF) return bad();
            o.faults.strayCount = static_cast<std::int32_t>(n);
        } else if (a == "--hang-up-after") {
            if (!value(v)) return false;
            if (!Number(v, n)) return bad();
            o.hangUpAfter = n;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    auto preset = PresetByName(presetName);
    if (!preset) {
        error = "unknown preset " + presetName + " (f103, f407, f429)";
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

  --preset NAME        f103 (default), f407, f429
  --flash-size N       flash size in bytes (K and M allowed, 0x for hex)
  --id HEX             product ID for Get ID
  --bl-version HEX     bootloader version for Get and Get Version
  --flash FILE         flash contents: loaded at start, saved after every write and erase
  --log FILE           one line per command ("-": standard error)
  --wire-time          bytes take their wire time (11 bits at the speed set)
  --no-flash-time      programming and erasing take no time
  --link N             link ports/COM<N> beside this program to the slave; removed at exit
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
)";
}

}  // namespace sim
