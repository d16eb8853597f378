#include "bench.h"

#include "bootloader/lolevel.h"
#include "platform/clock.h"
#include "settings/inifile.h"

namespace simtest {

Bytes Address(std::uint32_t a) {
    return WithXor({static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
                    static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)});
}

Bytes WithXor(Bytes b) {
    std::uint8_t x = 0;
    for (auto v : b) x = static_cast<std::uint8_t>(x ^ v);
    b.push_back(x);
    return b;
}

Bytes Block(const Bytes& data) {
    Bytes b{static_cast<std::uint8_t>(data.size() - 1)};
    b.insert(b.end(), data.begin(), data.end());
    return WithXor(b);
}

Bench::Bench(sim::ChipPreset preset, sim::Wiring wiring, std::int32_t resetMode, std::int32_t bootMode,
             std::int32_t baud, std::int32_t parity)
    : rig(std::move(preset), wiring) {
    Ini.ResetMode = resetMode;
    Ini.BootMode = bootMode;
    port.SetBaud(baud);
    port.SetParity(parity);
    port.Open();
}

bool Bench::Connect() { return ::Connect(port); }

void Bench::Send(const Bytes& b) { port.WriteString(std::string(b.begin(), b.end())); }

Bytes Bench::Receive(std::size_t n, std::uint32_t limitMs) {
    Bytes out;
    const std::uint32_t start = platform::TickCount();
    while (out.size() < n && platform::Within(start, limitMs))
        if (port.InCount() > 0) out.push_back(port.ReadByte());
    return out;
}

std::uint8_t Bench::Next(std::uint32_t limitMs) {
    const Bytes b = Receive(1, limitMs);
    return b.empty() ? 0 : b[0];
}

std::uint8_t Bench::Cmd(std::uint8_t code, std::uint32_t limitMs) {
    Send({code, static_cast<std::uint8_t>(code ^ 0xFF)});
    return Next(limitMs);
}

std::optional<Bytes> Bench::Read(std::uint32_t address, std::size_t n) {
    if (Cmd(0x11) != 0x79) return std::nullopt;
    Send(Address(address));
    if (Next() != 0x79) return std::nullopt;
    const auto len = static_cast<std::uint8_t>(n - 1);
    Send({len, static_cast<std::uint8_t>(len ^ 0xFF)});
    if (Next() != 0x79) return std::nullopt;
    return Receive(n);
}

std::uint8_t Bench::Write(std::uint32_t address, const Bytes& data) {
    if (const auto r = Cmd(0x31); r != 0x79) return r;
    Send(Address(address));
    if (const auto r = Next(); r != 0x79) return r;
    Send(Block(data));
    return Next(2000);
}

std::uint8_t Bench::Erase(std::uint8_t code, const Bytes& params, std::uint32_t limitMs) {
    if (const auto r = Cmd(code); r != 0x79) return r;
    Send(params);
    return Next(limitMs);
}

}  // namespace simtest
