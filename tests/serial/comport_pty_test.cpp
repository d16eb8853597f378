// TComPort over the real serial service and a pseudo-terminal: the test holds
// the master end, the port opens the slave by a COM number.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/ports.h"
#include "serial/comport.h"
#include "support/pty_pair.h"
#include "support/recorders.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::WaitFor;

constexpr std::int32_t kPortNr = 42;

// Every byte value, then the ones a terminal likes to act on, in the
// combinations it would translate (CR LF, LF CR, CR CR) and XON/XOFF.
Bytes AwkwardBytes() {
    Bytes b;
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
    for (int x : {0x0D, 0x0A, 0x0A, 0x0D, 0x0D, 0x0D, 0x11, 0x13, 0x13, 0x11, 0xFF, 0xFF, 0x00, 0x04, 0x03,
                  0x1A, 0x7F, 0x79, 0x1F, 0x0A})
        b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

class ComPortPty : public ::testing::Test {
protected:
    void SetUp() override {
        platform::BindPort(kPortNr, pty_.slave());
        port_.SetPort(kPortNr);
        port_.SetParity(2);
        port_.SetBaud(28800);
        ASSERT_TRUE(port_.Open());
    }
    void TearDown() override { platform::BindPort(kPortNr, ""); }

    // Everything the port has to give, waiting up to the limit for n bytes.
    Bytes ReadFromPort(std::size_t n) {
        Bytes got;
        WaitFor([&] {
            while (port_.InCount() > 0) got.push_back(port_.ReadByte());
            return got.size() >= n;
        });
        return got;
    }

    testsupport::PtyPair pty_;
    TComPort port_;
};

TEST_F(ComPortPty, AllByteValuesPassBothWays) {
    const Bytes data = AwkwardBytes();
    const std::string text(data.begin(), data.end());

    EXPECT_EQ(port_.WriteString(text), static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(pty_.Receive(data.size()), data);

    for (std::uint8_t b : data) EXPECT_TRUE(port_.WriteByte(b));
    EXPECT_EQ(pty_.Receive(data.size()), data);

    ASSERT_TRUE(pty_.Send(data));
    EXPECT_EQ(ReadFromPort(data.size()), data);
    // Nothing came back to the sender: the driver doesn't echo.
    EXPECT_EQ(pty_.Waiting(), 0);
}

TEST_F(ComPortPty, InCountAddsBufferAndDriver) {
    ASSERT_TRUE(pty_.Send({10, 11, 12, 13, 14, 15}));
    ASSERT_TRUE(WaitFor([&] { return port_.InCount() == 6; }));
    EXPECT_EQ(port_.ReadByte(), 10);  // fetches all six, hands out one
    ASSERT_TRUE(pty_.Send({16, 17, 18}));
    ASSERT_TRUE(WaitFor([&] { return port_.InCount() == 8; }));  // 5 unread + 3 in the driver
    EXPECT_EQ(ReadFromPort(8), (Bytes{11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_EQ(port_.InCount(), 0);
    EXPECT_EQ(port_.ReadByte(), 0);
}

TEST_F(ComPortPty, LocalEchoComesBeforeReceivedBytes) {
    port_.SetLocal(true);
    ASSERT_TRUE(pty_.Send({0x79}));
    ASSERT_TRUE(WaitFor([&] { return port_.InCount() == 1; }));
    EXPECT_EQ(port_.WriteString("abc"), 3);
    EXPECT_EQ(port_.InCount(), 4);
    EXPECT_EQ(ReadFromPort(4), (Bytes{'a', 'b', 'c', 0x79}));
    EXPECT_EQ(pty_.Receive(3), (Bytes{'a', 'b', 'c'}));  // and they went out
}

TEST_F(ComPortPty, LocalEchoStopsAt16382) {
    port_.SetLocal(true);
    Bytes data(16384 + 10);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    Bytes sent;
    std::thread reader([&] { sent = pty_.Receive(data.size()); });
    EXPECT_EQ(port_.WriteString(std::string(data.begin(), data.end())), static_cast<std::int32_t>(data.size()));
    reader.join();
    EXPECT_EQ(sent, data);  // all went out even so
    EXPECT_EQ(port_.InCount(), 16382);

    ASSERT_TRUE(pty_.Send({0xA5}));
    const Bytes got = ReadFromPort(16383);
    ASSERT_EQ(got.size(), 16383u);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 16382, data.begin()));
    EXPECT_EQ(got.back(), 0xA5);
}

TEST_F(ComPortPty, PurgeEmptiesBufferAndDriver) {
    ASSERT_TRUE(pty_.Send({1, 2, 3, 4}));
    ASSERT_TRUE(WaitFor([&] { return port_.InCount() == 4; }));
    EXPECT_EQ(port_.ReadByte(), 1);
    ASSERT_TRUE(pty_.Send({5, 6}));
    ASSERT_TRUE(WaitFor([&] { return port_.InCount() == 5; }));
    port_.Purge();
    EXPECT_EQ(port_.InCount(), 0);
    ASSERT_TRUE(pty_.Send({7}));
    EXPECT_EQ(ReadFromPort(1), Bytes{7});
}

TEST_F(ComPortPty, ReopenOnChangeKeepsTheLink) {
    ASSERT_TRUE(pty_.Send({1, 2}));
    ASSERT_TRUE(WaitFor([&] { return port_.InCount() == 2; }));
    EXPECT_EQ(port_.ReadByte(), 1);
    port_.SetBaud(115200);  // closes and opens the device again
    ASSERT_TRUE(port_.Opened());
    EXPECT_EQ(port_.ReadByte(), 2);  // the receive buffer outlives the reopen
    EXPECT_EQ(port_.WriteString("ok"), 2);
    EXPECT_EQ(pty_.Receive(2), (Bytes{'o', 'k'}));
}

TEST(ComPortPtyPorts, OpensThroughThePortsFolder) {
    testsupport::PtyPair pty;
    testsupport::TempDir dir;
    std::filesystem::create_symlink(pty.slave(), dir.File("COM5"));
    testsupport::PortsDirScope ports(dir.path());

    TComPort port;
    port.SetPort(0);
    EXPECT_FALSE(port.Open());  // no device
    port.SetPort(5);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.WriteString("\x7F"), 1);
    EXPECT_EQ(pty.Receive(1), Bytes{0x7F});

    // A second component can't have the port at the same time.
    TComPort other;
    other.SetPort(5);
    EXPECT_FALSE(other.Open());
    port.Close();
    EXPECT_TRUE(other.Open());
}

}  // namespace
