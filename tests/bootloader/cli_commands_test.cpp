// The commands only the command line sends, on the wire against a scripted
// device: page lists of both erase commands, Go, Readout Protect.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bootloader/lolevel.h"
#include "platform/hex_text.h"
#include "serial/comport.h"
#include "support/scripted_device.h"

namespace {

using testsupport::ScriptedDevice;
using Bytes = std::vector<std::uint8_t>;

struct Case {
    const char* what;
    std::function<bool(TComPort&)> command;
    std::vector<std::pair<std::uint8_t, Bytes>> replies;  // to the byte written, after 1 ms
    bool result;
    std::string written;
    std::string diag;
};

TEST(CliCommands, PageListsGoAndReadoutProtectOnTheWire) {
    std::string message;
    const Case cases[] = {
        {"Erase pages 1 and 3", [](TComPort& p) { return ErasePageList(p, {1, 3}, 1000); },
         {{0xBC, {0x79}}, {0x01, {0x79}}}, true, "43 BC 01 01 03 03", "no proc era 79"},
        // N and the numbers in two bytes each, the XOR over all of them.
        {"Extended Erase of 0x0102 and 5", [](TComPort& p) { return ErasePageListExt(p, {0x0102, 5}, 1000); },
         {{0xBB, {0x79}}, {0x07, {0x79}}}, true, "44 BB 00 01 01 02 00 05 07", "no proc eex 79"},
        {"Erase refused", [](TComPort& p) { return ErasePageList(p, {0}, 1000); }, {{0xBC, {0x1F}}}, false, "43 BC",
         "no cmd era 1F"},
        {"Erase names no page above 255", [](TComPort& p) { return ErasePageList(p, {256}, 1000); }, {}, false, "",
         ""},
        {"no more than 255 pages", [](TComPort& p) { return ErasePageListExt(p, std::vector<std::uint16_t>(256), 1000); },
         {}, false, "", ""},
        {"Go", [&](TComPort& p) { return Go(p, 0x08000000, message); }, {{0xDE, {0x79}}, {0x08, {0x79}}}, true,
         "21 DE 08 00 00 00 08", ""},
        {"Go to a bad address",
         [&](TComPort& p) { return Go(p, 0x20000002, message) || message != "1F Adresse (20000002) nicht angenommen"; },
         {{0xDE, {0x79}}, {0x22, {0x1F}}}, false, "21 DE 20 00 00 02 22", ""},
        {"Readout Protect", [](TComPort& p) { return ReadoutProtect(p); }, {{0x7D, {0x79, 0x79}}}, true, "82 7D",
         "no proc rprot 79"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::VirtualClock clock;
        ScriptedDevice device;
        TComPort port;
        ASSERT_TRUE(port.Open());
        device.ClearEvents();
        for (const auto& [byte, answer] : c.replies) device.ReplyTo(byte, 1, answer);
        DiagText.clear();
        EXPECT_EQ(c.command(port), c.result);
        std::string written;
        for (const auto& e : device.events)
            if (e.op == ScriptedDevice::Op::Write)
                for (auto b : e.bytes) written += (written.empty() ? "" : " ") + platform::Hex2(b);
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(DiagText, c.diag);
    }
}

// The answer to a page list comes when the last page is erased: the caller's
// limit, not the whole-chip erase's.
TEST(CliCommands, ThePageEraseWaitsAsLongAsItIsTold) {
    testsupport::VirtualClock clock;
    ScriptedDevice device;
    TComPort port;
    ASSERT_TRUE(port.Open());
    device.ReplyTo(0xBB, 1, {0x79});
    device.ReplyTo(0x02, 7000, {0x79});  // after the checksum: seven 128 KiB sectors at 1 s each
    const std::uint32_t t0 = clock.PeekMs();
    EXPECT_TRUE(ErasePageListExt(port, {5, 6, 7, 8, 9, 10, 11}, 8000));
    EXPECT_LT(clock.PeekMs() - t0, 7100u);
    device.ReplyTo(0xBB, 1, {0x79});
    device.ReplyTo(0x02, 7000, {0x79});
    EXPECT_FALSE(ErasePageListExt(port, {5, 6, 7, 8, 9, 10, 11}, 5000));
}

}  // namespace
