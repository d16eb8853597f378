// TComPort: the program's only access to the serial line. A COM port opened
// by number, line settings, DTR/RTS, byte output, and input handed out one
// byte at a time from a receive buffer of its own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/serial_device.h"

class TComPort {
public:
    static constexpr std::int32_t kBufferSize = 16384;
    static constexpr std::int32_t kMaxRead = 16383;   // one driver read
    static constexpr std::int32_t kEchoLimit = 16382; // local echo stops raising the fill count here

    TComPort();
    ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    bool Open();
    void Close();
    bool SetDTR(bool on);
    bool SetRTS(bool on);
    std::int32_t WriteString(const std::string& text);
    bool WriteByte(std::uint8_t b);
    std::int32_t InCount();
    // InCount() > 0, answered from the receive buffer while it holds unread
    // bytes: a wait that takes a burst byte by byte asks the driver once per
    // burst, not once per byte.
    bool HasInput() { return readPos_ < fill_ || InCount() > 0; }
    std::uint8_t ReadByte();
    std::uint8_t ReadChar() { return ReadByte(); }
    // Blocks until InCount would be above 0 or ms have passed on the clock in
    // force; true when input is there. Unread bytes in the buffer count, and
    // on a closed port it just sleeps.
    bool WaitForInput(std::uint32_t ms);
    void Purge();

    std::int32_t Baud() const { return baud_; }
    void SetBaud(std::int32_t value);
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t value);
    std::int32_t Parity() const { return parity_; }
    void SetParity(std::int32_t value);
    bool Local() const { return local_; }
    void SetLocal(bool value) { local_ = value; }
    bool Opened() const { return handle_ != platform::kClosedHandle; }
    // A wait for the chip's answer of limitMs, with the round-trip margin a
    // network port gets; a local port's waits stay exact.
    std::uint32_t AnswerLimit(std::uint32_t limitMs) const { return limitMs + margin_; }
    std::uint32_t WaitMargin() const { return margin_; }

private:
    void Reopen();
    void Echo(std::uint8_t b);

    platform::DeviceHandle handle_ = platform::kClosedHandle;
    std::int32_t port_ = 1;
    std::int32_t baud_ = 9600;
    bool local_ = false;
    std::uint8_t buffer_[kBufferSize] = {};
    std::int32_t fill_ = 0;
    std::int32_t readPos_ = 0;
    std::int32_t parity_ = 0;
    platform::LineSettings settings_;
    std::uint32_t margin_ = 0;
};

// What the window and the command line show after opening: "<label> (<baud> Bd) offen",
// or "kein Zugriff" in place of "offen".
std::string OpenStateText(const std::string& label, const TComPort& port);
