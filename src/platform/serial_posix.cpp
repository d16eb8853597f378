// Serial device service on POSIX termios. Handles are the file descriptors.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <algorithm>
#include <cstdint>
#include <set>

#include "platform/clock.h"
#include "platform/open_failure.h"
#include "platform/posix_ioctl.h"
#include "platform/serial_device.h"

#if defined(__linux__)
#include <linux/serial.h>

#include "platform/serial_speed_linux.h"
#endif

namespace platform {

namespace posix {

int SystemIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

namespace {
IoctlCall g_ioctl = SystemIoctl;
}  // namespace

void SetIoctl(IoctlCall call) { g_ioctl = call ? call : SystemIoctl; }

}  // namespace posix

namespace {

int Ioctl(int fd, unsigned long request, void* arg = nullptr) { return posix::g_ioctl(fd, request, arg); }

// A driver that takes no byte for this long is taken as gone.
constexpr std::uint32_t kWriteStallMs = 2000;

#if !defined(__linux__)
// Linux takes every rate through termios2; elsewhere only the B-constants exist.
struct SpeedCode {
    std::int32_t baud;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},     {75, B75},       {110, B110},     {134, B134},     {150, B150},     {200, B200},
    {300, B300},   {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},   {4800, B4800},
#ifdef B7200
    {7200, B7200},
#endif
    {9600, B9600},
#ifdef B14400
    {14400, B14400},
#endif
    {19200, B19200},
#ifdef B28800
    {28800, B28800},
#endif
    {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B76800
    {76800, B76800},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedToCode(std::int32_t baud, speed_t& code) {
    for (const auto& s : kSpeeds)
        if (s.baud == baud) {
            code = s.code;
            return true;
        }
    return false;
}

std::int32_t CodeToSpeed(speed_t code) {
    for (const auto& s : kSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}
#endif

int Fd(DeviceHandle h) { return h >= 0 && h <= INT_MAX ? static_cast<int>(h) : -1; }

// What cfmakeraw does, spelled out because cfmakeraw is not POSIX: every byte
// passes as it is, nothing is echoed, no XON/XOFF, no line-end translation.
void MakeRaw(termios& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    // HUPCL off: closing leaves DTR and RTS as the program set them last,
    // so the chip released by RestartNormal keeps running with BOOT0 low.
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | HUPCL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;  // CLOCAL: a missing carrier never blocks
#ifdef CRTSCTS
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool SetModemLine(DeviceHandle h, int line, bool on) {
    int bits = line;
    return Ioctl(Fd(h), on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

DeviceHandle Fail(const std::string& deviceName, int fd, OpenStep step) {
    const int err = errno;
    if (fd >= 0) close(fd);
    NoteOpenFailure(deviceName, {step, err});
    return kClosedHandle;
}

class PosixSerial : public SerialDeviceService {
public:
    DeviceHandle Open(const std::string& deviceName) override {
        const int fd = open(deviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return Fail(deviceName, fd, OpenStep::Open);
        termios t{};
        if (!isatty(fd)) return Fail(deviceName, fd, OpenStep::Setup);
        // TIOCEXCL keeps other users out, but not root; the lock also keeps a
        // second instance of this program out.
        if (Ioctl(fd, TIOCEXCL) != 0) return Fail(deviceName, fd, OpenStep::Exclusive);
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) return Fail(deviceName, fd, OpenStep::Lock);
        if (tcgetattr(fd, &t) != 0) return Fail(deviceName, fd, OpenStep::Setup);
        MakeRaw(t);
        if (tcsetattr(fd, TCSANOW, &t) != 0) return Fail(deviceName, fd, OpenStep::Setup);
        ForgetOpenFailure(deviceName);
        AskLowLatency(fd);
        return fd;
    }

    bool GetLineSettings(DeviceHandle h, LineSettings& out) override {
        termios t{};
        if (tcgetattr(Fd(h), &t) != 0) return false;
#if defined(__linux__)
        std::uint32_t baud = 0;
        out.baud = kernel_speed::Get(Fd(h), baud) && baud <= INT32_MAX ? static_cast<std::int32_t>(baud) : 0;
#else
        out.baud = CodeToSpeed(cfgetospeed(&t));
#endif
        switch (t.c_cflag & CSIZE) {
            case CS5: out.dataBits = 5; break;
            case CS6: out.dataBits = 6; break;
            case CS7: out.dataBits = 7; break;
            default: out.dataBits = 8; break;
        }
        if (!(t.c_cflag & PARENB))
            out.parity = 0;
#ifdef CMSPAR
        else if (t.c_cflag & CMSPAR)
            out.parity = (t.c_cflag & PARODD) ? 3 : 4;
#endif
        else
            out.parity = (t.c_cflag & PARODD) ? 1 : 2;
        out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
        return true;
    }

    bool SetLineSettings(DeviceHandle h, const LineSettings& s) override {
        if (s.baud <= 0) return false;
        tcflag_t size = 0;
        switch (s.dataBits) {
            case 5: size = CS5; break;
            case 6: size = CS6; break;
            case 7: size = CS7; break;
            case 8: size = CS8; break;
            default: return false;
        }
        tcflag_t parity = 0;
        switch (s.parity) {
            case 0: break;
            case 1: parity = PARENB | PARODD; break;
            case 2: parity = PARENB; break;
#ifdef CMSPAR
            case 3: parity = PARENB | PARODD | CMSPAR; break;  // mark: the bit always 1
            case 4: parity = PARENB | CMSPAR; break;           // space: the bit always 0
#endif
            default: return false;
        }
        if (s.stopBits != 1 && s.stopBits != 2) return false;

        tcflag_t mask = CSIZE | PARENB | PARODD | CSTOPB;
#ifdef CMSPAR
        mask |= CMSPAR;
#endif
        const tcflag_t frame = size | parity | (s.stopBits == 2 ? CSTOPB : 0);

#if defined(__linux__)
        // Not tcsetattr: glibc's fails with EINVAL where a pseudo-terminal
        // drops the parity and nothing else changed.
        return kernel_speed::Set(Fd(h), static_cast<std::uint32_t>(s.baud), mask, frame);
#else
        termios t{};
        speed_t code = 0;
        if (tcgetattr(Fd(h), &t) != 0 || !SpeedToCode(s.baud, code)) return false;
        t.c_cflag = (t.c_cflag & ~mask) | frame;
        if (cfsetispeed(&t, code) != 0 || cfsetospeed(&t, code) != 0) return false;
        return tcsetattr(Fd(h), TCSANOW, &t) == 0;
#endif
    }

    bool SetDtr(DeviceHandle h, bool on) override { return SetModemLine(h, TIOCM_DTR, on); }
    bool SetRts(DeviceHandle h, bool on) override { return SetModemLine(h, TIOCM_RTS, on); }

    std::int32_t BytesWaiting(DeviceHandle h) override {
        // In raw mode a line error only spoils its byte; nothing to clear.
        int n = 0;
        if (Ioctl(Fd(h), FIONREAD, &n) != 0 || n < 0) return 0;
        return n;
    }

    bool WaitForInput(DeviceHandle h, std::uint32_t ms) override {
        const std::uint32_t start = OsTickCount();
        for (;;) {
            const auto elapsed = static_cast<std::uint32_t>(OsTickCount() - start);
            const std::uint32_t left = elapsed < ms ? ms - elapsed : 0;
            pollfd p{Fd(h), POLLIN, 0};
            const int r = poll(&p, 1, static_cast<int>(std::min<std::uint32_t>(left, INT_MAX)));
            if (r == 0) return false;
            if (r < 0 && errno == EINTR) continue;
            if (r > 0 && p.revents == POLLIN) return true;
            // Hung up, failed or no descriptor: bytes still queued count; else
            // the time is sat out, since poll would only say the same at once.
            if (r > 0 && (p.revents & POLLIN) && BytesWaiting(h) > 0) return true;
            const auto spent = static_cast<std::uint32_t>(OsTickCount() - start);
            if (spent < ms) OsSleepMs(ms - spent);
            return false;
        }
    }

    std::int32_t Read(DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        if (max <= 0) return 0;
        for (;;) {
            const ssize_t n = read(Fd(h), buf, static_cast<std::size_t>(max));
            if (n >= 0) return static_cast<std::int32_t>(n);
            if (errno != EINTR) return 0;  // EAGAIN: nothing waiting
        }
    }

    std::int32_t Write(DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        const int fd = Fd(h);
        std::int32_t done = 0;
        std::uint32_t lastProgress = OsTickCount();
        while (done < n) {
            const ssize_t w = write(fd, data + done, static_cast<std::size_t>(n - done));
            if (w > 0) {
                done += static_cast<std::int32_t>(w);
                lastProgress = OsTickCount();
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
            // The driver's queue is full: wait until it takes more.
            const auto stalled = static_cast<std::uint32_t>(OsTickCount() - lastProgress);
            if (stalled >= kWriteStallMs) break;
            pollfd p{fd, POLLOUT, 0};
            const int r = poll(&p, 1, static_cast<int>(kWriteStallMs - stalled));
            if (r < 0 && errno != EINTR) break;
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
        }
        return done;
    }

    bool Purge(DeviceHandle h) override { return tcflush(Fd(h), TCIOFLUSH) == 0; }

    void Close(DeviceHandle h) override {
        const int fd = Fd(h);
        if (fd < 0) return;
        // What was written goes out before the port is let go (the line
        // changes took effect at their ioctl).
        tcdrain(fd);
        RestoreLatency(fd);
        // A pseudo-terminal keeps the exclusive flag past close while its
        // master lives; without this a non-root reopen gets EBUSY.
        Ioctl(fd, TIOCNXCL);
        close(fd);
    }

private:
    // USB adapters hold received bytes back until their latency timer runs
    // out (16 ms on FTDI chips): ask for low latency (1 ms there), and turn
    // it off again at close if it was off before. A driver without the call (a
    // pseudo-terminal) refuses it, and nothing more is done.
    void AskLowLatency(int fd) {
#if defined(__linux__)
        serial_struct info{};
        if (Ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY)) return;
        info.flags |= ASYNC_LOW_LATENCY;
        if (Ioctl(fd, TIOCSSERIAL, &info) == 0) lowLatencyAsked_.insert(fd);
#else
        (void)fd;
#endif
    }

    void RestoreLatency(int fd) {
#if defined(__linux__)
        if (lowLatencyAsked_.erase(fd) == 0) return;
        serial_struct info{};
        if (Ioctl(fd, TIOCGSERIAL, &info) != 0) return;
        info.flags &= ~ASYNC_LOW_LATENCY;
        Ioctl(fd, TIOCSSERIAL, &info);
#else
        (void)fd;
#endif
    }

    std::set<int> lowLatencyAsked_;  // descriptors whose driver had it off before Open
};

}  // namespace

SerialDeviceService& OsSerialDevices() {
    static PosixSerial s;
    return s;
}

}  // namespace platform
