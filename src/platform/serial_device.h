// Serial device service: the OS side of TComPort.
// One implementation per OS (serial_posix.cpp, serial_win32.cpp); tests install
// their own service (the simulated chip) through SetSerialDevices.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kClosedHandle = -1;

// Parity codes are handed through unchanged: 0 none, 1 odd, 2 even, 3 mark, 4 space.
struct LineSettings {
    std::int32_t baud = 9600;
    int dataBits = 8;
    int parity = 0;
    int stopBits = 1;
};

class SerialDeviceService {
public:
    virtual ~SerialDeviceService() = default;

    // Existing device only, exclusive, synchronous. kClosedHandle on failure.
    virtual DeviceHandle Open(const std::string& deviceName) = 0;
    virtual bool GetLineSettings(DeviceHandle h, LineSettings& out) = 0;
    // Changes speed, data bits, parity and stop bits; leaves every other setting.
    virtual bool SetLineSettings(DeviceHandle h, const LineSettings& s) = 0;
    virtual bool SetDtr(DeviceHandle h, bool on) = 0;
    virtual bool SetRts(DeviceHandle h, bool on) = 0;
    // Bytes in the input queue; also clears pending line errors. 0 on failure.
    virtual std::int32_t BytesWaiting(DeviceHandle h) = 0;
    // Blocks until bytes are waiting or ms have passed; true when bytes are
    // waiting. It returns early for input only, so on a line that is gone the
    // caller's deadline still holds and nothing spins.
    virtual bool WaitForInput(DeviceHandle h, std::uint32_t ms) = 0;
    // Reads up to max bytes that are already waiting, never blocks for more.
    virtual std::int32_t Read(DeviceHandle h, std::uint8_t* buf, std::int32_t max) = 0;
    // Synchronous write; the count written, 0 on failure.
    virtual std::int32_t Write(DeviceHandle h, const std::uint8_t* data, std::int32_t n) = 0;
    // Aborts pending transfers and discards both queues.
    virtual bool Purge(DeviceHandle h) = 0;
    virtual void Close(DeviceHandle h) = 0;
};

// The service in force: the OS one unless a test installed another.
SerialDeviceService& SerialDevices();
// nullptr puts the OS service back.
void SetSerialDevices(SerialDeviceService* service);
// The OS implementation itself (POSIX termios or Win32).
SerialDeviceService& OsSerialDevices();

}  // namespace platform
