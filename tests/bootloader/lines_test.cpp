// Bootloader entry and restart against a scripted device on a virtual clock.
#include <gtest/gtest.h>

#include <string>

#include "bootloader/lolevel.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "support/scripted_device.h"

using testsupport::ScriptedDevice;
using testsupport::VirtualClock;

namespace {

class LinesTest : public ::testing::Test {
protected:
    explicit LinesTest(std::uint32_t startMs = 1000) : clock_(startMs) {}

    void SetUp() override {
        Ini.ResetMode = 1;  // "DTR hi"
        Ini.BootMode = 4;   // "RTS lo"
        ASSERT_TRUE(port_.Open());
        device_.ClearEvents();
        origin_ = clock_.PeekMs();
    }

    std::uint32_t Elapsed() const { return static_cast<std::uint32_t>(clock_.PeekMs() - origin_); }

    VirtualClock clock_;
    ScriptedDevice device_;
    TComPort port_;
    std::uint32_t origin_ = 0;
};

struct LineCase {
    std::int32_t reset, boot;
    const char* connect;  // no answer: the full sequence with the boot line off at the end
    const char* restart;
};

TEST_F(LinesTest, EachLineChoiceInOrderAndTime) {
    const LineCase cases[] = {
        {1, 4, "purge@0 DTR+@0 RTS-@0 DTR-@20 W7F@1520 RTS+@1820", "RTS+@0 DTR+@0 DTR-@20"},
        {2, 3, "purge@0 DTR-@0 RTS+@0 DTR+@20 W7F@1520 RTS-@1820", "RTS-@0 DTR-@0 DTR+@20"},
        {3, 1, "purge@0 RTS+@0 DTR+@0 RTS-@20 W7F@1520 DTR-@1820", "DTR-@0 RTS+@0 RTS-@20"},
        {4, 2, "purge@0 RTS-@0 DTR-@0 RTS+@20 W7F@1520 DTR+@1820", "DTR+@0 RTS-@0 RTS+@20"},
        // The start value 5 drives no boot line: Connect only pulses the reset.
        {1, 5, "purge@0 DTR+@0 DTR-@20 W7F@1520", "DTR+@0 DTR-@20"},
        {0, 0, "purge@0 W7F@1520", ""},
        {-1, 6, "purge@0 W7F@1520", ""},
        // One line for both: every step acts on it in turn.
        {1, 1, "purge@0 DTR+@0 DTR+@0 DTR-@20 W7F@1520 DTR-@1820", "DTR-@0 DTR+@0 DTR-@20"},
        {3, 4, "purge@0 RTS+@0 RTS-@0 RTS-@20 W7F@1520 RTS+@1820", "RTS+@0 RTS+@0 RTS-@20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("ResetMode " + std::to_string(c.reset) + ", BootMode " + std::to_string(c.boot));
        Ini.ResetMode = c.reset;
        Ini.BootMode = c.boot;

        device_.ClearEvents();
        std::uint32_t start = clock_.PeekMs();
        EXPECT_FALSE(Connect(port_));
        EXPECT_EQ(device_.Trace(start), c.connect);
        EXPECT_EQ(static_cast<std::uint32_t>(clock_.PeekMs() - start), 1820u);

        device_.ClearEvents();
        start = clock_.PeekMs();
        RestartNormal(port_);
        EXPECT_EQ(device_.Trace(start), c.restart);
        EXPECT_EQ(static_cast<std::uint32_t>(clock_.PeekMs() - start), 20u);
    }
}

TEST_F(LinesTest, StrayBytesBeforeTheAckAreDropped) {
    device_.ArriveAfter(100, {0x55});  // noise while the chip starts
    device_.ReplyTo(0x7F, 5, {0x00, 0x1F, 0x7F, 0xFF, 0x79, 0x42});
    EXPECT_TRUE(Connect(port_));
    // Ends right after the ack, boot line left on, nothing read past the ack.
    EXPECT_EQ(device_.Trace(origin_), "purge@0 DTR+@0 RTS-@0 DTR-@20 W7F@1520");
    EXPECT_EQ(Elapsed(), 1525u);
    ASSERT_EQ(port_.InCount(), 1);
    EXPECT_EQ(port_.ReadChar(), 0x42);
}

// The end of the chip's own program's output can still come in after the
// purge; a 'y' among it is no answer to a sync byte not yet sent.
TEST_F(LinesTest, AnAckBeforeTheSyncByteIsNoAnswer) {
    device_.ArriveAfter(5, {'r', 'e', 'a', 'd', 'y', '\r', '\n'});
    EXPECT_FALSE(Connect(port_));
    EXPECT_EQ(Elapsed(), 1820u);

    device_.ArriveAfter(5, {0x79});
    device_.ReplyTo(0x7F, 5, {0x79, 0x42});
    EXPECT_TRUE(Connect(port_));
    ASSERT_EQ(port_.InCount(), 1);
    EXPECT_EQ(port_.ReadChar(), 0x42);
}

TEST_F(LinesTest, NackKeepsWaitingTheFullTime) {
    device_.ReplyTo(0x7F, 1, {0x1F});
    EXPECT_FALSE(Connect(port_));
    EXPECT_EQ(Elapsed(), 1820u);
    EXPECT_EQ(device_.Trace(origin_), "purge@0 DTR+@0 RTS-@0 DTR-@20 W7F@1520 RTS+@1820");
}

TEST_F(LinesTest, AckJustInsideAndJustAfterTheWait) {
    device_.ReplyTo(0x7F, 299, {0x79});
    EXPECT_TRUE(Connect(port_));
    EXPECT_EQ(Elapsed(), 1819u);

    device_.ClearEvents();
    device_.ReplyTo(0x7F, 301, {0x79});
    const std::uint32_t start = clock_.PeekMs();
    EXPECT_FALSE(Connect(port_));
    EXPECT_EQ(device_.Trace(start), "purge@0 DTR+@0 RTS-@0 DTR-@20 W7F@1520 RTS+@1820");
    // The late ack stays in the driver's queue for the next reader.
    clock_.AdvanceMs(2);
    EXPECT_EQ(port_.InCount(), 1);
    EXPECT_EQ(port_.ReadChar(), 0x79);
}

TEST_F(LinesTest, PurgeDropsWhatCameBefore) {
    device_.ArriveAfter(0, {0x79, 0x79});
    EXPECT_EQ(port_.InCount(), 2);
    EXPECT_EQ(port_.ReadChar(), 0x79);  // the second stays unread in the receive buffer
    EXPECT_FALSE(Connect(port_));
}

TEST_F(LinesTest, ClosedPortTakesTheFullTimeAndFails) {
    port_.Close();
    device_.ClearEvents();
    device_.ReplyTo(0x7F, 5, {0x79});
    EXPECT_FALSE(Connect(port_));
    EXPECT_EQ(Elapsed(), 1820u);
    EXPECT_EQ(device_.Count(ScriptedDevice::Op::Write), 0);
    EXPECT_EQ(device_.Count(ScriptedDevice::Op::Purge), 0);
}

// The ack wait starts 80 ms before the 32-bit tick count wraps.
class LinesAcrossWrapTest : public LinesTest {
protected:
    LinesAcrossWrapTest() : LinesTest(0xFFFFFFFFu - 1599) {}
};

TEST_F(LinesAcrossWrapTest, AckWaitSpanningTheWrapKeepsItsLength) {
    EXPECT_FALSE(Connect(port_));
    EXPECT_EQ(device_.Trace(origin_), "purge@0 DTR+@0 RTS-@0 DTR-@20 W7F@1520 RTS+@1820");
}

TEST_F(LinesAcrossWrapTest, AckAfterTheWrapIsTaken) {
    device_.ReplyTo(0x7F, 250, {0x79});
    EXPECT_TRUE(Connect(port_));
    EXPECT_EQ(Elapsed(), 1770u);
}

TEST_F(LinesAcrossWrapTest, DelayAcrossTheWrap) {
    clock_.AdvanceMs(1590);  // 10 ms before the wrap
    const std::uint32_t start = clock_.PeekMs();
    RestartNormal(port_);
    EXPECT_EQ(device_.Trace(start), "RTS+@0 DTR+@0 DTR-@20");
}

}  // namespace
