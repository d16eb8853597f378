// The serial device service of the in-process mode: named devices with a
// simulated chip behind each, DTR and RTS wired to its NRST and BOOT0, bytes
// on the virtual clock with their wire time. Like a port whose driver has
// HUPCL cleared, closing leaves both lines as they were.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "platform/serial_device.h"
#include "sim/chip.h"
#include "sim/virtual_clock.h"

namespace sim {

enum class Line { None, Dtr, Rts };

// The default is the program's default choice: "DTR hi" reset, "RTS lo" boot.
struct Wiring {
    Line reset = Line::Dtr;
    bool resetActiveWhenSet = true;   // DTR set -> NRST low (held in reset)
    Line boot = Line::Rts;
    bool bootHighWhenSet = false;     // RTS cleared -> BOOT0 high
};

// The wiring that a pair of radio choices (0 "aus", 1 "DTR hi", 2 "DTR lo",
// 3 "RTS hi", 4 "RTS lo") expects; any other value drives nothing.
Wiring WiringForChoices(std::int32_t resetChoice, std::int32_t bootChoice);

class InProcessLine : public platform::SerialDeviceService {
public:
    explicit InProcessLine(VirtualClock& clock);
    ~InProcessLine() override;

    // The chip is powered on here, with both lines cleared.
    void Attach(const std::string& deviceName, Chip& chip, Wiring wiring = {});
    void Detach(const std::string& deviceName);
    bool IsOpen(const std::string& deviceName) const;
    bool Dtr(const std::string& deviceName) const;
    bool Rts(const std::string& deviceName) const;

    platform::DeviceHandle Open(const std::string& deviceName) override;
    bool GetLineSettings(platform::DeviceHandle h, platform::LineSettings& out) override;
    bool SetLineSettings(platform::DeviceHandle h, const platform::LineSettings& s) override;
    bool SetDtr(platform::DeviceHandle h, bool on) override;
    bool SetRts(platform::DeviceHandle h, bool on) override;
    std::int32_t BytesWaiting(platform::DeviceHandle h) override;
    // Moves the clock on to the chip's next byte, or by ms when none comes.
    bool WaitForInput(platform::DeviceHandle h, std::uint32_t ms) override;
    std::int32_t Read(platform::DeviceHandle h, std::uint8_t* buf, std::int32_t max) override;
    std::int32_t Write(platform::DeviceHandle h, const std::uint8_t* data, std::int32_t n) override;
    bool Purge(platform::DeviceHandle h) override;
    void Close(platform::DeviceHandle h) override;

private:
    struct Device;
    Device* Find(platform::DeviceHandle h);
    Device* Usable(platform::DeviceHandle h);
    void Drive(Device& d);
    void Collect(Device& d);

    VirtualClock& clock_;
    std::map<std::string, std::unique_ptr<Device>> devices_;
    platform::DeviceHandle nextHandle_ = 100;
};

// Test convenience: installs the clock and the line as the platform's tick
// source and serial service for its lifetime, and owns one chip attached to
// the device name of port 1. One at a time: its end puts the OS seams back.
class Rig {
public:
    explicit Rig(ChipPreset preset = F103Preset(), Wiring wiring = {});
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    Chip& chip() { return chip_; }
    VirtualClock& clock() { return clock_; }
    InProcessLine& line() { return line_; }
    void AttachPort(std::int32_t port, Chip& chip, Wiring wiring = {});

private:
    VirtualClock clock_;
    InProcessLine line_;
    Chip chip_;
};

}  // namespace sim
