#include "serial/comport.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/net_serial.h"
#include "platform/ports.h"

using platform::SerialDevices;

TComPort::TComPort() = default;

TComPort::~TComPort() { Close(); }

bool TComPort::Open() {
    if (Opened()) Close();
    const std::string device = platform::DeviceName(port_);
    margin_ = platform::IsNetworkDevice(device) ? platform::NetWaitMargin() : 0;
    handle_ = SerialDevices().Open(device);
    if (!Opened()) return false;
    // A failure to read or write the line settings is not reported: the
    // port stays open with what the device had.
    if (SerialDevices().GetLineSettings(handle_, settings_)) {
        settings_.baud = baud_;
        settings_.dataBits = 8;
        settings_.parity = parity_;
        settings_.stopBits = 1;
        SerialDevices().SetLineSettings(handle_, settings_);
    }
    return true;
}

void TComPort::Close() {
    if (Opened()) {
        SerialDevices().Close(handle_);
        handle_ = platform::kClosedHandle;
    }
}

void TComPort::Reopen() {
    if (Opened()) {
        Close();
        Open();
    }
}

void TComPort::SetBaud(std::int32_t value) {
    if (value == baud_) return;
    baud_ = value;
    Reopen();
}

void TComPort::SetPort(std::int32_t value) {
    if (value == port_) return;
    port_ = value;
    Reopen();
}

void TComPort::SetParity(std::int32_t value) {
    if (value == parity_) return;
    parity_ = value;
    Reopen();
}

bool TComPort::SetDTR(bool on) { return SerialDevices().SetDtr(handle_, on); }

bool TComPort::SetRTS(bool on) { return SerialDevices().SetRts(handle_, on); }

void TComPort::Echo(std::uint8_t b) {
    buffer_[fill_] = b;
    if (fill_ < kEchoLimit) ++fill_;
}

std::int32_t TComPort::WriteString(const std::string& text) {
    if (!Opened()) return 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::int32_t written =
        std::max<std::int32_t>(0, SerialDevices().Write(handle_, data, static_cast<std::int32_t>(text.size())));
    if (local_)
        for (std::int32_t i = 0; i < written; ++i) Echo(data[i]);
    return written;
}

bool TComPort::WriteByte(std::uint8_t b) {
    if (!Opened()) return true;
    const bool ok = SerialDevices().Write(handle_, &b, 1) == 1;
    if (local_) Echo(b);
    return ok;
}

std::int32_t TComPort::InCount() {
    const std::int32_t n = Opened() ? std::max<std::int32_t>(0, SerialDevices().BytesWaiting(handle_)) : 0;
    return readPos_ < fill_ ? n + (fill_ - readPos_) : n;
}

std::uint8_t TComPort::ReadByte() {
    if (readPos_ < fill_) return buffer_[readPos_++];
    if (!Opened()) return 0;
    const std::int32_t n = InCount();
    if (n == 0) return 0;
    const std::int32_t got = SerialDevices().Read(handle_, buffer_, std::min(n, kMaxRead));
    fill_ = std::clamp<std::int32_t>(got, 0, kMaxRead);
    readPos_ = 0;
    if (fill_ == 0) return 0;
    readPos_ = 1;
    return buffer_[0];
}

bool TComPort::WaitForInput(std::uint32_t ms) {
    if (readPos_ < fill_) return true;
    if (!Opened()) {
        platform::SleepMs(ms);
        return false;
    }
    return SerialDevices().WaitForInput(handle_, ms);
}

void TComPort::Purge() {
    fill_ = 0;
    readPos_ = 0;
    if (Opened()) SerialDevices().Purge(handle_);
}

std::string OpenStateText(const std::string& label, const TComPort& port) {
    return label + " (" + std::to_string(port.Baud()) + " Bd)" + (port.Opened() ? " offen" : " kein Zugriff");
}
