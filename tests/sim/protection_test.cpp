// Readout and write protection, and the resets that follow their commands.
#include <gtest/gtest.h>

#include "bench.h"

using simtest::Bench;
using simtest::Bytes;
using simtest::WithXor;

TEST(SimProtectionTest, ReadoutProtectionRefusesAllButTheGetCommandsAndUnprotect) {
    Bench b;
    b.chip().SetReadoutProtected(true);
    ASSERT_TRUE(b.Connect());
    for (std::uint8_t code : Bytes{0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(b.Cmd(code), 0x1F);
    }
    for (std::uint8_t code : Bytes{0x00, 0x01, 0x02}) {
        EXPECT_EQ(b.Cmd(code), 0x79);
        b.Receive(14, 5);
    }
}

TEST(SimProtectionTest, ReadoutUnprotectMassErasesAndResets) {
    Bench b;
    b.chip().Flash()[100] = 0x42;
    b.chip().SetReadoutProtected(true);
    b.chip().SetWriteProtection(0x3);
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Cmd(0x92), 0x79);
    EXPECT_EQ(b.Next(), 0x79);
    EXPECT_FALSE(b.chip().ReadoutProtected());
    EXPECT_EQ(b.chip().WriteProtection(), 0u);
    EXPECT_EQ(b.chip().Flash()[100], 0xFF);
    EXPECT_EQ(b.Cmd(0x02, 50), 0);
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Read(0x08000064, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

// Without wire time (the pty default) the last ACK leaves at the very moment
// of the reset; it must still go out.
TEST(SimProtectionTest, LastAckBeforeTheResetLeavesWithoutWireTime) {
    Bench b;
    b.chip().SetWireTime(false);
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Cmd(0x92), 0x79);
    EXPECT_EQ(b.Next(), 0x79);
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Cmd(0x73), 0x79);
    EXPECT_EQ(b.Next(), 0x79);
}

TEST(SimProtectionTest, ReadoutProtectResetsAndThenRefusesReads) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Cmd(0x82), 0x79);
    EXPECT_EQ(b.Next(), 0x79);
    EXPECT_EQ(b.Cmd(0x02, 50), 0);
    ASSERT_TRUE(b.Connect());
    EXPECT_FALSE(b.Read(0x08000000, 4));
}

TEST(SimProtectionTest, WriteProtectAndUnprotect) {
    Bench b;
    ASSERT_TRUE(b.Connect());
    ASSERT_EQ(b.Cmd(0x63), 0x79);
    b.Send(WithXor({0, 0}));  // group 0: pages 0-3
    EXPECT_EQ(b.Next(), 0x79);
    EXPECT_EQ(b.Cmd(0x02, 50), 0);  // reset
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.chip().WriteProtection(), 1u);
    EXPECT_EQ(b.Write(0x08000000, {1, 2, 3, 4}), 0x1F);
    EXPECT_EQ(b.Write(0x08001000, {1, 2, 3, 4}), 0x79);
    EXPECT_EQ(b.Erase(0x43, WithXor({0, 2})), 0x1F);
    EXPECT_EQ(b.Erase(0x43, {0xFF, 0x00}), 0x1F);
    EXPECT_EQ(b.chip().Flash()[0x1000], 1);

    EXPECT_EQ(b.Cmd(0x73), 0x79);
    EXPECT_EQ(b.Next(), 0x79);
    EXPECT_EQ(b.Cmd(0x02, 50), 0);
    ASSERT_TRUE(b.Connect());
    EXPECT_EQ(b.Write(0x08000000, {1, 2, 3, 4}), 0x79);
}
