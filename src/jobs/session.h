// One connection to the bootloader for a row of job steps: the chip is reset
// into the bootloader and synchronised once, and again only after it has
// left the bootloader, or after a step that may have left it in the middle
// of a command. The window's jobs each start from a fresh one.
#pragma once

#include <cstdint>

#include "bootloader/protocol.h"

class TComPort;

class TBootSession {
public:
    explicit TBootSession(TComPort& port, std::uint32_t bootDelayMs = proto::kBootDelayMs)
        : port_(port), bootDelayMs_(bootDelayMs) {}

    TComPort& Port() const { return port_; }
    bool Connected() const { return connected_; }
    // Connect, unless still synchronised.
    bool Ensure();
    // The chip reset or runs its program, or a step failed: the next Ensure connects.
    void Drop() { connected_ = false; }
    std::uint32_t Connects() const { return connects_; }

private:
    TComPort& port_;
    std::uint32_t bootDelayMs_;
    bool connected_ = false;
    std::uint32_t connects_ = 0;
};
