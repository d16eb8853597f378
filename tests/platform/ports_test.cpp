// Which device a COM port number stands for.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/ports.h"
#include "platform/textfile.h"
#include "support/recorders.h"

namespace {

namespace fs = std::filesystem;

// The number in force is a link's name; the link itself need not resolve.
bool MakeLink(const std::string& target, const std::string& link) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
}

std::string InDir(const testsupport::TempDir& dir, const char* name) { return (fs::path(dir.path()) / name).string(); }

TEST(Ports, DefaultFolderIsBesideTheExecutable) {
    const std::string dir = platform::ExecutableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(dir.back() == '/' || dir.back() == '\\');
    EXPECT_TRUE(platform::FileExists(dir + "platform_ports_test") || platform::FileExists(dir + "platform_ports_test.exe"));
    EXPECT_EQ(platform::PortsDir(), dir + "ports");
}

TEST(Ports, FixedTableWithoutLinks) {
    testsupport::TempDir empty;
    testsupport::PortsDirScope ports(empty.path());
    const struct {
        std::int32_t port;
        const char* path;
    } cases[] = {
        {1, "/dev/ttyS0"},     {2, "/dev/ttyS1"},      {32, "/dev/ttyS31"},   {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"},   {96, "/dev/ttyACM31"}, {97, "/dev/ttyAMA0"},
        {98, "/dev/ttyAMA1"},  {99, "/dev/ttyAMA2"},   {0, ""},               {100, ""},
        {-1, ""},              {2147483647, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::PosixDevicePath(c.port), c.path) << "COM" << c.port;
}

TEST(Ports, LinkInThePortsFolderWins) {
    testsupport::TempDir dir;
    testsupport::PortsDirScope ports(dir.path());
    if (!MakeLink("/dev/ttyUSB3", dir.File("COM1"))) GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(MakeLink("/dev/serial/by-id/usb-adapter-if00", dir.File("COM100")));
    ASSERT_TRUE(MakeLink("/dev/pts/7", dir.File("COM07")));  // not the name of port 7

    EXPECT_EQ(platform::PosixDevicePath(1), InDir(dir, "COM1"));
    EXPECT_EQ(platform::PosixDevicePath(100), InDir(dir, "COM100"));  // outside the table: the link is the only way
    EXPECT_EQ(platform::PosixDevicePath(7), "/dev/ttyS6");
    EXPECT_EQ(platform::PosixDevicePath(2), "/dev/ttyS1");
}

TEST(Ports, BindingBeatsTheFolderUntilRemoved) {
    testsupport::TempDir dir;
    testsupport::PortsDirScope ports(dir.path());
    if (!MakeLink("/dev/ttyUSB3", dir.File("COM5"))) GTEST_SKIP() << "no symbolic links here";

    platform::BindPort(5, "/dev/pts/9");
    platform::BindPort(0, "/dev/pts/10");
    EXPECT_EQ(platform::PosixDevicePath(5), "/dev/pts/9");
    EXPECT_EQ(platform::PosixDevicePath(0), "/dev/pts/10");
    EXPECT_EQ(platform::PosixDevicePath(6), "/dev/ttyS5");

    platform::BindPort(5, "");
    platform::BindPort(0, "");
    EXPECT_EQ(platform::PosixDevicePath(5), InDir(dir, "COM5"));
    EXPECT_EQ(platform::PosixDevicePath(0), "");
}

TEST(Ports, WindowsNames) {
    const struct {
        std::int32_t port;
        const char* name;
    } cases[] = {
        {3, "COM3"}, {9, "COM9"}, {10, "\\\\.\\COM10"}, {12, "\\\\.\\COM12"}, {105, "\\\\.\\COM105"}, {0, "COM0"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::WindowsDeviceName(c.port), c.name) << c.port;
}

}  // namespace
