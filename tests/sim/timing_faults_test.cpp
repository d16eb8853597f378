// Wire time, programming and erase times, the faults tests can switch on,
// and the log.
#include <gtest/gtest.h>

#include "bench.h"
#include "bootloader/lolevel.h"

using simtest::Bench;
using simtest::Bytes;

namespace {

// Microseconds from sending until the answer byte has arrived.
double AnswerUs(Bench& b, const Bytes& send, std::size_t replyBytes, std::uint32_t limitMs = 20000) {
    const std::uint64_t start = b.Us();
    b.Send(send);
    EXPECT_EQ(b.Receive(replyBytes, limitMs).size(), replyBytes);
    return static_cast<double>(b.Us() - start);
}

}  // namespace

TEST(SimTimingTest, BytesTakeElevenBitTimesBothWays) {
    for (std::int32_t baud : {9600, 115200}) {
        Bench b(sim::F103Preset(), {}, 1, 4, baud);
        ASSERT_TRUE(b.Connect());
        const double bytes = 2 + 5;  // Get ID: two out, five back
        EXPECT_NEAR(AnswerUs(b, {0x02, 0xFD}, 5), bytes * 11e6 / baud, 100.0) << baud;
    }
}

TEST(SimTimingTest, ProgrammingAndEraseTimesOfTheRightOrder) {
    const double wire = 11e6 / 115200;
    {
    Bench f1;
    ASSERT_TRUE(f1.Connect());
    ASSERT_EQ(f1.Cmd(0x31), 0x79);
    f1.Send(simtest::Address(0x08000000));
    ASSERT_EQ(f1.Next(), 0x79);
    EXPECT_NEAR(AnswerUs(f1, simtest::Block(Bytes(256, 0)), 1) - 259 * wire, 6720.0, 100.0);
    ASSERT_EQ(f1.Cmd(0x43), 0x79);
    EXPECT_NEAR(AnswerUs(f1, {0xFF, 0x00}, 1) - 3 * wire, 30'000.0, 100.0);
    }

    Bench f4(sim::F407Preset());
    ASSERT_TRUE(f4.Connect());
    ASSERT_EQ(f4.Cmd(0x31), 0x79);
    f4.Send(simtest::Address(0x08000000));
    ASSERT_EQ(f4.Next(), 0x79);
    EXPECT_NEAR(AnswerUs(f4, simtest::Block(Bytes(256, 0)), 1) - 259 * wire, 1024.0, 100.0);
    ASSERT_EQ(f4.Cmd(0x44), 0x79);
    EXPECT_NEAR(AnswerUs(f4, {0xFF, 0xFF, 0x00}, 1) - 4 * wire, 8e6, 1000.0);
}

TEST(SimTimingTest, BytesSentWhileTheChipProgramsAreLost) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    ASSERT_EQ(b.Cmd(0x31), 0x79);
    b.Send(simtest::Address(0x08000000));
    ASSERT_EQ(b.Next(), 0x79);
    Bytes block = simtest::Block(Bytes(256, 0));
    block.insert(block.end(), {0x02, 0xFD});  // Get ID without waiting: 0xFD overruns 0x02
    b.Send(block);
    EXPECT_EQ(b.Next(), 0x79);
    EXPECT_EQ(b.Next(50), 0);
}

TEST(SimFaultsTest, RefusedCommandAndNackedWrite) {
    Bench b;
    b.chip().faults().refuse = {0x11};
    b.chip().faults().nackWriteAt = 0x08000104;
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Cmd(0x11), 0x1F);
    EXPECT_EQ(b.Write(0x08000000, Bytes(256, 0x11)), 0x79);
    EXPECT_EQ(b.Write(0x08000100, Bytes(256, 0x22)), 0x1F);
    EXPECT_EQ(b.chip().Flash()[0x100], 0xFF);
}

TEST(SimFaultsTest, SilenceAfterNBytesAndStrayBytesBeforeAcks) {
    {
    Bench quiet;
    ASSERT_TRUE(quiet.Connect());
    quiet.chip().faults().silentAfter = 3;
    quiet.Send({0x02, 0xFD});
    EXPECT_EQ(quiet.Receive(5, 300), (Bytes{0x79, 0x01, 0x04}));
    }

    Bench stray;
    stray.chip().faults().strayBeforeAck = {0x00, 0x1F};
    stray.chip().faults().strayCount = 2;
    EXPECT_TRUE(stray.Connect());  // the program drops what comes before 0x79
    stray.Send({0x02, 0xFD});
    EXPECT_EQ(stray.Receive(7, 300), (Bytes{0x00, 0x1F, 0x79, 0x01, 0x04, 0x10, 0x79}));
}

TEST(SimFaultsTest, HangUpFailsEveryCall) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    b.chip().faults().hangUp = true;
    EXPECT_FALSE(b.port.WriteByte(0x00));
    EXPECT_EQ(b.port.InCount(), 0);
    EXPECT_FALSE(b.port.SetDTR(true));
    b.port.Close();
    EXPECT_FALSE(b.port.Open());
}

TEST(SimLogTest, OneLinePerCommand) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    b.chip().ClearLog();
    b.Write(0x08000000, {1, 2, 3, 4});
    b.Write(0x08000000, {5, 6, 7, 8});
    b.Cmd(0x44);
    EXPECT_EQ(b.chip().Log(), (std::vector<std::string>{"31 Write Memory 08000000 4: ACK",
                                                        "31 Write Memory 08000000 4: NACK (not erased at 08000000)",
                                                        "44 Extended Erase: NACK (not supported)"}));
}
