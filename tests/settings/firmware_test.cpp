// The command line's firmware readers: which form a file is taken for, what
// it fills, and the line and reason of every refusal.
#include "settings/firmware.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/textfile.h"
#include "settings/inifile.h"
#include "support/intel_hex.h"
#include "support/recorders.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using testsupport::HexRecord;

constexpr std::uint32_t kFlash = 0x08000000;

// One S-record with its count and checksum; addressBytes from the type.
std::string SRec(int type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
    const int addressBytes = type == 2 || type == 6 || type == 8 ? 3 : type == 3 || type == 7 ? 4 : 2;
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(addressBytes + data.size() + 1)};
    for (int i = addressBytes - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = "S" + std::to_string(type);
    for (auto b : bytes) line += platform::Hex2(b);
    return line + "\n";
}

const std::string kEnd = HexRecord(0, 1, {});
const std::string kAt0800 = HexRecord(0, 4, {0x08, 0x00});
const std::vector<std::uint8_t> kFour{1, 2, 3, 4};

struct Case {
    const char* what;
    std::string content;
    std::string name;
    std::optional<std::uint32_t> binaryAt;
    std::string result;  // the description, or the refusal
};

TEST(Firmware, EachFormByContentWithItsExtentOrItsRefusal) {
    const std::string binary("\x00\x50\x00\x20\x01\x01\x00\x08", 8);
    const Case cases[] = {
        {"offsets", HexRecord(0x10, 0, kFour) + kEnd, "fw.hex", {},
         "Intel HEX, offsets from the flash start, 0x08000010–0x08000013, 4 bytes"},
        {"chip addresses, no extension", kAt0800 + HexRecord(0x4000, 0, kFour) + kEnd, "/dev/fd/63", {},
         "Intel HEX, chip addresses, 0x08004000–0x08004003, 4 bytes"},
        {"no data", kEnd, "fw.hex", {}, "Intel HEX, offsets from the flash start, no data"},
        {"chip, then RAM", kAt0800 + HexRecord(0, 0, kFour) + HexRecord(0, 4, {0x20, 0x00}) + HexRecord(0, 0, kFour) + kEnd,
         "fw.hex", {},
         "line 4: 0x20000000 is outside 0x08000000–0x081FFFFF: the file was read as chip addresses, as its first "
         "data address 0x08000000 is one"},
        {"offsets, then chip", HexRecord(0, 0, kFour) + kAt0800 + HexRecord(0, 0, kFour) + kEnd, "fw.hex", {},
         "line 3: 0x08000000 is outside 0x00000000–0x001FFFFF: the file was read as offsets from the flash start "
         "0x08000000, as its first data address 0x00000000 is one"},
        {"past the image", HexRecord(0, 4, {0x00, 0x30}) + HexRecord(0, 0, kFour) + kEnd, "fw.hex", {},
         "line 2: 0x00300000 is outside 0x00000000–0x001FFFFF: the file was read as offsets from the flash start "
         "0x08000000, as its first data address 0x00300000 is one"},
        {"lines after the end record", kEnd + ":0400000001020G04F2\n", "fw.hex", {},
         "Intel HEX, offsets from the flash start, no data"},
        {"bad digit on line 2", HexRecord(0, 0, kFour) + ":0400000001020G04F2\n" + kEnd, "fw.hex", {},
         "non Hex Zeichen auf Zeile 2"},
        {"cut short", ":04000000010203\n" + kEnd, "fw.hex", {}, "es fehlen Zeichen auf Zeile 1"},
        {"lone CR", "\r", "fw.hex", {}, "Dateeiende ohne Ende-Record"},
        {"binary named .hex", binary, "fw.hex", {}, "Hexfile: Formatfehler auf Zeile 1"},
        {"S-records", SRec(0, 0, {'h', 'i'}) + SRec(3, 0x08000100, kFour) + SRec(5, 1, {}) + SRec(7, kFlash, {}),
         "fw.srec", {}, "Motorola S-records, 0x08000100–0x08000103, 4 bytes"},
        {"S1 below the flash, CR LF", SRec(1, 0, kFour).insert(SRec(1, 0, kFour).size() - 1, "\r"), "x.bin", {},
         "line 1: 0x00000000 is outside the flash image 0x08000000–0x081FFFFF (S-records carry chip addresses)"},
        {"S-record checksum", SRec(3, kFlash, kFour).replace(20, 2, "00"), "fw.s19", {},
         "line 1: checksum 00, the record's bytes give " + SRec(3, kFlash, kFour).substr(20, 2)},
        {"S-record count", SRec(3, kFlash, kFour) + SRec(5, 2, {}), "fw.s19", {},
         "line 2: the count record says 2 data records, 1 came before it"},
        {"S-record digit", "S309080000G0010203048A\n", "fw.s19", {}, "line 1: 'G' in column 11 is not a hex digit"},
        {"S-record length", "S30A0800000001020304\n", "fw.s19", {}, "line 1: the count says 10 bytes, the line holds 8"},
        {"S4", SRec(4, 0, {}), "fw.s19", {}, "line 1: S4 is no record type"},
        {"text between", SRec(3, kFlash, kFour) + ":00000001FF\n", "fw.s19", {},
         "line 2: not an S-record (they begin with S0 to S9)"},
        {"S-records end at S7", SRec(3, kFlash, kFour) + SRec(7, kFlash, {}) + "junk\n", "fw.s19", {},
         "Motorola S-records, 0x08000000–0x08000003, 4 bytes"},
        {"binary", binary, "fw.bin", {}, "binary, 0x08000000–0x08000007, 8 bytes"},
        {"binary at an address", binary, "app", 0x08004000, "binary, 0x08004000–0x08004007, 8 bytes"},
        {"binary at RAM", binary, "app.bin", 0x20000000,
         "--address 0x20000000 lies outside the flash image 0x08000000–0x081FFFFF"},
        {"binary past the image", binary, "app.bin", 0x081FFFFC,
         "a binary of 8 bytes at 0x081FFFFC runs past the flash image 0x08000000–0x081FFFFF"},
        {"empty binary", "", "app.bin", {}, "the file is empty"},
        {"HEX with --address", kEnd, "fw.hex", 0x08004000,
         "--address places a binary; this file carries its own addresses"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFirmware f;
        std::string message;
        const bool ok = ReadFirmware(c.content, c.name, {kFlash, c.binaryAt}, f, message);
        EXPECT_EQ(ok ? Describe(f) : message, c.result);
    }
}

TEST(Firmware, TextLinesFollowTheLineReadersRules) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}},           {"a", {"a"}},           {"a\nb", {"a", "b"}}, {"a\r\nb\r\n", {"a", "b"}},
        {"\n", {""}},       {"\r", {}},             {"a\n\r", {"a"}},     {"a\rb", {"ab"}},
        {"a\x1A\nb", {"a"}}, {std::string("a\0b", 3), {std::string("a\0b", 3)}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(TextLines(text), lines) << testing::PrintToString(text);
}

TEST(Firmware, ChipAddressesStayPutWhenTheFlashStartMovesOffsetsMoveWithIt) {
    const std::uint32_t saved = Ini.FlashStart;
    TFirmware chip, offsets;
    std::string message;
    ASSERT_TRUE(ReadFirmware(kAt0800 + HexRecord(0x4000, 0, kFour) + kEnd, "a.hex", {kFlash, {}}, chip, message));
    ASSERT_TRUE(ReadFirmware(HexRecord(0x10, 0, kFour) + kEnd, "b.hex", {kFlash, {}}, offsets, message));
    std::vector<TImageRange> ranges;
    Ini.FlashStart = 0x08004000;
    ASSERT_TRUE(PlaceFirmware(chip, ranges, message)) << message;
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].begin, 0u);
    EXPECT_EQ(ranges[0].end, 4u);
    EXPECT_EQ(FlashImage[3], 4);
    EXPECT_EQ(FlashImage[4], 0xFF);
    ASSERT_TRUE(PlaceFirmware(offsets, ranges, message)) << message;
    EXPECT_EQ(ranges[0].begin, 0x10u);
    EXPECT_EQ(FlashImage[0], 0xFF);
    Ini.FlashStart = 0x08008000;
    EXPECT_FALSE(PlaceFirmware(chip, ranges, message));
    EXPECT_EQ(message, "0x08004000 lies outside the flash image 0x08008000–0x08207FFF");
    Ini.FlashStart = saved;
}

TEST(Firmware, AFileIsReadOnceAndAStreamCounts) {
    testsupport::TempDir dir;
    TFirmware f;
    std::string message;
    const std::string hex = HexRecord(0, 0, kFour) + kEnd;
    dir.Write("fw.hex", hex);
    EXPECT_TRUE(LoadFirmware(dir.File("fw.hex"), {kFlash, {}}, f, message)) << message;
    EXPECT_FALSE(LoadFirmware(dir.File("missing.hex"), {kFlash, {}}, f, message));
    EXPECT_EQ(message, "keine Datei");
    EXPECT_FALSE(LoadFirmware(dir.path(), {kFlash, {}}, f, message));
    EXPECT_EQ(message, "keine Datei");
#ifndef _WIN32
    // A character device and a pipe are read as they come, not refused as missing.
    EXPECT_FALSE(LoadFirmware("/dev/null", {kFlash, {}}, f, message));
    EXPECT_EQ(message, "the file is empty");
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { dir.Write("pipe", hex); });
    EXPECT_TRUE(LoadFirmware(fifo, {kFlash, {}}, f, message)) << message;
    writer.join();
    EXPECT_EQ(Describe(f), "Intel HEX, offsets from the flash start, 0x08000000–0x08000003, 4 bytes");
#endif
}

}  // namespace
