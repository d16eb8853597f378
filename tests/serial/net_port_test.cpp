// Network port names, the COM map naming one, and the margin its waits get.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/net_serial.h"
#include "platform/ports.h"
#include "serial/comport.h"
#include "support/recorders.h"

namespace {

TEST(NetPortNames, WhatIsOpenedAndShown) {
    struct Case {
        const char* name;
        bool network;
        const char* gensio;  // "" where none can be built
        const char* label;
    };
    const Case cases[] = {
        {"rfc2217://rack1:4001", true, "telnet(rfc2217),tcp(nodelay),rack1,4001", "rack1:4001"},
        {"rfc2217://[fd00::7]:4001", true, "telnet(rfc2217),tcp(nodelay),fd00::7,4001", "[fd00::7]:4001"},
        {"rfc2217://rack1", true, "", "rack1"},
        {"rfc2217://rack1:40x1", true, "", "rack1:40x1"},
        {"telnet(rfc2217),ssl(CA=/etc/velkor/ca.pem),tcp,rack1,4101", true,
         "telnet(rfc2217),ssl(CA=/etc/velkor/ca.pem),tcp,rack1,4101", "rack1:4101"},
        {"/dev/ttyUSB0", false, "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"RFC2217://rack1:4001", false, "RFC2217://rack1:4001", "RFC2217://rack1:4001"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::IsNetworkDevice(c.name), c.network) << c.name;
        if (!c.network) continue;
        EXPECT_EQ(platform::GensioString(c.name), c.gensio) << c.name;
        EXPECT_EQ(platform::NetworkLabel(c.name), c.label) << c.name;
    }
}

#if !defined(_WIN32)
TEST(NetPortNames, TheComMapNamesOneByALinksTextOrAFilesFirstLine) {
    testsupport::TempDir dir;
    testsupport::PortsDirScope scope(dir.path());
    std::filesystem::create_symlink("rfc2217://rack1:4001", dir.File("COM5"));
    dir.Write("COM6", "telnet(rfc2217),tcp,rack2,4002\r\n");
    dir.Write("COM7", "no device\n");
    EXPECT_EQ(platform::DeviceName(5), "rfc2217://rack1:4001");
    EXPECT_EQ(platform::DeviceName(6), "telnet(rfc2217),tcp,rack2,4002");
    EXPECT_EQ(platform::DeviceName(7), dir.File("COM7"));
    // Listed without connecting; a plain file is no port.
    EXPECT_TRUE(platform::PortListable(5));
    EXPECT_TRUE(platform::PortListable(6));
    EXPECT_FALSE(platform::PortListable(7));
}
#endif

// Opens whatever it is asked to.
class AnyDevice : public platform::SerialDeviceService {
public:
    platform::DeviceHandle Open(const std::string&) override { return 3; }
    bool GetLineSettings(platform::DeviceHandle, platform::LineSettings&) override { return false; }
    bool SetLineSettings(platform::DeviceHandle, const platform::LineSettings&) override { return false; }
    bool SetDtr(platform::DeviceHandle, bool) override { return true; }
    bool SetRts(platform::DeviceHandle, bool) override { return true; }
    std::int32_t BytesWaiting(platform::DeviceHandle) override { return 0; }
    bool WaitForInput(platform::DeviceHandle, std::uint32_t) override { return false; }
    std::int32_t Read(platform::DeviceHandle, std::uint8_t*, std::int32_t) override { return 0; }
    std::int32_t Write(platform::DeviceHandle, const std::uint8_t*, std::int32_t n) override { return n; }
    bool Purge(platform::DeviceHandle) override { return true; }
    void Close(platform::DeviceHandle) override {}
};

TEST(NetPortWaits, OnlyANetworkPortGetsTheMargin) {
    AnyDevice device;
    platform::SetSerialDevices(&device);
    platform::SetNetWaitMargin(35);
    platform::BindPort(300, "rfc2217://rack1:4001");
    platform::BindPort(301, "/dev/ttyUSB0");
    TComPort port;
    port.SetPort(300);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.AnswerLimit(100), 135u);
    port.SetPort(301);  // reopens
    EXPECT_EQ(port.AnswerLimit(100), 100u);
    platform::SetNetWaitMargin(platform::kDefaultNetMarginMs);
    platform::BindPort(300, "");
    platform::BindPort(301, "");
    platform::SetSerialDevices(nullptr);
}

}  // namespace
