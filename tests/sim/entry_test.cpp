// Reset, boot mode, synchronisation and the framing the chip understands.
#include <gtest/gtest.h>

#include "bench.h"
#include "bootloader/lolevel.h"
#include "platform/ports.h"
#include "platform/clock.h"
#include "sim/virtual_clock.h"

using simtest::Bench;
using simtest::Bytes;
using State = sim::Chip::State;

TEST(SimClockTest, PollsAdvanceAndTheTickViewWrapsAlone) {
    sim::VirtualClock clock(20);
    EXPECT_EQ(clock.NowMs(), 0u);
    for (int i = 0; i < 49; ++i) clock.NowMs();
    EXPECT_EQ(clock.NowMs(), 1u);  // 50 polls of 20 us
    clock.SetNowMs(0xFFFFFFF0u);
    const std::uint64_t before = clock.NowUs();
    platform::SetTickSource(&clock);
    const std::uint32_t start = platform::TickCount();
    while (platform::Within(start, 100)) {
    }
    platform::SetTickSource(nullptr);
    EXPECT_LT(clock.NowMs(), 100u);  // wrapped
    EXPECT_NEAR(static_cast<double>(clock.NowUs() - before), 100'000.0, 100.0);
}

TEST(SimEntryTest, ConnectEntersTheBootloaderWithTheDefaultWiring) {
    Bench b;
    const std::uint64_t start = b.Us();
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.chip().state(), State::WaitCommand);
    EXPECT_EQ(b.chip().Baud(), 115200);
    EXPECT_NEAR(static_cast<double>(b.Us() - start), 1'520'000.0, 2'000.0);
    // Connecting again resets and synchronises anew.
    EXPECT_TRUE(b.Connect());
    EXPECT_EQ(b.chip().Resets(), 2u);
}

TEST(SimEntryTest, EveryPairOfLineChoices) {
    for (std::int32_t reset = 1; reset <= 4; ++reset) {
        for (std::int32_t boot = 1; boot <= 4; ++boot) {
            SCOPED_TRACE("reset " + std::to_string(reset) + " boot " + std::to_string(boot));
            Bench b(sim::F103Preset(), sim::WiringForChoices(reset, boot), reset, boot);
            const bool sameLine = (reset - 1) / 2 == (boot - 1) / 2;
            // On one line, a boot level that equals the reset level means
            // BOOT0 is low whenever NRST is released.
            const bool expected = !sameLine || reset != boot;
            EXPECT_EQ(b.Connect(), expected);
            EXPECT_EQ(b.chip().state(), expected ? State::WaitCommand : State::UserProgram);
        }
    }
}

TEST(SimEntryTest, BootZeroLowRunsTheUserProgramWhichIgnoresTheLine) {
    Bench b(sim::F103Preset(), {}, 1, 3);  // the window drives RTS the wrong way for this board
    EXPECT_FALSE(b.Connect());
    EXPECT_EQ(b.chip().state(), State::UserProgram);
    b.Send({0x7F});
    EXPECT_EQ(b.Next(), 0);
}

// A G0 as delivered: option bits, not BOOT0, choose the boot source, and the
// empty check of the last option byte load sends a blank chip to the
// bootloader. Programmed and powered anew it runs its program whatever the
// pin says; with nBOOT_SEL cleared the pin has the say again.
TEST(SimEntryTest, AG0BootsByItsOptionBitsAndItsEmptyCheck) {
    const Bytes vectors{0x00, 0x20, 0x00, 0x20, 0xC1, 0x00, 0x00, 0x08};
    {
    Bench b(sim::G031Preset());
    ASSERT_TRUE(b.Connect());
    ASSERT_EQ(b.Write(0x08000000, vectors), 0x79);
    EXPECT_TRUE(b.Connect());  // a reset keeps what the power-on load saw
    b.chip().PowerOn(false, true, b.Us());
    EXPECT_EQ(b.chip().state(), State::UserProgram);
    EXPECT_FALSE(b.Connect());
    }
    Bench b(sim::G031Preset());
    ASSERT_TRUE(b.Connect());
    ASSERT_EQ(b.Write(0x08000000, vectors), 0x79);
    ASSERT_EQ(b.Write(0x1FFF7800, {0xAA, 0xFE, 0xFF, 0xFE}), 0x79);  // nBOOT_SEL cleared; a reset follows
    b.chip().PowerOn(false, false, b.Us());
    EXPECT_EQ(b.chip().state(), State::UserProgram);
    b.chip().PowerOn(false, true, b.Us());
    EXPECT_NE(b.chip().state(), State::UserProgram);
    EXPECT_TRUE(b.Connect());
}

TEST(SimEntryTest, BytesAreLostInResetAndWhileTheBootloaderStarts) {
    Bench b;
    b.port.SetRTS(false);  // BOOT0 high
    b.port.SetDTR(true);   // held in reset
    b.Send({0x7F});
    EXPECT_EQ(b.Next(5), 0);
    b.port.SetDTR(false);
    b.Send({0x7F});  // arrives before the 2 ms start-up is over
    EXPECT_EQ(b.Next(5), 0);
    b.Send({0x7F});
    EXPECT_EQ(b.Next(5), 0x79);
}

TEST(SimEntryTest, AfterSyncSevenFIsACommandByteAndTheComplementIsRequired) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    b.Send({0x7F});
    EXPECT_EQ(b.Next(50), 0);          // waits for the complement
    b.Send({0x80});
    EXPECT_EQ(b.Next(), 0x1F);         // 0x7F is no command
    b.Send({0x02, 0x02});
    EXPECT_EQ(b.Next(), 0x1F);         // no complement
    EXPECT_EQ(b.Cmd(0x02), 0x79);      // back at command checking
}

TEST(SimEntryTest, AutoBaudLocksOnTheSyncSpeedWithinTheChipsRange) {
    {
    Bench slow(sim::F103Preset(), {}, 1, 4, 9600);
    ASSERT_TRUE(slow.Connect());
    EXPECT_EQ(slow.chip().Baud(), 9600);
    EXPECT_EQ(slow.Cmd(0x02), 0x79);
    slow.Receive(4);
    slow.port.SetBaud(57600);  // the chip stays at 9600
    EXPECT_EQ(slow.Cmd(0x02), 0);
    }

    Bench fast(sim::F103Preset(), {}, 1, 4, 230400);
    EXPECT_FALSE(fast.Connect());
}

TEST(SimEntryTest, WithoutEvenParityCommandsAreNotUnderstood) {
    Bench b(sim::F103Preset(), {}, 1, 4, 115200, 0);
    // Auto-baud times 0x7F whatever the parity, and an 8N1 receiver frames
    // the 0x79 (its parity bit is 1, read as the stop bit).
    EXPECT_TRUE(b.Connect());
    EXPECT_EQ(b.Cmd(0x02), 0);
    EXPECT_NE(b.chip().Log().back().find("not understood"), std::string::npos);
}

TEST(SimEntryTest, PtyRuleSevenFWhileWaitingOrAfterASecondOfSilenceResyncs) {
    Bench b;
    b.chip().SetImplicitReset(true);
    ASSERT_TRUE(b.Connect());
    b.Send({0x7F});
    EXPECT_EQ(b.Next(), 0x79);          // waiting for a command
    ASSERT_EQ(b.Cmd(0x11), 0x79);
    b.Send({0x7F});
    EXPECT_EQ(b.Next(50), 0);           // within the command: an address byte
    Delay(1100);
    b.Send({0x7F});
    EXPECT_EQ(b.Next(), 0x79);          // after more than 1 s of silence
    EXPECT_EQ(b.chip().state(), State::WaitCommand);
    EXPECT_EQ(b.Cmd(0x02), 0x79);
}

// As a driver with HUPCL cleared: closing leaves the lines where they were.
TEST(SimLineTest, DevicesAreNamedExclusiveAndKeepTheirLinesOnClose) {
    Bench b;
    auto& line = b.rig.line();
    EXPECT_EQ(line.Open("no such device"), platform::kClosedHandle);
    const std::string name = platform::DeviceName(1);
    EXPECT_EQ(line.Open(name), platform::kClosedHandle);  // the bench holds it
    b.port.SetDTR(true);  // reset held
    b.port.SetRTS(false);
    b.port.Close();
    EXPECT_FALSE(line.IsOpen(name));
    EXPECT_TRUE(line.Dtr(name));
    EXPECT_FALSE(line.Rts(name));
    EXPECT_EQ(b.chip().state(), State::Reset);
    EXPECT_TRUE(b.port.Open());
}

// A wait on the line ends when the chip's byte has arrived, or after its
// full time when none comes, also on a line that is gone.
TEST(SimLineTest, WaitsEndWithTheChipsNextByte) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    const std::uint64_t byteUs = sim::ByteNs({115200, 8, 2, 1}) / 1000;
    b.Send({0x02, 0xFD});
    std::uint64_t start = b.Us();
    ASSERT_TRUE(b.port.WaitForInput(1000));
    // The command's last byte on the wire, the reply time, the answer on the wire.
    EXPECT_NEAR(static_cast<double>(b.Us() - start), static_cast<double>(2 * byteUs + 10 + byteUs), 5.0);
    EXPECT_EQ(b.port.InCount(), 1);
    b.Receive(5);

    start = b.Us();
    EXPECT_FALSE(b.port.WaitForInput(50));
    EXPECT_NEAR(static_cast<double>(b.Us() - start), 50'000.0, 50.0);
    b.chip().faults().hangUp = true;
    b.Send({0x02, 0xFD});
    start = b.Us();
    EXPECT_FALSE(b.port.WaitForInput(50));
    EXPECT_NEAR(static_cast<double>(b.Us() - start), 50'000.0, 50.0);
}

TEST(SimLineTest, PurgeDiscardsWhatHasArrived) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    b.Send({0x00, 0xFF});
    Delay(10);
    ASSERT_GT(b.port.InCount(), 0);
    b.port.Purge();
    EXPECT_EQ(b.port.InCount(), 0);
}
