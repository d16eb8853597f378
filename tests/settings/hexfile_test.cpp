#include "settings/hexfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "settings/inifile.h"
#include "support/intel_hex.h"
#include "support/recorders.h"

namespace {

using testsupport::RecordingStatusBar;
using testsupport::TempDir;

// Records end in a bare \n here: the edits below count from the line's end.
std::string Rec(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data) {
    return testsupport::HexRecord(address, type, data, "\n");
}
const std::string kEof = ":00000001FF\n";

class HexFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedStart_ = Ini.FlashStart;
        Ini.FlashStart = 0x08000000;
        std::memset(FlashImage, 0x55, sizeof FlashImage);  // what an earlier load left
    }
    void TearDown() override { Ini.FlashStart = savedStart_; }

    bool Load(const std::string& content) {
        dir.Write("f.hex", content);
        return LoadHexFile(bar, dir.File("f.hex"), message);
    }
    // True when every byte outside [from, from + n) is 0xFF.
    static bool RestIsEmpty(std::uint32_t from, std::uint32_t n) {
        for (std::uint32_t i = 0; i < kImageSize; ++i)
            if ((i < from || i >= from + n) && FlashImage[i] != 0xFF) return false;
        return true;
    }
    static std::vector<std::uint8_t> Image(std::uint32_t from, std::uint32_t n) {
        return {FlashImage + from, FlashImage + from + n};
    }

    TempDir dir;
    RecordingStatusBar bar;
    std::string message;

private:
    std::uint32_t savedStart_ = 0;
};

using B = std::vector<std::uint8_t>;

// --- success ---

TEST_F(HexFileTest, EndRecordAloneLoadsAnEmptyImage) {
    EXPECT_TRUE(Load(kEof));
    EXPECT_EQ(message, "..erledigt, nach 1 Zeilen");
    EXPECT_TRUE(RestIsEmpty(0, 0));
    EXPECT_TRUE(bar.entries.empty());
}

TEST_F(HexFileTest, DataGoesToItsOffset) {
    EXPECT_TRUE(Load(":0400000001020304F2\r\n:00000001FF\r\n"));
    EXPECT_EQ(message, "..erledigt, nach 2 Zeilen");
    EXPECT_EQ(Image(0, 4), (B{1, 2, 3, 4}));
    EXPECT_TRUE(RestIsEmpty(0, 4));
}

TEST_F(HexFileTest, LinearAddressRecordSetsTheUpperHalf) {
    EXPECT_TRUE(Load(":020000040001F9\n:0400000001020304F2\n" + kEof));
    EXPECT_EQ(Image(0x10000, 4), (B{1, 2, 3, 4}));
    EXPECT_TRUE(RestIsEmpty(0x10000, 4));
}

TEST_F(HexFileTest, RecordRunsAcross64KibWithoutWrapping) {
    B data(16);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    EXPECT_TRUE(Load(Rec(0xFFF8, 0, data) + kEof));
    EXPECT_EQ(Image(0xFFF8, 16), data);
    EXPECT_TRUE(RestIsEmpty(0xFFF8, 16));
}

TEST_F(HexFileTest, BytesBeyondTheImageAreDropped) {
    // 0x1FFFFC..0x200003: the last four are dropped, the checksum covers all eight.
    const std::string rec = Rec(0xFFFC, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_TRUE(Load(":02000004001FDB\n" + rec + Rec(0, 4, {0x00, 0x30}) + Rec(0x1234, 0, {9}) + kEof));
    EXPECT_EQ(Image(0x1FFFFC, 4), (B{1, 2, 3, 4}));
    EXPECT_TRUE(RestIsEmpty(0x1FFFFC, 4));  // the record at 0x301234 had no effect

    std::string bad = rec;
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    EXPECT_FALSE(Load(":02000004001FDB\n" + bad + kEof));
    EXPECT_EQ(message.rfind("Prüfsummenfehler auf Zeile 2 psum=", 0), 0u);
}

TEST_F(HexFileTest, LowerCaseAndTrailingTextAreAccepted) {
    std::string rec = Rec(0, 0, {0xAA, 0xBB, 0xCC, 0xDD});
    std::transform(rec.begin(), rec.end(), rec.begin(), [](char c) { return c >= 'A' && c <= 'F' ? c + 32 : c; });
    rec.insert(rec.size() - 1, "  ; comment");
    EXPECT_TRUE(Load(rec + ":00000001ff\n"));
    EXPECT_EQ(Image(0, 4), (B{0xAA, 0xBB, 0xCC, 0xDD}));
}

TEST_F(HexFileTest, OtherTypesAndTheEndRecordAreNotChecked) {
    EXPECT_TRUE(Load(":0400000508000000FF\n:0000000100\n"));
    EXPECT_TRUE(Load(":020000011234FF\n"));
    EXPECT_TRUE(Load(":00000001FF\n\n:garbage after the end\n"));
    EXPECT_EQ(message, "..erledigt, nach 1 Zeilen");
}

TEST_F(HexFileTest, EachLoadStartsFromAnEmptyImage) {
    ASSERT_TRUE(Load(Rec(0, 0, {1, 2, 3, 4, 5, 6, 7, 8}) + kEof));
    ASSERT_TRUE(Load(Rec(2, 0, {9}) + kEof));
    EXPECT_TRUE(RestIsEmpty(2, 1));
}

// --- failures, one per row ---

TEST_F(HexFileTest, MissingFileLeavesTheImageUntouched) {
    EXPECT_FALSE(LoadHexFile(bar, dir.File("none.hex"), message));
    EXPECT_EQ(message, "keine Datei");
    EXPECT_TRUE(std::all_of(FlashImage, FlashImage + kImageSize, [](std::uint8_t b) { return b == 0x55; }));
}

TEST_F(HexFileTest, FileEndsBeforeTheEndRecord) {
    EXPECT_FALSE(Load(""));
    EXPECT_EQ(message, "Dateeiende ohne Ende-Record");
    EXPECT_TRUE(RestIsEmpty(0, 0));
    EXPECT_FALSE(Load(Rec(0, 0, {1})));
    EXPECT_EQ(message, "Dateeiende ohne Ende-Record");
    EXPECT_EQ(FlashImage[0], 1);  // stored before the failure
}

TEST_F(HexFileTest, AddressAtOrAboveTheFlashStart) {
    EXPECT_FALSE(Load(":020000040800F2\n" + Rec(0, 0, {1}) + kEof));
    EXPECT_EQ(message, "ausserhalb: 08000000");
    Ini.FlashStart = 0;
    EXPECT_FALSE(Load(Rec(0x0010, 0, {1}) + kEof));
    EXPECT_EQ(message, "ausserhalb: 00000010");
    // The first byte inside fails, those before it are stored.
    Ini.FlashStart = 0x1002;
    EXPECT_FALSE(Load(Rec(0x1000, 0, {7, 8, 9}) + kEof));
    EXPECT_EQ(message, "ausserhalb: 00001002");
    EXPECT_EQ(Image(0x1000, 2), (B{7, 8}));
}

TEST_F(HexFileTest, RefusedContent) {
    const struct {
        std::string content;
        const char* message;
    } cases[] = {
        // format
        {" :00000001FF\n", "Hexfile: Formatfehler auf Zeile 1"},
        {Rec(0, 0, {1}) + "\n" + kEof, "Hexfile: Formatfehler auf Zeile 2"},
        {":00000001F\n", "Hexfile: Formatfehler auf Zeile 1"},  // 10 characters
        {"S00F000068656C6C6F202020202000003C\n", "Hexfile: Formatfehler auf Zeile 1"},
        // digits
        {":0400000001020G04F2\n" + kEof, "non Hex Zeichen"},
        {":0G000001FF\n", "non Hex Zeichen"},  // in the header, even of an end record
        {":0400000001020304\n" + kEof, "es fehlen Zeichen auf Zeile"},
        {":020000040001\n" + kEof, "es fehlen Zeichen auf Zeile"},
        // checksums
        {Rec(0, 5, {}) + Rec(0, 0, {1}) + ":0400000001020304F3\n" + kEof, "Prüfsummenfehler auf Zeile 3 psum=01"},
        {":0400000001020305F2\n" + kEof, "Prüfsummenfehler auf Zeile 1 psum=01"},
        {":0400000001020303F2\n" + kEof, "Prüfsummenfehler auf Zeile 1 psum=FF"},
        {":020000040001F8\n" + kEof, "Prüfsummenfehler auf Zeile 1"},
        // record types
        {Rec(0, 0, {1}) + ":020000021000EC\n" + kEof, "unerwarteter Record 2 auf Zeile 2"},
        {":04000003000001AD4B\n" + kEof, "unerwarteter Record 3 auf Zeile 1"},
        {":0400000400010000F7\n" + kEof, "Format Record 4 falsch auf Zeile 1"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Load(c.content)) << c.content;
        EXPECT_EQ(message, c.message) << c.content;
    }
}

// --- which fault wins when a line has several ---

TEST_F(HexFileTest, OrderOfTheTestPoints) {
    // A bad character beats a bad checksum.
    EXPECT_FALSE(Load(":04000000010G0304FF\n" + kEof));
    EXPECT_EQ(message, "non Hex Zeichen");
    // A later address at the flash start replaces a digit error met before it.
    Ini.FlashStart = 0x0002;
    EXPECT_FALSE(Load(":040000000G020304F2\n" + kEof));
    EXPECT_EQ(message, "ausserhalb: 00000002");
    // Type 02 is refused before its own characters are looked at.
    EXPECT_FALSE(Load(":02000002zzzzzz\n"));
    EXPECT_EQ(message, "unerwarteter Record 2 auf Zeile 1");
    // A type-04 count is checked before its data.
    EXPECT_FALSE(Load(":01000004zzzzzz\n"));
    EXPECT_EQ(message, "Format Record 4 falsch auf Zeile 1");
}

}  // namespace
