#include "settings/konfig.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "platform/textfile.h"
#include "settings/inifile.h"
#include "support/recorders.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

class KonfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = Ini;
        ClearIni();
        SetIniDefaults(dir.path() + "/");
    }
    void TearDown() override { Ini = saved_; }

    // Writes the lines, loads them over the start values.
    void Load(const std::string& content) {
        dir.Write("k.cfp", content);
        ASSERT_TRUE(LoadKonfig(dir.File("k.cfp")));
    }

    TempDir dir;

private:
    TIniRec saved_;
};

// --- round trip ---

TEST_F(KonfigTest, StartValuesAreWrittenAsTheElevenLines) {
    ASSERT_TRUE(SaveKonfig(Ini.KonfigDatei));
    EXPECT_EQ(dir.Read("default.cfp"),
              "BAUD    28800\r\n"
              "COM     1\r\n"
              "RESET   1\r\n"
              "BOOT    5\r\n"
              "MANU    TRUE\r\n"
              "AUTOERA TRUE\r\n"
              "CHIPNAM STM32F???\r\n"
              "FLASH   134217728\r\n"
              "FLENG   262144\r\n"
              "INI     " + dir.path() + "/default.cfp\r\n"
              "HEX     \r\n");
}

TEST_F(KonfigTest, SavedValuesComeBack) {
    Ini = TIniRec{57600, 12, 3, 4, false, true, "STM32F103xB ", 0x7FFFFFFF, 0x20000, "elsewhere.cfp",
                  "fw dir/a b.hex "};
    const TIniRec expected = Ini;
    ASSERT_TRUE(SaveKonfig(dir.File("k.cfp")));
    ClearIni();
    ASSERT_TRUE(LoadKonfig(dir.File("k.cfp")));
    EXPECT_EQ(Ini.Baud, expected.Baud);
    EXPECT_EQ(Ini.ComNr, expected.ComNr);
    EXPECT_EQ(Ini.ResetMode, expected.ResetMode);
    EXPECT_EQ(Ini.BootMode, expected.BootMode);
    EXPECT_EQ(Ini.ManuellTyp, expected.ManuellTyp);
    EXPECT_EQ(Ini.AutoErase, expected.AutoErase);
    EXPECT_EQ(Ini.ChipName, expected.ChipName);
    EXPECT_EQ(Ini.FlashStart, expected.FlashStart);
    EXPECT_EQ(Ini.FlashLen, expected.FlashLen);
    EXPECT_EQ(Ini.HexDatei, expected.HexDatei);
    EXPECT_EQ(Ini.KonfigDatei, dir.File("k.cfp"));  // the file read, not its INI line
}

TEST_F(KonfigTest, RoundTripExceptions) {
    Ini.Baud = -9600;
    Ini.ResetMode = -1;
    Ini.FlashStart = 0x80000000;
    Ini.FlashLen = 0xFFFFFFFF;
    Ini.ChipName = "   STM32F4";
    Ini.HexDatei = "  a.hex";
    ASSERT_TRUE(SaveKonfig(dir.File("k.cfp")));
    const std::string text = dir.Read("k.cfp");
    EXPECT_NE(text.find("BAUD    -9600\r\n"), std::string::npos);
    EXPECT_NE(text.find("RESET   -1\r\n"), std::string::npos);
    EXPECT_NE(text.find("FLASH   2147483648\r\n"), std::string::npos);
    EXPECT_NE(text.find("FLENG   4294967295\r\n"), std::string::npos);

    ASSERT_TRUE(LoadKonfig(dir.File("k.cfp")));
    EXPECT_EQ(Ini.Baud, 9600);
    EXPECT_EQ(Ini.ResetMode, 1);
    EXPECT_EQ(Ini.FlashStart, 0u);
    EXPECT_EQ(Ini.FlashLen, 0u);
    EXPECT_EQ(Ini.ChipName, "STM32F4");
    EXPECT_EQ(Ini.HexDatei, "a.hex");
}

TEST_F(KonfigTest, EmptyNameTouchesNothing) {
    const TIniRec before = Ini;
    EXPECT_FALSE(SaveKonfig(""));
    EXPECT_FALSE(LoadKonfig(""));
    EXPECT_EQ(Ini.KonfigDatei, before.KonfigDatei);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// --- the reader's quirks ---

TEST_F(KonfigTest, KeysMatchByPrefixWithTheirBlank) {
    Load("COM 3\n");
    EXPECT_EQ(Ini.ComNr, 3);
    Load("COM3\ncom 4\n COM 5\n");
    EXPECT_EQ(Ini.ComNr, 3);
}

TEST_F(KonfigTest, NumbersAreEveryDigitOfTheLine) {
    Load("BOOT    5\r\nRESET   -1\r\nFLASH   0x08000000\r\nBAUD    57600 115200\r\nFLENG\r\n");
    EXPECT_EQ(Ini.BootMode, 5);
    EXPECT_EQ(Ini.ResetMode, 1);
    EXPECT_EQ(Ini.FlashStart, 8000000u);   // decimal digits 008000000
    EXPECT_EQ(Ini.Baud, 0);                // 57600115200 is too big
    EXPECT_EQ(Ini.FlashLen, 0x40000u);     // "FLENG" without its blank is no key
}

TEST_F(KonfigTest, TrueCountsAnywhereInUpperCaseOnly) {
    Load("AUTOERA xxTRUEyy\nMANU    True\n");
    EXPECT_TRUE(Ini.AutoErase);
    EXPECT_FALSE(Ini.ManuellTyp);
    Load("MANU    FALSE\nAUTOERA \n");
    EXPECT_FALSE(Ini.ManuellTyp);
    EXPECT_FALSE(Ini.AutoErase);
}

TEST_F(KonfigTest, TextValuesLoseSevenCharactersThenLeadingBlanks) {
    Load("CHIPNAM    STM32F103 \nHEX D:\\a.hex\n");
    EXPECT_EQ(Ini.ChipName, "STM32F103 ");
    EXPECT_EQ(Ini.HexDatei, "a.hex");
    Load("HEX\n");  // no key: the blank belongs to it
    EXPECT_EQ(Ini.HexDatei, "a.hex");
    Load("HEX \n");
    EXPECT_EQ(Ini.HexDatei, "");
}

TEST_F(KonfigTest, ChipNameBeginningWithHexAlsoSetsHexDatei) {
    Load("CHIPNAM HEX     fw.hex\n");
    EXPECT_EQ(Ini.ChipName, "HEX     fw.hex");
    EXPECT_EQ(Ini.HexDatei, "fw.hex");
}

TEST_F(KonfigTest, PartialFileKeepsOtherFieldsAndLastLineWins) {
    Load("HEX     x.hex\nBAUD    9600\nINI     other.cfp\nBAUD    19200\n");
    EXPECT_EQ(Ini.Baud, 19200);
    EXPECT_EQ(Ini.HexDatei, "x.hex");
    EXPECT_EQ(Ini.ComNr, 1);
    EXPECT_EQ(Ini.ChipName, "STM32F???");
    EXPECT_EQ(Ini.KonfigDatei, dir.File("k.cfp"));
}

TEST_F(KonfigTest, EmptyFileChangesOnlyKonfigDatei) {
    TIniRec before = Ini;
    Load("");
    before.KonfigDatei = dir.File("k.cfp");
    EXPECT_EQ(Ini.Baud, before.Baud);
    EXPECT_EQ(Ini.ChipName, before.ChipName);
    EXPECT_EQ(Ini.FlashStart, before.FlashStart);
    EXPECT_EQ(Ini.KonfigDatei, before.KonfigDatei);
}

TEST_F(KonfigTest, MissingFileRaisesAndKeepsKonfigDatei) {
    const std::string before = Ini.KonfigDatei;
    EXPECT_THROW(LoadKonfig(dir.File("none.cfp")), platform::FileError);
    EXPECT_EQ(Ini.KonfigDatei, before);
}

// --- a failed save keeps the previous file ---

constexpr const char* kPrevious = "BAUD    9600\r\n";

TEST_F(KonfigTest, SaveReplacesTheOldFileWhole) {
    dir.Write("k.cfp", std::string(4096, '#'));
    ASSERT_TRUE(SaveKonfig(dir.File("k.cfp")));
    EXPECT_EQ(dir.Read("k.cfp").rfind("BAUD    28800\r\n", 0), 0u);
    EXPECT_EQ(dir.Read("k.cfp").find('#'), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("k.cfp.tmp")));
}

TEST_F(KonfigTest, SaveIntoMissingDirectoryRaises) {
    EXPECT_THROW(SaveKonfig(dir.File("no/such/k.cfp")), platform::FileError);
    EXPECT_FALSE(fs::exists(dir.File("no")));
}

#ifndef _WIN32
TEST_F(KonfigTest, SaveThatFailsPartWayKeepsThePreviousFile) {
    dir.Write("k.cfp", kPrevious);
    // The file size limit makes the write fail after a few bytes.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(SaveKonfig(dir.File("k.cfp")), platform::FileError);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(dir.Read("k.cfp"), kPrevious);
    EXPECT_FALSE(fs::exists(dir.File("k.cfp.tmp")));
}
#endif

TEST_F(KonfigTest, SaveOverADirectoryRaisesAndLeavesNoTemporary) {
    fs::create_directory(dir.File("k.cfp"));
    EXPECT_THROW(SaveKonfig(dir.File("k.cfp")), platform::FileError);
    EXPECT_TRUE(fs::is_directory(dir.File("k.cfp")));
    EXPECT_FALSE(fs::exists(dir.File("k.cfp.tmp")));
}

#ifndef _WIN32
// A folder that takes no temporary file gets the file written in place;
// where the file can't be written either, the save raises.
TEST_F(KonfigTest, SaveIntoReadOnlyDirectoryAndFileRaises) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    dir.Write("k.cfp", kPrevious);
    fs::permissions(dir.File("k.cfp"), fs::perms::owner_read);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(SaveKonfig(dir.File("k.cfp")), platform::FileError);
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(dir.Read("k.cfp"), kPrevious);
}

TEST_F(KonfigTest, SaveThroughALinkKeepsTheLink) {
    dir.Write("real.cfp", kPrevious);
    fs::create_symlink("real.cfp", dir.File("k.cfp"));
    ASSERT_TRUE(SaveKonfig(dir.File("k.cfp")));
    EXPECT_TRUE(fs::is_symlink(dir.File("k.cfp")));
    EXPECT_EQ(dir.Read("real.cfp").rfind("BAUD    28800\r\n", 0), 0u);
}
#endif  // a read-only folder, a file size limit and links are POSIX matters

}  // namespace
