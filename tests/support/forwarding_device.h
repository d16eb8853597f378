// A serial device service that passes every call to another one and installs
// itself in its place for its lifetime; test doubles override what they spoil.
#pragma once

#include "platform/serial_device.h"

namespace testsupport {

class ForwardingDevice : public platform::SerialDeviceService {
public:
    explicit ForwardingDevice(platform::SerialDeviceService& inner) : inner_(inner) {
        platform::SetSerialDevices(this);
    }
    ~ForwardingDevice() override { platform::SetSerialDevices(&inner_); }
    ForwardingDevice(const ForwardingDevice&) = delete;
    ForwardingDevice& operator=(const ForwardingDevice&) = delete;

    platform::DeviceHandle Open(const std::string& name) override { return inner_.Open(name); }
    bool GetLineSettings(platform::DeviceHandle h, platform::LineSettings& s) override {
        return inner_.GetLineSettings(h, s);
    }
    bool SetLineSettings(platform::DeviceHandle h, const platform::LineSettings& s) override {
        return inner_.SetLineSettings(h, s);
    }
    bool SetDtr(platform::DeviceHandle h, bool on) override { return inner_.SetDtr(h, on); }
    bool SetRts(platform::DeviceHandle h, bool on) override { return inner_.SetRts(h, on); }
    std::int32_t BytesWaiting(platform::DeviceHandle h) override { return inner_.BytesWaiting(h); }
    bool WaitForInput(platform::DeviceHandle h, std::uint32_t ms) override { return inner_.WaitForInput(h, ms); }
    std::int32_t Read(platform::DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        return inner_.Read(h, buf, max);
    }
    std::int32_t Write(platform::DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        return inner_.Write(h, data, n);
    }
    bool Purge(platform::DeviceHandle h) override { return inner_.Purge(h); }
    void Close(platform::DeviceHandle h) override { inner_.Close(h); }

protected:
    platform::SerialDeviceService& inner_;
};

}  // namespace testsupport
