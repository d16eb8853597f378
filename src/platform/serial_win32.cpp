// Win32 serial device service: a COM port opened for plain synchronous I/O.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>
#include <map>

#include "platform/open_failure.h"
#include "platform/serial_device.h"

namespace platform {

namespace {

// A driver that takes no byte for this long is taken as gone; a frame of at
// most 12 bits at 2400 bit/s, the slowest rate offered, adds 5 ms per byte.
constexpr DWORD kWriteStallMs = 2000;
constexpr DWORD kWriteMsPerByte = 5;

// kClosedHandle is INVALID_HANDLE_VALUE.
HANDLE ToHandle(DeviceHandle h) { return reinterpret_cast<HANDLE>(h); }

bool ReadDcb(HANDLE h, DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    return GetCommState(h, &dcb) != 0;
}

// Reads return at once with what is waiting, or with nothing; a write gives
// up when the line stalls. readWaitMs > 0: a read of nothing waits that long
// for the first byte instead.
bool SetTimeouts(HANDLE h, DWORD readWaitMs) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    if (readWaitMs > 0) {
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = readWaitMs;
    }
    t.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    t.WriteTotalTimeoutConstant = kWriteStallMs;
    return SetCommTimeouts(h, &t) != 0;
}

class Win32Serial : public SerialDeviceService {
public:
    DeviceHandle Open(const std::string& deviceName) override {
        HANDLE h = CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            NoteOpenFailure(deviceName, {OpenStep::Open, static_cast<int>(GetLastError())});
            return kClosedHandle;
        }
        // The driver keeps what its last user set. Every byte must pass as it
        // is (no XON/XOFF, no dropped 0x00, no error character), no modem
        // line may hold the output back, and DTR and RTS stay ours to drive,
        // both set as a POSIX open leaves them.
        DCB dcb;
        if (!ReadDcb(h, dcb)) return Fail(deviceName, h);
        dcb.fBinary = TRUE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        // The callers ask the input count and read only what is there; a
        // read must never wait for more.
        if (!SetCommState(h, &dcb) || !SetTimeouts(h, 0)) return Fail(deviceName, h);
        ForgetOpenFailure(deviceName);
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
        // Fresh from the device, so what Open set stays.
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
        const std::uint64_t n = std::uint64_t{stat.cbInQue} + (held_.count(h) ? 1u : 0u);
        return n > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(n);
    }

    // The handle is synchronous, so the wait is a read with a time-out for
    // its first byte: the driver wakes the thread when the byte comes. That
    // byte is held here until the next Read.
    bool WaitForInput(DeviceHandle h, std::uint32_t ms) override {
        if (BytesWaiting(h) > 0) return true;
        const DWORD start = GetTickCount();
        std::uint8_t b = 0;
        DWORD got = 0;
        const bool read = ms > 0 && SetTimeouts(ToHandle(h), ms) && ReadFile(ToHandle(h), &b, 1, &got, nullptr);
        SetTimeouts(ToHandle(h), 0);
        if (read && got == 1) {
            held_[h] = b;
            return true;
        }
        // A port that failed at once: sit the time out rather than spin.
        const DWORD spent = GetTickCount() - start;
        if (spent < ms) Sleep(ms - spent);
        return false;
    }

    std::int32_t Read(DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        if (max <= 0) return 0;
        std::int32_t n = 0;
        if (auto it = held_.find(h); it != held_.end()) {
            buf[n++] = it->second;
            held_.erase(it);
        }
        DWORD got = 0;
        if (n < max && !ReadFile(ToHandle(h), buf + n, static_cast<DWORD>(max - n), &got, nullptr)) got = 0;
        return n + static_cast<std::int32_t>(got);
    }

    std::int32_t Write(DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        if (n <= 0) return 0;
        DWORD written = 0;
        if (!WriteFile(ToHandle(h), data, static_cast<DWORD>(n), &written, nullptr)) return 0;
        return static_cast<std::int32_t>(written);
    }

    bool Purge(DeviceHandle h) override {
        held_.erase(h);
        return PurgeComm(ToHandle(h), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
    }

    void Close(DeviceHandle h) override {
        held_.erase(h);
        if (h == kClosedHandle) return;
        // The last line change and what was written reach the port first.
        FlushFileBuffers(ToHandle(h));
        CloseHandle(ToHandle(h));
    }

private:
    static DeviceHandle Fail(const std::string& deviceName, HANDLE h) {
        NoteOpenFailure(deviceName, {OpenStep::Setup, static_cast<int>(GetLastError())});
        CloseHandle(h);
        return kClosedHandle;
    }

    std::map<DeviceHandle, std::uint8_t> held_;  // the byte a wait read ahead
};

}  // namespace

SerialDeviceService& OsSerialDevices() {
    static Win32Serial s;
    return s;
}

}  // namespace platform
