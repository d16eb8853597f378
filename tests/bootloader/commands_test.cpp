// The bootloader commands against a scripted device on a virtual clock: the
// bytes each puts on the line, the replies as a chip may send them, and every
// failure text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bootloader/lolevel.h"
#include "platform/hex_text.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "support/scripted_device.h"

using testsupport::ScriptedDevice;
using testsupport::VirtualClock;
using Bytes = std::vector<std::uint8_t>;

namespace {

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Ini.FlashStart = 0x08000000;
        ReadBase = 0x08000000;
        std::memset(ReadImage, 0xEE, kImageSize);
        ASSERT_TRUE(port_.Open());
        device_.ClearEvents();
    }

    // Everything written since SetUp, as hex bytes joined by blanks.
    std::string Written() const {
        std::string s;
        for (const auto& e : device_.events)
            if (e.op == ScriptedDevice::Op::Write)
                for (auto b : e.bytes) s += (s.empty() ? "" : " ") + platform::Hex2(b);
        return s;
    }

    std::uint32_t Timed(const std::function<void()>& f) {
        const std::uint32_t t0 = clock_.PeekMs();
        f();
        return clock_.PeekMs() - t0;
    }

    VirtualClock clock_;
    ScriptedDevice device_;
    TComPort port_;
};

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST_F(CommandsTest, AddressFrameCarriesTheXorOfItsFourBytes) {
    device_.ReplyTo(0x08, 1, {0x79});
    EXPECT_EQ(SendAddress(port_, 0x08000000), 0x79);
    device_.ReplyTo(0x08, 1, {0x79});
    EXPECT_EQ(SendAddress(port_, 0x12345678), 0x79);
    EXPECT_EQ(Written(), "08 00 00 00 08 12 34 56 78 08");
}

TEST_F(CommandsTest, WaitAckKeepsWaitingPastANackAndReturnsTheLastByte) {
    device_.ArriveAfter(1, {0x1F});
    std::uint8_t r = 0;
    EXPECT_EQ(Timed([&] { r = WaitAck(port_, 200); }), 200u);
    EXPECT_EQ(r, 0x1F);
    device_.ArriveAfter(1, {0x1F, 0x55, 0x79});
    EXPECT_LT(Timed([&] { r = WaitAck(port_, 200); }), 10u);
    EXPECT_EQ(r, 0x79);
    EXPECT_EQ(Timed([&] { r = WaitAck(port_, 200); }), 200u);
    EXPECT_EQ(r, 0);
}

TEST_F(CommandsTest, GetRepliesAsTheChipSendsThem) {
    // Get ID: ACK, N = 1, PID, ACK — ends with the closing acknowledge.
    device_.ReplyTo(0xFD, 1, {0x79, 0x01, 0x04, 0x10, 0x79});
    std::string reply;
    EXPECT_LT(Timed([&] { reply = GetChipId(port_); }), 20u);
    EXPECT_EQ(reply, Str({0x79, 0x01, 0x04, 0x10, 0x79}));

    // Get Version's first data byte is taken as a count: with 0x22 the
    // collection runs to its limit and keeps the five bytes.
    device_.ReplyTo(0xFE, 1, {0x79, 0x22, 0x00, 0x00, 0x79});
    EXPECT_EQ(Timed([&] { reply = GetVersion(port_); }), 300u);
    EXPECT_EQ(reply, Str({0x79, 0x22, 0x00, 0x00, 0x79}));

    // Nothing at all: empty after 300 ms.
    EXPECT_EQ(Timed([&] { reply = GetCommands(port_); }), 300u);
    EXPECT_TRUE(reply.empty());

    // A refusal is a single byte, returned at once.
    device_.ReplyTo(0xFF, 1, {0x1F});
    EXPECT_LT(Timed([&] { reply = GetCommands(port_); }), 10u);
    EXPECT_EQ(reply, Str({0x1F}));

    EXPECT_EQ(Written(), "02 FD 01 FE 00 FF 00 FF");
}

TEST_F(CommandsTest, GetReplyWithCountFFKeeps255Bytes) {
    Bytes answer = {0x79, 0xFF};
    for (int i = 0; i < 256; ++i) answer.push_back(static_cast<std::uint8_t>(i));
    answer.push_back(0x79);
    device_.ReplyTo(0xFF, 1, answer);
    std::string reply;
    EXPECT_EQ(Timed([&] { reply = GetCommands(port_); }), 300u);
    ASSERT_EQ(reply.size(), 255u);
    EXPECT_EQ(reply, Str(Bytes(answer.begin(), answer.begin() + 255)));
}

TEST_F(CommandsTest, GetCommandsDrainsLeftoversFirst) {
    device_.ArriveAfter(0, {0x79, 0x79, 0x42});
    device_.ReplyTo(0xFF, 1, {0x79, 0x00, 0x22, 0x79});
    EXPECT_EQ(GetCommands(port_), Str({0x79, 0x00, 0x22, 0x79}));
}

TEST_F(CommandsTest, ReadMemRefusesBeforeSendingAnything) {
    struct Case {
        std::uint32_t address;
        std::int32_t count;
        const char* text;
    };
    const Case cases[] = {
        {0x08000000, 257, "len zu gross"},
        {0x08000000, 0, "len zu klein"},
        {0x08000000, -1, "len zu klein"},
        {0x07FFFFFF, 1, "adr < anfang"},
        // ReadImage ends 2 MiB after ReadBase.
        {0x081FFF01, 256, "adr > ende"},
        {0xFFFFFF00, 256, "adr > ende"},
    };
    for (const auto& c : cases) {
        std::string message = "old";
        EXPECT_FALSE(ReadMem(port_, c.address, c.count, message));
        EXPECT_EQ(message, c.text);
    }
    EXPECT_EQ(Written(), "");
    std::string message;
    device_.ReplyTo(0xEE, 1, {0x1F});
    ReadMem(port_, 0x081FFF00, 256, message);  // the last block that fits is sent
    EXPECT_EQ(Written(), "11 EE");
}

TEST_F(CommandsTest, ReadMemFailureAtEachStep) {
    std::string message;
    // Silent bootloader: the command's acknowledge wait runs its 100 ms.
    EXPECT_EQ(Timed([&] { EXPECT_FALSE(ReadMem(port_, 0x08000000, 16, message)); }), 100u);
    EXPECT_EQ(message, "NAK on Cmd");

    device_.ReplyTo(0xEE, 1, {0x79});
    device_.ReplyTo(0x08, 1, {0x1F});
    EXPECT_FALSE(ReadMem(port_, 0x08000000, 16, message));
    EXPECT_EQ(message, "(1F) NAK on Adr 08000000");

    device_.ReplyTo(0xEE, 1, {0x79});
    device_.ReplyTo(0x08, 1, {0x79});
    EXPECT_FALSE(ReadMem(port_, 0x08000000, 16, message));
    EXPECT_EQ(message, "NAK on len");
    EXPECT_EQ(Written(), "11 EE 11 EE 08 00 00 00 08 11 EE 08 00 00 00 08 0F F0");
}

TEST_F(CommandsTest, ReadMemStoresAtItsOffsetAndKeepsAPartialBlock) {
    std::string message;
    Bytes data(256);
    for (int i = 0; i < 256; ++i) data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i);
    device_.ReplyTo(0xEE, 1, {0x79});
    device_.ReplyTo(0x09, 1, {0x79});  // XOR of 08 00 01 00
    device_.ReplyTo(0x00, 1, {0x79});  // ~0xFF
    device_.ReplyTo(0x00, 2, data);
    EXPECT_TRUE(ReadMem(port_, 0x08000100, 256, message));
    EXPECT_EQ(0, std::memcmp(ReadImage + 0x100, data.data(), 256));
    EXPECT_EQ(ReadImage[0xFF], 0xEE);
    EXPECT_EQ(ReadImage[0x200], 0xEE);

    // The data stop after 100 bytes: 2000 ms, then the length byte in decimal.
    std::memset(ReadImage, 0xEE, 0x300);
    device_.ReplyTo(0xEE, 1, {0x79});
    device_.ReplyTo(0x09, 1, {0x79});
    device_.ReplyTo(0x00, 1, {0x79});
    device_.ReplyTo(0x00, 2, Bytes(data.begin(), data.begin() + 100));
    std::uint32_t took = Timed([&] { EXPECT_FALSE(ReadMem(port_, 0x08000100, 256, message)); });
    EXPECT_GE(took, 2000u);
    EXPECT_LT(took, 2010u);
    EXPECT_EQ(message, "timeout gelesen: 255");
    EXPECT_EQ(0, std::memcmp(ReadImage + 0x100, data.data(), 100));
    EXPECT_EQ(ReadImage[0x100 + 100], 0xEE);
}

TEST_F(CommandsTest, WriteMemRefusesBadCountsBeforeSendingAnything) {
    for (std::int32_t count : {255, 258, 260, 2}) {
        std::string message;
        EXPECT_FALSE(WriteMem(port_, 0, count, message));
        EXPECT_EQ(message, "odd len") << count;
    }
    for (std::int32_t count : {0, -4}) {
        std::string message;
        EXPECT_FALSE(WriteMem(port_, 0, count, message));
        EXPECT_EQ(message, "len zu klein") << count;
    }
    std::string message;
    EXPECT_FALSE(WriteMem(port_, kImageSize - 4, 8, message));
    EXPECT_EQ(message, "adr > ende");
    EXPECT_EQ(Written(), "");
}

TEST_F(CommandsTest, WriteMemSendsLengthDataAndChecksum) {
    std::memset(FlashImage, 0xFF, 0x200);
    const Bytes data = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
    std::memcpy(FlashImage + 0x100, data.data(), data.size());
    device_.ReplyTo(0xCE, 1, {0x79});
    device_.ReplyTo(0x09, 1, {0x79});
    device_.ReplyTo(0x80, 3, {0x00, 0x79});  // a zero before the answer is passed over
    std::string message = "old";
    EXPECT_TRUE(WriteMem(port_, 0x100, 8, message));
    EXPECT_EQ(message, "");
    // checksum = 07 ^ 01 ^ 02 ^ 04 ^ 08 ^ 10 ^ 20 ^ 40 ^ 80 = F8
    EXPECT_EQ(Written(), "31 CE 08 00 01 00 09 07 01 02 04 08 10 20 40 80 F8");
}

TEST_F(CommandsTest, WriteMemFailureAtEachStep) {
    std::memset(FlashImage, 0x5A, 0x300);
    std::string message;
    EXPECT_EQ(Timed([&] { EXPECT_FALSE(WriteMem(port_, 0x100, 256, message)); }), 1000u);
    EXPECT_EQ(message, "00 Schreibkommando nicht angenommen");

    device_.ReplyTo(0xCE, 1, {0x1F});
    EXPECT_FALSE(WriteMem(port_, 0x100, 256, message));
    EXPECT_EQ(message, "1F Schreibkommando nicht angenommen");

    device_.ReplyTo(0xCE, 1, {0x79});
    device_.ReplyTo(0x09, 1, {0x1F});
    EXPECT_FALSE(WriteMem(port_, 0x100, 256, message));
    EXPECT_EQ(message, "1F Adresse (08000100) nicht angenommen");

    // The offset shown is the one just past the block, not its chip address.
    device_.ClearEvents();
    device_.ReplyTo(0xCE, 1, {0x79});
    device_.ReplyTo(0x09, 1, {0x79});
    device_.ReplyTo(0xFF, 1, {0x1F});  // after N = FF
    EXPECT_LT(Timed([&] { EXPECT_FALSE(WriteMem(port_, 0x100, 256, message)); }), 50u);
    EXPECT_EQ(message, "1F NAK bei $00000200");

    device_.ReplyTo(0xCE, 1, {0x79});
    device_.ReplyTo(0x09, 1, {0x79});
    EXPECT_GE(Timed([&] { EXPECT_FALSE(WriteMem(port_, 0x100, 256, message)); }), 2000u);
    EXPECT_EQ(message, "00 NAK bei $00000200");
}

TEST_F(CommandsTest, EraseAndUnprotectLeaveTheirDiagnosis) {
    // Refused command: full first wait, no parameter bytes.
    device_.ReplyTo(0xBC, 1, {0x1F});
    EXPECT_EQ(Timed([&] { EXPECT_FALSE(EraseMem(port_)); }), 1000u);
    EXPECT_EQ(DiagText, "no cmd era 1F");
    EXPECT_EQ(Written(), "43 BC");

    device_.ClearEvents();
    device_.ReplyTo(0xBC, 1, {0x79});
    device_.ReplyTo(0x00, 30, {0x79});
    EXPECT_TRUE(EraseMem(port_));
    EXPECT_EQ(DiagText, "no proc era 79");
    EXPECT_EQ(Written(), "43 BC FF 00");

    device_.ClearEvents();
    device_.ReplyTo(0xBB, 1, {0x79});
    const std::uint32_t took = Timed([&] { EXPECT_FALSE(EraseMemExt(port_)); });
    EXPECT_GE(took, 40000u);  // long enough for the mass erase of a large F4
    EXPECT_LT(took, 40010u);
    EXPECT_EQ(DiagText, "no proc eex 00");
    EXPECT_EQ(Written(), "44 BB FF FF 00");

    device_.ClearEvents();
    EXPECT_EQ(Timed([&] { EXPECT_FALSE(WriteUnprotect(port_)); }), 5000u);
    EXPECT_EQ(DiagText, "no cmd wunprot 00");
    device_.ReplyTo(0x8C, 1, {0x79, 0x79});
    EXPECT_TRUE(WriteUnprotect(port_));
    EXPECT_EQ(DiagText, "no proc wunprot 79");
    EXPECT_EQ(Written(), "73 8C 73 8C");

    device_.ClearEvents();
    DiagText = "unchanged";
    device_.ReplyTo(0x6D, 1, {0x79, 0x79});
    EXPECT_TRUE(ReadoutUnprotect(port_));
    EXPECT_FALSE(ReadoutUnprotect(port_));
    EXPECT_EQ(DiagText, "unchanged");
    EXPECT_EQ(Written(), "92 6D 92 6D");
}

}  // namespace
