// Placeholder until the termios service lands.
#include "platform/serial_device.h"
namespace platform {
namespace {
class NoSerial : public SerialDeviceService {
public:
    DeviceHandle Open(const std::string&) override { return kClosedHandle; }
    bool GetLineSettings(DeviceHandle, LineSettings&) override { return false; }
    bool SetLineSettings(DeviceHandle, const LineSettings&) override { return false; }
    bool SetDtr(DeviceHandle, bool) override { return false; }
    bool SetRts(DeviceHandle, bool) override { return false; }
    std::int32_t BytesWaiting(DeviceHandle) override { return 0; }
    std::int32_t Read(DeviceHandle, std::uint8_t*, std::int32_t) override { return 0; }
    std::int32_t Write(DeviceHandle, const std::uint8_t*, std::int32_t) override { return 0; }
    bool Purge(DeviceHandle) override { return false; }
    void Close(DeviceHandle) override {}
};
}  // namespace
SerialDeviceService& OsSerialDevices() {
    static NoSerial s;
    return s;
}
}  // namespace platform
