// A virtual clock and a scripted serial device for tests of the line
// sequences and of TComPort: every call is recorded with the tick count at
// that moment, and bytes arrive at scripted virtual times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_device.h"

namespace testsupport {

// Each reading advances the clock by a fixed step (what a poll costs); a
// sleep ends where the tick count has moved on by its length, on the tick.
// Installs itself.
class VirtualClock : public platform::TickSource {
public:
    explicit VirtualClock(std::uint32_t startMs = 0, std::uint32_t stepUs = 10);
    ~VirtualClock() override;
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    std::uint32_t NowMs() override;
    void SleepMs(std::uint32_t ms) override { us_ = (us_ / 1000 + ms) * 1000; }
    std::uint32_t PeekMs() const { return static_cast<std::uint32_t>(us_ / 1000); }
    void AdvanceMs(std::uint32_t ms) { us_ += std::uint64_t{ms} * 1000; }

private:
    std::uint64_t us_;
    std::uint32_t stepUs_;
};

// Installs itself as the serial device service for its lifetime. Accepts any
// non-empty device name unless told otherwise; one device at a time. Its
// waits sleep on the clock in force until the next scripted byte is due.
class ScriptedDevice : public platform::SerialDeviceService {
public:
    enum class Op { Open, Close, GetSettings, SetSettings, Dtr, Rts, Write, Purge };
    struct Event {
        Op op;
        std::uint32_t tick;
        bool on = false;                  // Dtr, Rts
        std::vector<std::uint8_t> bytes;  // Write
        platform::LineSettings settings;  // SetSettings
        std::string name;                 // Open
    };

    ScriptedDevice();
    ~ScriptedDevice() override;
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    // Bytes that reach the input queue delayMs after now.
    void ArriveAfter(std::uint32_t delayMs, std::vector<std::uint8_t> bytes);
    // Once the byte is written, the answer arrives delayMs after that write.
    void ReplyTo(std::uint8_t written, std::uint32_t delayMs, std::vector<std::uint8_t> answer);

    // The recorded line operations, writes and purges in order, e.g.
    // "purge@0 DTR+@0 RTS-@0 DTR-@20 W7F@1520 RTS+@1820", times relative to origin.
    std::string Trace(std::uint32_t origin) const;
    int Count(Op op) const;
    void ClearEvents() { events.clear(); }

    bool failOpen = false;
    bool failGetSettings = false;
    bool failSetSettings = false;
    int polls = 0;  // BytesWaiting calls: a busy wait makes thousands
    platform::LineSettings deviceSettings{1200, 7, 1, 2};  // what a fresh device reports
    std::vector<Event> events;

    // SerialDeviceService
    platform::DeviceHandle Open(const std::string& deviceName) override;
    bool GetLineSettings(platform::DeviceHandle h, platform::LineSettings& out) override;
    bool SetLineSettings(platform::DeviceHandle h, const platform::LineSettings& s) override;
    bool SetDtr(platform::DeviceHandle h, bool on) override;
    bool SetRts(platform::DeviceHandle h, bool on) override;
    std::int32_t BytesWaiting(platform::DeviceHandle h) override;
    bool WaitForInput(platform::DeviceHandle h, std::uint32_t ms) override;
    std::int32_t Read(platform::DeviceHandle h, std::uint8_t* buf, std::int32_t max) override;
    std::int32_t Write(platform::DeviceHandle h, const std::uint8_t* data, std::int32_t n) override;
    bool Purge(platform::DeviceHandle h) override;
    void Close(platform::DeviceHandle h) override;

private:
    struct Pending {
        std::uint32_t base;
        std::uint32_t delay;
        std::vector<std::uint8_t> bytes;
    };
    struct Reply {
        std::uint8_t trigger;
        std::uint32_t delay;
        std::vector<std::uint8_t> answer;
    };
    Event& Record(Op op);
    bool IsOpen(platform::DeviceHandle h) const { return open_ && h == handle_; }
    void Deliver();

    bool open_ = false;
    platform::DeviceHandle handle_ = 0;
    std::vector<Pending> pending_;
    std::vector<Reply> replies_;
    std::vector<std::uint8_t> queue_;
};

}  // namespace testsupport
