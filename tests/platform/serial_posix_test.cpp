// The termios serial service on real pseudo-terminals. A pseudo-terminal
// keeps the speed and stop bits it is given but has no modem lines and
// forces 8 bits without parity, so only those settings are read back here.
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/posix_ioctl.h"
#include "platform/serial_device.h"
#include "support/pty_pair.h"
#include "support/recorders.h"

namespace {

using platform::DeviceHandle;
using platform::kClosedHandle;
using platform::LineSettings;

platform::SerialDeviceService& Os() { return platform::OsSerialDevices(); }

// Closes what a test opened, also when an expectation fails.
struct Opened {
    explicit Opened(const std::string& name) : h(Os().Open(name)) {}
    ~Opened() {
        if (h != kClosedHandle) Os().Close(h);
    }
    DeviceHandle h;
};

TEST(PosixSerial, OpensOnlyExistingTerminals) {
    testsupport::TempDir dir;
    dir.Write("COM3", "not a terminal");
    EXPECT_EQ(Opened("").h, kClosedHandle);
    EXPECT_EQ(Opened(dir.File("missing")).h, kClosedHandle);
    EXPECT_EQ(Opened(dir.File("COM3")).h, kClosedHandle);
    EXPECT_EQ(Opened(dir.path()).h, kClosedHandle);
    EXPECT_EQ(Opened("/dev/null").h, kClosedHandle);

    testsupport::PtyPair pty;
    EXPECT_NE(Opened(pty.slave()).h, kClosedHandle);
}

TEST(PosixSerial, OpenIsExclusiveUntilClosed) {
    testsupport::PtyPair pty;
    {
        Opened first(pty.slave());
        ASSERT_NE(first.h, kClosedHandle);
        EXPECT_EQ(Opened(pty.slave()).h, kClosedHandle);
    }
    Opened again(pty.slave());
    EXPECT_NE(again.h, kClosedHandle);
}

TEST(PosixSerial, SpeedsWithAndWithoutBConstant) {
    testsupport::PtyPair pty;
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    // 14400 and 28800 (the start value) have no B-constant on Linux.
    for (std::int32_t baud : {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200, 250000, 31250, 9600}) {
        for (int stopBits : {1, 2}) {
            ASSERT_TRUE(Os().SetLineSettings(port.h, {baud, 8, 2, stopBits})) << baud;
            LineSettings got{};
            ASSERT_TRUE(Os().GetLineSettings(port.h, got));
            EXPECT_EQ(got.baud, baud);
            EXPECT_EQ(got.stopBits, stopBits) << baud;
            EXPECT_EQ(got.dataBits, 8);
        }
    }
}

TEST(PosixSerial, RefusesSettingsItCannotMake) {
    testsupport::PtyPair pty;
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    const LineSettings bad[] = {
        {0, 8, 2, 1}, {-9600, 8, 2, 1}, {9600, 9, 2, 1}, {9600, 4, 2, 1},
        {9600, 8, 5, 1}, {9600, 8, -1, 1}, {9600, 8, 2, 0}, {9600, 8, 2, 3},
    };
    for (const auto& s : bad)
        EXPECT_FALSE(Os().SetLineSettings(port.h, s)) << s.baud << " " << s.dataBits << " " << s.parity << " " << s.stopBits;
    for (int parity = 0; parity <= 4; ++parity) EXPECT_TRUE(Os().SetLineSettings(port.h, {9600, 8, parity, 1})) << parity;
}

TEST(PosixSerial, FailuresAreQuiet) {
    testsupport::PtyPair pty;
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    // No modem lines on a pseudo-terminal: the calls fail and nothing else happens.
    EXPECT_FALSE(Os().SetDtr(port.h, true));
    EXPECT_FALSE(Os().SetRts(port.h, false));

    std::uint8_t buf[4] = {1, 2, 3, 4};
    LineSettings s{};
    for (DeviceHandle h : {kClosedHandle, DeviceHandle{1} << 40}) {
        EXPECT_FALSE(Os().SetDtr(h, true));
        EXPECT_FALSE(Os().SetRts(h, true));
        EXPECT_FALSE(Os().GetLineSettings(h, s));
        EXPECT_FALSE(Os().SetLineSettings(h, {9600, 8, 2, 1}));
        EXPECT_EQ(Os().BytesWaiting(h), 0);
        EXPECT_EQ(Os().Read(h, buf, 4), 0);
        EXPECT_EQ(Os().Write(h, buf, 4), 0);
        EXPECT_FALSE(Os().Purge(h));
        Os().Close(h);
    }
    // Nothing waiting: a read returns at once with nothing.
    EXPECT_EQ(Os().BytesWaiting(port.h), 0);
    EXPECT_EQ(Os().Read(port.h, buf, 4), 0);
}

TEST(PosixSerial, PurgeDiscardsInput) {
    testsupport::PtyPair pty;
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    ASSERT_TRUE(pty.Send({1, 2, 3, 4, 5}));
    ASSERT_TRUE(testsupport::WaitFor([&] { return Os().BytesWaiting(port.h) == 5; }));
    EXPECT_TRUE(Os().Purge(port.h));
    EXPECT_EQ(Os().BytesWaiting(port.h), 0);

    ASSERT_TRUE(pty.Send({6}));
    ASSERT_TRUE(testsupport::WaitFor([&] { return Os().BytesWaiting(port.h) == 1; }));
    std::uint8_t b = 0;
    EXPECT_EQ(Os().Read(port.h, &b, 1), 1);
    EXPECT_EQ(b, 6);
}

// More than the driver's queue holds: Write waits for room and delivers all.
TEST(PosixSerial, WriteWaitsForTheDriver) {
    testsupport::PtyPair pty;
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    std::vector<std::uint8_t> data(256 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ (i >> 8));

    std::vector<std::uint8_t> got;
    std::thread reader([&] { got = pty.Receive(data.size(), 20000); });
    const std::int32_t written = Os().Write(port.h, data.data(), static_cast<std::int32_t>(data.size()));
    reader.join();
    EXPECT_EQ(written, static_cast<std::int32_t>(data.size()));
    EXPECT_TRUE(got == data);
}

// CPU time of this thread, in ms.
double ThreadCpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    const auto us = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000L + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
    return static_cast<double>(us) / 1e3;
}

// The wait for input sleeps in the kernel: it ends with a byte, or after its
// time with next to no CPU spent, also when the far end has hung up.
TEST(PosixSerial, WaitForInputBlocksUntilAByteOrTheTime) {
    testsupport::PtyPair pty;
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    const auto silent = [&](std::uint32_t ms) {
        const std::uint32_t start = platform::OsTickCount();
        const double cpu = ThreadCpuMs();
        EXPECT_FALSE(Os().WaitForInput(port.h, ms));
        EXPECT_GE(platform::OsTickCount() - start, ms);
        EXPECT_LT(ThreadCpuMs() - cpu, 30.0);  // a busy wait would take about all of it
    };
    silent(300);

    std::thread sender([&] {
        platform::OsSleepMs(30);
        pty.Send({0x79});
    });
    const std::uint32_t start = platform::OsTickCount();
    EXPECT_TRUE(Os().WaitForInput(port.h, 20000));
    EXPECT_LT(platform::OsTickCount() - start, 20000u);
    sender.join();
    EXPECT_EQ(Os().BytesWaiting(port.h), 1);
    EXPECT_TRUE(Os().WaitForInput(port.h, 20000));  // still waiting: at once

    std::uint8_t b = 0;
    ASSERT_EQ(Os().Read(port.h, &b, 1), 1);
    pty.CloseMaster();
    silent(200);
    silent(0);
}

// HUPCL cleared: closing the port leaves DTR and RTS as the program set them.
TEST(PosixSerial, OpenClearsHangUpOnClose) {
    testsupport::PtyPair pty;
    {
        const int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        t.c_cflag |= HUPCL;
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
        close(fd);
    }
    Opened port(pty.slave());
    ASSERT_NE(port.h, kClosedHandle);
    ASSERT_TRUE(Os().SetLineSettings(port.h, {115200, 8, 2, 1}));
    termios t{};
    ASSERT_EQ(tcgetattr(static_cast<int>(port.h), &t), 0);
    EXPECT_EQ(t.c_cflag & HUPCL, 0u);
}

// A driver stand-in behind the ioctl seam: modem lines and TIOCGSERIAL /
// TIOCSSERIAL as a USB adapter's driver has them, everything else passed
// on to the pseudo-terminal.
struct FakeDriver {
    enum class Serial { None, LatencyOff, LatencyOn } serial = Serial::None;
    int flags = 0;
    std::string calls;

    static FakeDriver* current;
    static int Ioctl(int fd, unsigned long request, void* arg) { return current->Call(fd, request, arg); }

    int Call(int fd, unsigned long request, void* arg) {
        auto note = [&](const std::string& what) { calls += (calls.empty() ? "" : " ") + what; };
        switch (request) {
            case TIOCEXCL: note("EXCL"); break;
            case TIOCNXCL: note("NXCL"); break;
            case TIOCMBIS:
            case TIOCMBIC: {
                const int bits = *static_cast<int*>(arg);
                note(std::string(bits & TIOCM_DTR ? "DTR" : "RTS") + (request == TIOCMBIS ? "+" : "-"));
                return 0;
            }
            case TIOCGSERIAL:
                note("GET");
                if (serial == Serial::None) {
                    errno = ENOTTY;
                    return -1;
                }
                *static_cast<serial_struct*>(arg) = serial_struct{};
                static_cast<serial_struct*>(arg)->flags = flags;
                return 0;
            case TIOCSSERIAL:
                flags = static_cast<serial_struct*>(arg)->flags;
                note(flags & ASYNC_LOW_LATENCY ? "SET low" : "SET normal");
                return 0;
            default: break;
        }
        return platform::posix::SystemIoctl(fd, request, arg);
    }
};
FakeDriver* FakeDriver::current = nullptr;

TEST(PosixSerial, LowLatencyWhileOpenThenTheDriversFlagsBack) {
    constexpr int kOtherFlags = ASYNC_SKIP_TEST | ASYNC_SPD_HI;
    const struct {
        FakeDriver::Serial serial;
        const char* calls;
        int flagsAfter;
    } cases[] = {
        // A pseudo-terminal has no such call: nothing more is tried.
        {FakeDriver::Serial::None, "EXCL GET DTR+ RTS- DTR- NXCL", 0},
        {FakeDriver::Serial::LatencyOff, "EXCL GET SET low DTR+ RTS- DTR- GET SET normal NXCL", kOtherFlags},
        {FakeDriver::Serial::LatencyOn, "EXCL GET DTR+ RTS- DTR- NXCL", kOtherFlags | ASYNC_LOW_LATENCY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls);
        FakeDriver driver;
        driver.serial = c.serial;
        driver.flags = c.serial == FakeDriver::Serial::LatencyOn ? kOtherFlags | ASYNC_LOW_LATENCY : kOtherFlags;
        FakeDriver::current = &driver;
        platform::posix::SetIoctl(&FakeDriver::Ioctl);
        {
            testsupport::PtyPair pty;
            const DeviceHandle h = Os().Open(pty.slave());
            ASSERT_NE(h, kClosedHandle);
            // The last line changes reach the driver before the port is let go.
            Os().SetDtr(h, true);
            Os().SetRts(h, false);
            Os().SetDtr(h, false);
            Os().Close(h);
        }
        platform::posix::SetIoctl(nullptr);
        EXPECT_EQ(driver.calls, c.calls);
        if (c.serial != FakeDriver::Serial::None) {
            EXPECT_EQ(driver.flags, c.flagsAfter);
        }
    }
}

}  // namespace
