// TComPort against a recording device: what it asks of the platform and when.
#include <gtest/gtest.h>

#include <string>

#include "platform/ports.h"
#include "serial/comport.h"
#include "support/scripted_device.h"

using testsupport::ScriptedDevice;
using Op = ScriptedDevice::Op;

namespace {

std::string Settings(const platform::LineSettings& s) {
    return std::to_string(s.baud) + "/" + std::to_string(s.dataBits) + "/" + std::to_string(s.parity) + "/" +
           std::to_string(s.stopBits);
}

TEST(ComPort, StartValuesOpenNothing) {
    ScriptedDevice device;
    TComPort port;
    EXPECT_EQ(port.Baud(), 9600);
    EXPECT_EQ(port.Port(), 1);
    EXPECT_EQ(port.Parity(), 0);
    EXPECT_FALSE(port.Local());
    EXPECT_FALSE(port.Opened());
    EXPECT_TRUE(device.events.empty());
}

TEST(ComPort, OpenSetsSpeedParityEightBitsOneStop) {
    ScriptedDevice device;
    platform::BindPort(7, "/dev/pts/77");
    TComPort port;
    port.SetPort(7);
    port.SetBaud(28800);
    port.SetParity(2);
    EXPECT_TRUE(device.events.empty());  // setters on a closed port wait for Open

    ASSERT_TRUE(port.Open());
    ASSERT_EQ(device.Count(Op::SetSettings), 1);
    EXPECT_EQ(device.events[0].name, "/dev/pts/77");
    EXPECT_EQ(Settings(device.events.back().settings), "28800/8/2/1");
    // Open leaves the control lines and the queues alone.
    EXPECT_EQ(device.Count(Op::Dtr) + device.Count(Op::Rts) + device.Count(Op::Purge), 0);
    platform::BindPort(7, "");
}

TEST(ComPort, SettingsFailuresLeaveThePortOpen) {
    ScriptedDevice device;
    TComPort port;
    device.failGetSettings = true;
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(port.Opened());
    EXPECT_EQ(device.Count(Op::SetSettings), 0);  // nothing to write back

    device.failGetSettings = false;
    device.failSetSettings = true;
    EXPECT_TRUE(port.Open());  // reopens
    EXPECT_TRUE(port.Opened());
    EXPECT_EQ(device.Count(Op::Close), 1);
}

TEST(ComPort, FailedOpenStaysClosed) {
    ScriptedDevice device;
    device.failOpen = true;
    TComPort port;
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.Opened());
    EXPECT_EQ(device.Count(Op::GetSettings), 0);
}

TEST(ComPort, SettersReopenOnlyOnChange) {
    ScriptedDevice device;
    TComPort port;
    ASSERT_TRUE(port.Open());
    device.ClearEvents();

    port.SetBaud(9600);
    port.SetPort(1);
    port.SetParity(0);
    port.SetLocal(true);
    EXPECT_TRUE(device.events.empty());

    port.SetBaud(115200);
    port.SetParity(2);
    port.SetPort(4);
    EXPECT_EQ(device.Count(Op::Close), 3);
    EXPECT_EQ(device.Count(Op::Open), 3);
    ASSERT_EQ(device.Count(Op::SetSettings), 3);
    EXPECT_EQ(device.events.back().op, Op::SetSettings);
    EXPECT_EQ(Settings(device.events.back().settings), "115200/8/2/1");
    EXPECT_TRUE(port.Opened());

    // A failed reopen leaves the port closed; a closed port takes values silently.
    device.failOpen = true;
    port.SetBaud(57600);
    EXPECT_FALSE(port.Opened());
    device.ClearEvents();
    port.SetPort(9);
    port.SetBaud(2400);
    EXPECT_TRUE(device.events.empty());
    device.failOpen = false;
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(device.events[0].name, platform::DeviceName(9));
    EXPECT_EQ(Settings(device.events.back().settings), "2400/8/2/1");
}

TEST(ComPort, ClosedPort) {
    ScriptedDevice device;
    TComPort port;
    port.SetLocal(true);
    EXPECT_EQ(port.ReadByte(), 0);
    EXPECT_EQ(port.ReadChar(), 0);
    EXPECT_TRUE(port.WriteByte(0x7F));
    EXPECT_EQ(port.WriteString("abc"), 0);
    EXPECT_EQ(port.InCount(), 0);  // nothing echoed
    port.Purge();
    port.Close();
    EXPECT_TRUE(device.events.empty());
    // Modem-line calls go out with the closed handle and fail there.
    EXPECT_FALSE(port.SetDTR(true));
    EXPECT_FALSE(port.SetRTS(false));
}

TEST(ComPort, BufferSurvivesCloseAndPurgeEmptiesIt) {
    ScriptedDevice device;
    TComPort port;
    ASSERT_TRUE(port.Open());
    device.ArriveAfter(0, {1, 2, 3});
    EXPECT_EQ(port.ReadByte(), 1);
    port.Close();
    EXPECT_EQ(port.InCount(), 2);
    EXPECT_EQ(port.ReadByte(), 2);

    device.ClearEvents();
    port.Purge();  // closed: buffer only
    EXPECT_EQ(port.InCount(), 0);
    EXPECT_EQ(port.ReadByte(), 0);
    EXPECT_EQ(device.Count(Op::Purge), 0);

    ASSERT_TRUE(port.Open());
    port.Purge();
    EXPECT_EQ(device.Count(Op::Purge), 1);
}

TEST(ComPort, FailedWritesStillEcho) {
    ScriptedDevice device;
    TComPort port;
    port.SetLocal(true);
    ASSERT_TRUE(port.Open());
    device.ClearEvents();
    // The device went away under the open port: writes fail, the echo stays.
    device.Close(1);
    EXPECT_FALSE(port.WriteByte('x'));
    EXPECT_EQ(port.WriteString("yz"), 0);  // nothing written, nothing echoed
    ASSERT_EQ(port.InCount(), 1);
    EXPECT_EQ(port.ReadByte(), 'x');
}

}  // namespace
