// Which ports the list shows without opening any device, and why an open
// failed, on pseudo-terminals, links in a ports folder and a fake sysfs.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/ports.h"
#include "platform/serial_device.h"
#include "support/pty_pair.h"
#include "support/recorders.h"
#include "support/unprivileged.h"

namespace {

namespace fs = std::filesystem;

platform::SerialDeviceService& Os() { return platform::OsSerialDevices(); }

// Points the sysfs tty folder elsewhere for its lifetime.
struct SysfsScope {
    explicit SysfsScope(const std::string& dir) { platform::SetSysfsTtyDir(dir); }
    ~SysfsScope() { platform::SetSysfsTtyDir("/sys/class/tty"); }
};

class PortsOnThisMachine : public ::testing::Test {
protected:
    void Link(std::int32_t port, const std::string& target) {
        fs::create_symlink(target, ports_.File("COM" + std::to_string(port)));
    }
    testsupport::TempDir ports_;
    testsupport::PortsDirScope scope_{ports_.path()};
};

TEST_F(PortsOnThisMachine, ListedWithoutOpening) {
    testsupport::PtyPair pty;
    testsupport::TempDir root;
    fs::create_directories(root.File("dev"));
    fs::create_directories(root.File("by-id"));
    fs::create_directories(root.File("devices/usb1/1-1:1.0"));
    fs::create_directories(root.File("devices/platform/serial8250"));
    // A USB adapter, a legacy ttyS port without a UART, and a tty sysfs
    // knows without a device.
    for (const char* name : {"ttyUSB0", "ttyS0", "ttyS1"}) fs::create_directories(root.File("tty/") + name);
    fs::create_directory_symlink("../../devices/usb1/1-1:1.0", root.File("tty/ttyUSB0/device"));
    fs::create_directory_symlink("../../devices/platform/serial8250", root.File("tty/ttyS0/device"));
    SysfsScope sysfs(root.File("tty"));

    bool nodes = true;
    for (const char* name : {"ttyUSB0", "ttyS0", "ttyS1", "null"})
        nodes = nodes && mknod((root.File("dev/") + name).c_str(), S_IFCHR | 0660, makedev(1, 3)) == 0;
    fs::create_symlink("../dev/ttyUSB0", root.File("by-id/usb-adapter-if00"));
    root.Write("dev/plain", "not a device");

    Link(1, pty.slave());
    Link(2, ports_.File("missing"));
    Link(3, root.File("dev/plain"));
    Link(4, root.File("dev/ttyUSB0"));
    Link(5, root.File("dev/ttyS0"));
    Link(6, root.File("dev/ttyS1"));
    Link(7, root.File("by-id/usb-adapter-if00"));  // judged as what the chain ends on
    Link(8, root.File("dev/null"));                // a character device, but no tty
    EXPECT_TRUE(platform::PortListable(1));
    EXPECT_FALSE(platform::PortListable(2));
    EXPECT_FALSE(platform::PortListable(3));
    EXPECT_FALSE(platform::PortListable(250));  // no device at all
    if (!nodes) GTEST_SKIP() << "no device nodes can be made here (needs CAP_MKNOD)";
    EXPECT_TRUE(platform::PortListable(4));
    EXPECT_FALSE(platform::PortListable(5));
    EXPECT_FALSE(platform::PortListable(6));
    EXPECT_TRUE(platform::PortListable(7));
    EXPECT_FALSE(platform::PortListable(8));
}

TEST_F(PortsOnThisMachine, AFailedOpenSaysWhy) {
    testsupport::PtyPair pty;
    Link(1, ports_.File("missing"));
    Link(2, pty.slave());
    EXPECT_EQ(platform::OpenFailureReason(2), "");  // nothing failed yet

    EXPECT_EQ(Os().Open(platform::DeviceName(1)), platform::kClosedHandle);
    EXPECT_EQ(platform::OpenFailureReason(1), "Gerät nicht vorhanden");

    const platform::DeviceHandle held = Os().Open(platform::DeviceName(2));
    ASSERT_NE(held, platform::kClosedHandle);
    EXPECT_EQ(Os().Open(platform::DeviceName(2)), platform::kClosedHandle);
    const std::string me = testsupport::ReadFile("/proc/self/comm");
    EXPECT_EQ(platform::OpenFailureReason(2),
              "belegt von " + me.substr(0, me.find('\n')) + " (PID " + std::to_string(getpid()) + ")");
    Os().Close(held);
    const platform::DeviceHandle again = Os().Open(platform::DeviceName(2));
    EXPECT_NE(again, platform::kClosedHandle);
    EXPECT_EQ(platform::OpenFailureReason(2), "");  // an open that succeeds clears it
    Os().Close(again);
}

// As a user outside the device's group: neither listed nor opened, and the
// reason names the group to join.
TEST_F(PortsOnThisMachine, PermissionDeniedNamesTheDevicesGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a device of another group and to drop to nobody";
    const group* dialout = getgrnam("dialout");
    if (!dialout) GTEST_SKIP() << "no group dialout";
    testsupport::PtyPair pty;
    ASSERT_EQ(chown(pty.slave().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(pty.slave().c_str(), 0660), 0);
    Link(3, pty.slave());
    fs::permissions(ports_.path(), fs::perms::all);

    testsupport::Unprivileged user;
    const std::string seen = user.Run([] {
        std::string s = platform::PortListable(3) ? "listed" : "not listed";
        s += Os().Open(platform::DeviceName(3)) == platform::kClosedHandle ? ", refused: " : ", opened: ";
        return s + platform::OpenFailureReason(3);
    });
    if (user.skipped()) GTEST_SKIP() << user.why();
    EXPECT_EQ(seen, "not listed, refused: keine Berechtigung: Benutzer in die Gruppe dialout aufnehmen, dann neu anmelden");
}

}  // namespace
