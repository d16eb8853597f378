// A host on the in-process line: the program's port and Connect, then raw
// command bytes, all on the virtual clock.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "serial/comport.h"
#include "sim/in_process.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// Four address bytes, most significant first, and their XOR.
Bytes Address(std::uint32_t a);
// N = length - 1, the data, and the XOR of N and the data.
Bytes Block(const Bytes& data);
// The XOR of all bytes appended.
Bytes WithXor(Bytes b);

class Bench {
public:
    // Line choices as the window would set them; the default matches the default wiring.
    explicit Bench(sim::ChipPreset preset = sim::F103Preset(), sim::Wiring wiring = {}, std::int32_t resetMode = 1,
                   std::int32_t bootMode = 4, std::int32_t baud = 115200, std::int32_t parity = 2);

    sim::Chip& chip() { return rig.chip(); }
    std::uint64_t Us() { return rig.clock().NowUs(); }
    bool Connect();
    void Send(const Bytes& b);
    // Up to n bytes within limitMs.
    Bytes Receive(std::size_t n, std::uint32_t limitMs = 1000);
    // The next byte, 0 when none comes within limitMs.
    std::uint8_t Next(std::uint32_t limitMs = 1000);
    // Code and complement; the first answer byte.
    std::uint8_t Cmd(std::uint8_t code, std::uint32_t limitMs = 1000);
    // nullopt when a step was refused.
    std::optional<Bytes> Read(std::uint32_t address, std::size_t n);
    // The answer after the data block (or the refusal before it).
    std::uint8_t Write(std::uint32_t address, const Bytes& data);
    // Command, then parameters; the answer after them.
    std::uint8_t Erase(std::uint8_t code, const Bytes& params, std::uint32_t limitMs = 20000);

    sim::Rig rig;
    TComPort port;
};

}  // namespace simtest
