// The one start-up of the window and the command line, with the
// differences they ask for.
#include "settings/startup.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/textfile.h"
#include "settings/inifile.h"
#include "support/recorders.h"

namespace {

using testsupport::TempDir;

class Items : public TChipList {
public:
    void AddItem(const std::string& text) override { items.push_back(text); }
    std::vector<std::string> items;
};

TEST(StartUp, WindowWritesAMissingConfigurationTheCommandLineNever) {
    for (const bool write : {false, true}) {
        SCOPED_TRACE(write);
        TempDir dir;
        dir.Write("targets.cfi", "F103;410;8000000;0;801FFFF;0\r\n");
        FlashImage[5] = 0;
        Items chips;
        TStartUp how;
        how.exeDir = dir.path() + "/";
        how.chips = &chips;
        how.writeKonfig = write;
        const TStarted started = StartUp(how);
        EXPECT_EQ(FlashImage[5], 0xFF);
        EXPECT_EQ(chips.items.size(), 1u);
        EXPECT_EQ(started.files.konfigFile, dir.File("default.cfp"));
        EXPECT_EQ(Ini.KonfigDatei, dir.File("default.cfp"));
        EXPECT_EQ(platform::FileExists(dir.File("default.cfp")), write);
        EXPECT_EQ(Ini.Baud, 28800);
    }
}

TEST(StartUp, ConfigurationThenArgumentThenTheBaudRule) {
    TempDir dir;
    dir.Write("default.cfp", "BAUD 9600\r\n");
    dir.Write("fw.HeX", ":00000001FF\r\n");
    dir.Write("line.cfp", "BAUD 1200\r\n");
    TStartUp how;
    how.exeDir = dir.path() + "/";
    how.argument = dir.File("fw.HeX");
    StartUp(how);
    EXPECT_EQ(Ini.Baud, 9600);
    EXPECT_EQ(Ini.HexDatei, dir.File("fw.HeX"));

    how.argument = dir.File("line.cfp");
    StartUp(how);
    EXPECT_EQ(Ini.Baud, 38400);  // 1200 is below the slowest rate
}

TEST(StartUp, ANamedConfigurationMustExist) {
    TempDir dir;
    TStartUp how;
    how.exeDir = dir.path() + "/";
    how.konfigFile = dir.File("none.cfp");
    how.writeKonfig = false;
    EXPECT_TRUE(StartUp(how).konfigMissing);
    dir.Write("some.cfp", "BAUD 57600\r\n");
    how.konfigFile = dir.File("some.cfp");
    EXPECT_FALSE(StartUp(how).konfigMissing);
    EXPECT_EQ(Ini.Baud, 57600);
    EXPECT_FALSE(platform::FileExists(dir.File("default.cfp")));
}

}  // namespace
