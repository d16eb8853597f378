// Win32 serial device service: a COM port opened for plain synchronous I/O.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>

#include "platform/serial_device.h"

namespace platform {

namespace {

HANDLE ToHandle(DeviceHandle h) { return h == kClosedHandle ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(h); }

bool ReadDcb(HANDLE h, DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    return GetCommState(h, &dcb) != 0;
}

class Win32Serial : public SerialDeviceService {
public:
    DeviceHandle Open(const std::string& deviceName) override {
        HANDLE h = CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return kClosedHandle;
        // The callers poll the input count and read only what is there; a
        // read must never wait for more, whatever time-outs the device had.
        COMMTIMEOUTS t{};
        if (!GetCommTimeouts(h, &t)) t = COMMTIMEOUTS{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = 0;
        t.ReadTotalTimeoutConstant = 0;
        SetCommTimeouts(h, &t);
        return reinterpret_cast<DeviceHandle>(h);
    }

    bool GetLineSettings(DeviceHandle h, LineSettings& out) override {
        DCB dcb;
        if (!ReadDcb(ToHandle(h), dcb)) return false;
        out.baud = dcb.BaudRate > static_cast<DWORD>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(dcb.BaudRate);
        out.dataBits = dcb.ByteSize;
        out.parity = dcb.Parity;
        // 1.5 stop bits has no whole number; it is written back only as 1 or 2.
        out.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
        return true;
    }

    bool SetLineSettings(DeviceHandle h, const LineSettings& s) override {
        // A value the DCB can't hold would be truncated into a different,
        // valid-looking one: refuse it instead.
        if (s.baud <= 0 || s.dataBits < 4 || s.dataBits > 8 || s.parity < NOPARITY || s.parity > SPACEPARITY ||
            (s.stopBits != 1 && s.stopBits != 2))
            return false;
        // Fresh from the device, so flow control, the DTR/RTS modes and the
        // special characters stay as they are.
        DCB dcb;
        if (!ReadDcb(ToHandle(h), dcb)) return false;
        dcb.BaudRate = static_cast<DWORD>(s.baud);
        dcb.ByteSize = static_cast<BYTE>(s.dataBits);
        dcb.Parity = static_cast<BYTE>(s.parity);
        dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        return SetCommState(ToHandle(h), &dcb) != 0;
    }

    bool SetDtr(DeviceHandle h, bool on) override { return EscapeCommFunction(ToHandle(h), on ? SETDTR : CLRDTR) != 0; }

    bool SetRts(DeviceHandle h, bool on) override { return EscapeCommFunction(ToHandle(h), on ? SETRTS : CLRRTS) != 0; }

    std::int32_t BytesWaiting(DeviceHandle h) override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(ToHandle(h), &errors, &stat)) return 0;
        return stat.cbInQue > static_cast<DWORD>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(stat.cbInQue);
    }

    std::int32_t Read(DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        if (max <= 0) return 0;
        DWORD got = 0;
        if (!ReadFile(ToHandle(h), buf, static_cast<DWORD>(max), &got, nullptr)) return 0;
        return static_cast<std::int32_t>(got);
    }

    std::int32_t Write(DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        if (n <= 0) return 0;
        DWORD written = 0;
        if (!WriteFile(ToHandle(h), data, static_cast<DWORD>(n), &written, nullptr)) return 0;
        return static_cast<std::int32_t>(written);
    }

    bool Purge(DeviceHandle h) override {
        return PurgeComm(ToHandle(h), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
    }

    void Close(DeviceHandle h) override {
        if (h != kClosedHandle) CloseHandle(ToHandle(h));
    }
};

}  // namespace

SerialDeviceService& OsSerialDevices() {
    static Win32Serial s;
    return s;
}

}  // namespace platform
