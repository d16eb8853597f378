// The Win32 serial service against a COM port whose far end echoes.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "platform/serial_device.h"
#include "serial/comport.h"
#include "support/wait_for.h"

namespace {

using platform::DeviceHandle;
using platform::kClosedHandle;
using platform::OsSerialDevices;

constexpr int kArrivalLimitMs = 10000;

std::int32_t LoopbackPort() {
    const char* v = std::getenv("VELKOR_LOOPBACK_PORT");
    return v ? std::atoi(v) : 0;
}

bool WaitFor(const std::function<bool()>& cond) { return testsupport::WaitFor(cond, kArrivalLimitMs); }

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = LoopbackPort();
        if (port_ <= 0) GTEST_SKIP() << "VELKOR_LOOPBACK_PORT names no echoing COM port";
        h_ = OsSerialDevices().Open(platform::DeviceName(port_));
        ASSERT_NE(h_, kClosedHandle) << platform::DeviceName(port_);
    }
    void TearDown() override {
        if (h_ != kClosedHandle) OsSerialDevices().Close(h_);
    }
    std::vector<std::uint8_t> Receive(std::size_t n) {
        std::vector<std::uint8_t> got;
        WaitFor([&] {
            std::uint8_t buf[512];
            const std::int32_t waiting = OsSerialDevices().BytesWaiting(h_);
            if (waiting > 0) {
                const std::int32_t r = OsSerialDevices().Read(h_, buf, std::min<std::int32_t>(waiting, 512));
                got.insert(got.end(), buf, buf + std::max(r, 0));
            }
            return got.size() >= n;
        });
        return got;
    }
    std::int32_t port_ = 0;
    DeviceHandle h_ = kClosedHandle;
};

TEST_F(Loopback, LineSettingsAreWrittenBackAndReadAgain) {
    platform::LineSettings s;
    ASSERT_TRUE(OsSerialDevices().GetLineSettings(h_, s));
    s.baud = 57600;
    s.dataBits = 8;
    s.parity = 2;
    s.stopBits = 1;
    ASSERT_TRUE(OsSerialDevices().SetLineSettings(h_, s));
    platform::LineSettings back;
    ASSERT_TRUE(OsSerialDevices().GetLineSettings(h_, back));
    EXPECT_EQ(back.baud, 57600);
    EXPECT_EQ(back.dataBits, 8);
    EXPECT_EQ(back.stopBits, 1);
    // A pseudo-terminal always reports no parity, so that one isn't read back.
}

TEST_F(Loopback, RefusesSettingsTheDeviceBlockCannotHold) {
    platform::LineSettings s;
    s.parity = 258;  // would be truncated into even parity
    EXPECT_FALSE(OsSerialDevices().SetLineSettings(h_, s));
    s = {};
    s.stopBits = 3;
    EXPECT_FALSE(OsSerialDevices().SetLineSettings(h_, s));
    s = {};
    s.baud = -9600;
    EXPECT_FALSE(OsSerialDevices().SetLineSettings(h_, s));
}

TEST_F(Loopback, EveryByteValuePassesUnchanged) {
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(OsSerialDevices().Write(h_, all.data(), 256), 256);
    EXPECT_EQ(Receive(256), all);
}

// The driver keeps what its last user set: XON/XOFF would swallow 0x11 and
// 0x13, null stripping every 0x00, and flow control could hold output back.
TEST_F(Loopback, OpenMakesTheLineRawWhateverTheLastUserLeft) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(reinterpret_cast<HANDLE>(h_), &dcb));
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fNull = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(reinterpret_cast<HANDLE>(h_), &dcb));
    OsSerialDevices().Close(h_);
    h_ = OsSerialDevices().Open(platform::DeviceName(port_));
    ASSERT_NE(h_, kClosedHandle);

    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(reinterpret_cast<HANDLE>(h_), &dcb));
    EXPECT_FALSE(dcb.fOutX || dcb.fInX || dcb.fNull || dcb.fErrorChar || dcb.fAbortOnError);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(reinterpret_cast<HANDLE>(h_), &t));
    EXPECT_GT(t.WriteTotalTimeoutConstant, 0u);  // a stalled line can't hang a write

    const std::vector<std::uint8_t> out = {0x00, 0x13, 0x7F, 0x11, 0x00};
    ASSERT_EQ(OsSerialDevices().Write(h_, out.data(), static_cast<std::int32_t>(out.size())), 5);
    EXPECT_EQ(Receive(out.size()), out);
}

TEST_F(Loopback, ReadWithNothingWaitingReturnsAtOnce) {
    std::uint8_t buf[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OsSerialDevices().Read(h_, buf, 16), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(Loopback, ReadAsksForMoreThanWaitingAndGetsWhatIsThere) {
    const std::uint8_t out[3] = {0x7F, 0x0D, 0x0A};
    ASSERT_EQ(OsSerialDevices().Write(h_, out, 3), 3);
    ASSERT_TRUE(WaitFor([&] { return OsSerialDevices().BytesWaiting(h_) == 3; }));
    std::uint8_t buf[64];
    EXPECT_EQ(OsSerialDevices().Read(h_, buf, 64), 3);
    EXPECT_EQ(OsSerialDevices().BytesWaiting(h_), 0);
}

TEST_F(Loopback, PurgeDiscardsTheInputQueue) {
    const std::uint8_t out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(OsSerialDevices().Write(h_, out, 8), 8);
    ASSERT_TRUE(WaitFor([&] { return OsSerialDevices().BytesWaiting(h_) == 8; }));
    EXPECT_TRUE(OsSerialDevices().Purge(h_));
    EXPECT_EQ(OsSerialDevices().BytesWaiting(h_), 0);
}

TEST_F(Loopback, ComPortHandsOutABurstByteByByte) {
    OsSerialDevices().Close(h_);
    h_ = kClosedHandle;
    TComPort com;
    com.SetPort(port_);
    com.SetBaud(115200);
    com.SetParity(2);
    ASSERT_TRUE(com.Open());
    EXPECT_EQ(com.WriteString(std::string("\x79\x00\x1F", 3)), 3);
    ASSERT_TRUE(WaitFor([&] { return com.InCount() == 3; }));
    EXPECT_EQ(com.ReadByte(), 0x79);
    EXPECT_EQ(com.InCount(), 2);
    EXPECT_EQ(com.ReadByte(), 0x00);
    EXPECT_EQ(com.ReadByte(), 0x1F);
    EXPECT_EQ(com.InCount(), 0);
}

// The wait reads its first byte ahead with a time-out; that byte counts as
// waiting and comes first at the next read, and a purge drops it.
TEST_F(Loopback, WaitForInputBlocksUntilAByteOrTheTime) {
    auto& s = OsSerialDevices();
    DWORD start = GetTickCount();
    EXPECT_FALSE(s.WaitForInput(h_, 200));
    EXPECT_GE(GetTickCount() - start, 184u);  // the system timer ticks in up to 16 ms
    std::uint8_t buf[8] = {};
    EXPECT_EQ(s.Read(h_, buf, 8), 0);  // reads return at once again

    const std::uint8_t out[3] = {0x79, 0x1F, 0x79};
    ASSERT_EQ(s.Write(h_, out, 3), 3);
    start = GetTickCount();
    EXPECT_TRUE(s.WaitForInput(h_, kArrivalLimitMs));
    EXPECT_LT(GetTickCount() - start, static_cast<DWORD>(kArrivalLimitMs));
    ASSERT_TRUE(WaitFor([&] { return s.BytesWaiting(h_) == 3; }));
    EXPECT_TRUE(s.WaitForInput(h_, kArrivalLimitMs));
    EXPECT_EQ(s.Read(h_, buf, 8), 3);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 3), std::vector<std::uint8_t>(out, out + 3));

    ASSERT_EQ(s.Write(h_, out, 1), 1);
    ASSERT_TRUE(s.WaitForInput(h_, kArrivalLimitMs));
    EXPECT_TRUE(s.Purge(h_));
    EXPECT_EQ(s.BytesWaiting(h_), 0);
}

TEST(Win32Serial, MissingPortDoesNotOpenAndSaysWhy) {
    EXPECT_EQ(OsSerialDevices().Open(platform::WindowsDeviceName(97)), kClosedHandle);
    EXPECT_FALSE(platform::OpenFailureReason(97).empty());
    EXPECT_EQ(OsSerialDevices().Open("\\\\.\\COM0"), kClosedHandle);
}

TEST(Win32Serial, ClosedHandleFailsQuietly) {
    auto& s = OsSerialDevices();
    platform::LineSettings ls;
    EXPECT_FALSE(s.GetLineSettings(kClosedHandle, ls));
    EXPECT_FALSE(s.SetDtr(kClosedHandle, true));
    EXPECT_EQ(s.BytesWaiting(kClosedHandle), 0);
    std::uint8_t b = 0;
    EXPECT_EQ(s.Read(kClosedHandle, &b, 1), 0);
    EXPECT_EQ(s.Write(kClosedHandle, &b, 1), 0);
    EXPECT_FALSE(s.Purge(kClosedHandle));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(s.WaitForInput(kClosedHandle, 100));
    EXPECT_GE(GetTickCount() - start, 84u);  // sat out, not returned at once
    s.Close(kClosedHandle);
}

}  // namespace
