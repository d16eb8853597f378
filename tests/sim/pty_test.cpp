// velkor-sim on a real pseudo-terminal, talked to through the slave.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "bench.h"
#include "sim_process.h"
#include "support/recorders.h"

using simtest::Address;
using simtest::Bytes;
using simtest::Exchange;
using simtest::SimProcess;

namespace {

struct Client {
    explicit Client(const std::string& slave, speed_t speed = B115200) : fd(simtest::OpenSlave(slave, speed)) {}
    ~Client() {
        if (fd >= 0) close(fd);
    }
    Bytes Ask(const Bytes& send, std::size_t want) { return Exchange(fd, send, want); }
    int fd;
};

}  // namespace

TEST(SimPtyTest, ServesThePresetWithOverridesAndSavesTheFlashFile) {
    testsupport::TempDir dir;
    const std::string file = dir.File("flash.bin");
    dir.Write("flash.bin", std::string("\x01\x02\x03\x04", 4));
    SimProcess sim({"--preset", "f407", "--flash-size", "64K", "--id", "0999", "--bl-version", "0x40", "--flash", file,
                    "--no-flash-time"});
    ASSERT_EQ(sim.slave().rfind("/dev/pts/", 0), 0u) << sim.slave();
    Client c(sim.slave());
    ASSERT_GE(c.fd, 0);
    EXPECT_EQ(c.Ask({0x7F}, 1), Bytes{0x79});
    EXPECT_EQ(c.Ask({0x02, 0xFD}, 5), (Bytes{0x79, 0x01, 0x09, 0x99, 0x79}));
    EXPECT_EQ(c.Ask({0x01, 0xFE}, 5), (Bytes{0x79, 0x40, 0x00, 0x00, 0x79}));
    // No reset can be seen on a pty: 0x7F while waiting for a command resynchronises.
    EXPECT_EQ(c.Ask({0x7F}, 1), Bytes{0x79});

    ASSERT_EQ(c.Ask({0x11, 0xEE}, 1), Bytes{0x79});
    ASSERT_EQ(c.Ask(Address(0x08000000), 1), Bytes{0x79});
    EXPECT_EQ(c.Ask({0x03, 0xFC}, 5), (Bytes{0x79, 0x01, 0x02, 0x03, 0x04}));  // loaded at start
    ASSERT_EQ(c.Ask({0x11, 0xEE}, 1), Bytes{0x79});
    EXPECT_EQ(c.Ask(Address(0x08010000), 1), Bytes{0x1F});  // beyond the 64 KiB

    ASSERT_EQ(c.Ask({0x31, 0xCE}, 1), Bytes{0x79});
    ASSERT_EQ(c.Ask(Address(0x08000004), 1), Bytes{0x79});
    EXPECT_EQ(c.Ask({0x03, 0xAA, 0xBB, 0xCC, 0xDD, 0x03 ^ 0xAA ^ 0xBB ^ 0xCC ^ 0xDD}, 1), Bytes{0x79});
    std::string saved = dir.Read("flash.bin");
    ASSERT_EQ(saved.size(), 64u * 1024);
    EXPECT_EQ(saved.substr(0, 8), std::string("\x01\x02\x03\x04\xAA\xBB\xCC\xDD", 8));

    ASSERT_EQ(c.Ask({0x44, 0xBB}, 1), Bytes{0x79});
    EXPECT_EQ(c.Ask({0xFF, 0xFF, 0x00}, 1), Bytes{0x79});
    EXPECT_EQ(dir.Read("flash.bin"), std::string(64 * 1024, '\xFF'));
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimPtyTest, LinksThePortBesideTheProgramAndRemovesItAtExit) {
    const std::int32_t n = 5000 + static_cast<std::int32_t>(getpid() % 4000);
    const std::filesystem::path link =
        std::filesystem::path(simtest::SimPath()).parent_path() / "ports" / ("COM" + std::to_string(n));
    SimProcess sim({"--link", std::to_string(n)});
    ASSERT_FALSE(sim.slave().empty());
    EXPECT_EQ(std::filesystem::read_symlink(link), std::filesystem::path(sim.slave()));
    Client c(link.string());
    EXPECT_EQ(c.Ask({0x7F}, 1), Bytes{0x79});
    EXPECT_EQ(sim.Stop(SIGINT), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));
}

TEST(SimPtyTest, ReadoutProtectedStartAndHangUp) {
    SimProcess sim({"--protected", "--hang-up-after", "5"});
    Client c(sim.slave());
    EXPECT_EQ(c.Ask({0x7F}, 1), Bytes{0x79});
    EXPECT_EQ(c.Ask({0x11, 0xEE}, 1), Bytes{0x1F});
    EXPECT_EQ(c.Ask({0x00, 0xFF}, 15), Bytes{});  // the fifth byte hangs the line up
    std::uint8_t b = 0;
    EXPECT_LE(read(c.fd, &b, 1), 0);
}

TEST(SimPtyTest, WireTimeAtTheClientsSpeed) {
    SimProcess sim({"--wire-time"});
    Client c(sim.slave(), B9600);
    ASSERT_EQ(c.Ask({0x7F}, 1), Bytes{0x79});
    ASSERT_EQ(c.Ask({0x11, 0xEE}, 1), Bytes{0x79});
    ASSERT_EQ(c.Ask(Address(0x08000000), 1), Bytes{0x79});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Ask({0xFF, 0x00}, 257).size(), 257u);
    // 259 bytes of 11 bits at 9600 Bd: 297 ms at least.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
}

TEST(SimPtyTest, LatencyTimerHoldsWhatDoesNotFillAUsbPacket) {
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    SimProcess sim({"--latency-timer", "250"});
    Client c(sim.slave());
    auto start = steady_clock::now();
    ASSERT_EQ(c.Ask({0x7F}, 1), Bytes{0x79});
    EXPECT_GE(steady_clock::now() - start, milliseconds(245));
    ASSERT_EQ(c.Ask({0x11, 0xEE}, 1), Bytes{0x79});
    ASSERT_EQ(c.Ask(Address(0x08000000), 1), Bytes{0x79});
    // ACK and 256 bytes: four full packets at once, the last 9 bytes when the
    // timer runs out.
    const Bytes send{0xFF, 0x00};
    ASSERT_EQ(write(c.fd, send.data(), send.size()), 2);
    start = steady_clock::now();
    EXPECT_EQ(simtest::Exchange(c.fd, {}, 248).size(), 248u);
    // A generous share of the timer, for a busy machine.
    EXPECT_LT(steady_clock::now() - start, milliseconds(200));
    EXPECT_EQ(simtest::Exchange(c.fd, {}, 9).size(), 9u);
    EXPECT_GE(steady_clock::now() - start, milliseconds(245));
}

TEST(SimPtyTest, HelpTellsTheResetRuleAndBadOptionsFail) {
    std::string out;
    EXPECT_EQ(simtest::Run({simtest::SimPath(), "--help"}, out), 0);
    EXPECT_NE(out.find("a 0x7F received while the bootloader waits for a command"), std::string::npos) << out;
    out.clear();
    EXPECT_EQ(simtest::Run({simtest::SimPath(), "--preset", "f999"}, out), 2);
    EXPECT_NE(out.find("unknown preset"), std::string::npos);
}
