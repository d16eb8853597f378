// The flash jobs against the simulated chip on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "bootloader/lolevel.h"
#include "jobs/algorithmen.h"
#include "jobs/session.h"
#include "jobs/steps.h"
#include "platform/textfile.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "sim/rig.h"
#include "support/forwarding_device.h"
#include "support/recorders.h"

using testsupport::RecordingBeep;
using testsupport::RecordingStatusBar;
using testsupport::TempDir;

namespace {

class JobsTest : public ::testing::Test {
protected:
    explicit JobsTest(sim::ChipPreset preset = sim::F103Preset()) : rig_(std::move(preset)) {}

    void SetUp() override {
        ClearIni();
        SetIniDefaults("");
        Ini.BootMode = 4;  // what the window makes of the start value
        Ini.FlashLen = 0x1000;
        std::memset(FlashImage, 0xFF, kImageSize);
        port_.SetBaud(115200);
        port_.SetParity(2);
        ASSERT_TRUE(port_.Open());
    }

    std::vector<std::uint8_t>& flash() { return rig_.chip().Flash(); }

    std::string Run(JobResult (*job)(TComPort&, platform::StatusBar&), bool connect = false) {
        if (connect) {
            EXPECT_TRUE(Connect(port_));
        }
        return job(port_, bar_).text;
    }

    std::size_t Count(const std::string& prefix) const {
        return static_cast<std::size_t>(std::count_if(bar_.entries.begin(), bar_.entries.end(), [&](const auto& e) {
            return e.text.rfind(prefix, 0) == 0;
        }));
    }

    sim::Rig rig_;
    TComPort port_;
    RecordingStatusBar bar_;
    RecordingBeep beep_;
    TempDir dir_;
};

class F407JobsTest : public JobsTest {
protected:
    F407JobsTest() : JobsTest(sim::F407Preset()) {}
};

// --- How each job ends ---------------------------------------------------------

// A chip on the line with the settings the fixture uses, fresh for each case.
struct Line {
    explicit Line(sim::ChipPreset preset) : rig(std::move(preset)) {
        ClearIni();
        SetIniDefaults("");
        Ini.BootMode = 4;
        Ini.FlashLen = 0x1000;
        std::memset(FlashImage, 0xFF, kImageSize);
        port.SetBaud(115200);
        port.SetParity(2);
        EXPECT_TRUE(port.Open());
    }
    sim::Chip& chip() { return rig.chip(); }
    JobResult Connected(JobResult (*job)(TComPort&, platform::StatusBar&)) {
        EXPECT_TRUE(Connect(port));
        return job(port, bar);
    }
    TPageLayout Layout() {
        TPageLayout layout;
        layout.flashStart = chip().preset().flashStart;
        for (const auto& u : chip().preset().pages) layout.sizes.push_back(u.size);
        return layout;
    }

    sim::Rig rig;
    TComPort port;
    RecordingStatusBar bar;
    RecordingBeep beep;
    TempDir dir;
};

struct JobCase {
    const char* what;
    std::function<void(Line&)> arrange;
    std::function<JobResult(Line&)> run;
    JobOutcome outcome;
    std::string text;
    std::uint64_t bytes;
    std::vector<unsigned> beeps;
};

// The outcome is set where the job ends, beside its text: a front end that
// decides on it may never disagree with what the status bar says.
TEST(JobResults, EachJobThroughSuccessAndEveryFailureItMeets) {
    using O = JobOutcome;
    const auto none = [](Line&) {};
    const auto noChip = [](Line& l) { l.port.SetPort(77); };
    const auto refuse = [](std::uint8_t code) { return [code](Line& l) { l.chip().faults().refuse = {code}; }; };
    const auto protectedChip = [](Line& l) {
        l.chip().SetReadoutProtected(true);
        FlashImage[0] = 1;
    };
    const auto silentAfterSync = [](Line& l) { l.chip().faults().silentAfter = 1; };
    const auto tooLong = [](Line&) { Ini.FlashLen = kImageSize + 0x100; };
    const auto program = [](Line& l) { return l.Connected(ProgramFlash); };
    const auto verify = [](Line& l) { return l.Connected(VerifyFlash); };
    const auto erase = [](Line& l) { return EraseChip(l.port, l.bar); };
    const auto blank = [](Line& l) { return BlankCheck(l.port, l.bar); };
    const auto read = [](Line& l) { return ReadOut(l.dir.File("out.bin"), l.port, l.bar); };
    const auto pages = [](Line& l) {
        TBootSession session(l.port, 100);
        return ErasePages(session, l.bar, l.Layout(), {0, 1});
    };
    const auto go = [](Line& l) {
        TBootSession session(l.port, 100);
        return StartProgram(session, l.bar, 0x08000000);
    };
    const auto protect = [](Line& l) {
        TBootSession session(l.port, 100);
        return ProtectReadout(session, l.bar);
    };
    const JobCase cases[] = {
        {"program an empty image", none, program, O::NothingToDo, "nichts zu programmieren", 0, {}},
        {"program", [](Line&) { FlashImage[0x100] = 0x42; }, program, O::Done, "..ende, programmiert bis 00000200",
         0x200, {0}},
        {"program, a block refused",
         [](Line& l) {
             std::memset(FlashImage, 0x11, 0x400);
             l.chip().faults().nackWriteAt = 0x08000100;
         },
         program, O::Refused, "Fehler: 1F NAK bei $00000200", 0x100, {48}},
        {"program over data on an F1",
         [](Line& l) {
             std::fill(l.chip().Flash().begin(), l.chip().Flash().begin() + 0x100, 0x00);
             std::memset(FlashImage, 0x5A, 0x100);
         },
         program, O::Refused, "Fehler: 1F NAK bei $00000100", 0, {48}},
        {"verify an empty image", none, verify, O::NothingToDo, "nichts zu verifizieren", 0, {}},
        {"verify",
         [](Line& l) {
             FlashImage[0] = 0x42;
             l.chip().Flash()[0] = 0x42;
         },
         verify, O::Done,
         "..ende, verifiziert bis 00000100", 0x100, {0}},
        {"verify, a byte differs",
         [](Line& l) {
             FlashImage[0x1234] = 0x12;
             l.chip().Flash()[0x1234] = 0x00;
         },
         verify, O::Mismatch, "Fehler bei 00001234 ist: 00 soll: 12", 0x1200, {48}},
        {"verify a protected chip", protectedChip, verify, O::Refused, "Fehler bei $00000000", 0, {}},
        {"erase", none, erase, O::Done, "Chip ist gelöscht", 0, {}},
        {"erase without a chip", noChip, erase, O::NoConnection, "keine Verbindung zum Chip", 0, {}},
        {"erase, readout unprotect refused", refuse(0x92), erase, O::Refused, "Fehler beim Readout Unprotect", 0, {}},
        {"erase, write unprotect refused", refuse(0x73), erase, O::Refused,
         "no cmd wunprot 1FFehler beim Write Unprotect", 0, {}},
        {"erase refused", refuse(0x43), erase, O::Refused, "no cmd era 1FFehler beim EraseMem", 0, {}},
        {"blank check", none, blank, O::Done, "Chip ist leer bis $00001000", 0x1000, {}},
        {"blank check, a used byte", [](Line& l) { l.chip().Flash()[0x234] = 0x7E; }, blank, O::NotBlank,
         "Chip nicht leer bei $00000234", 0x200, {64}},
        {"blank check of a protected chip", protectedChip, blank, O::Refused, "00000000 NAK on Cmd", 0, {}},
        {"blank check without a chip", noChip, blank, O::NoConnection, "Bootlader reagiert nicht", 0, {64}},
        {"blank check, silent after the sync", silentAfterSync, blank, O::NoReply, "keine Antwort vom Bootlader", 0, {64}},
        {"blank check past the read image", tooLong, blank, O::OutOfRange, "Flashlänge $00200100 zu gross", 0, {}},
        {"read", none, read, O::Done, "gelesen bis $00001000 fertig.", 0x1000, {}},
        {"read without a chip", noChip, read, O::NoConnection, "keine Verbindung.", 0, {}},
        {"read, the chip falls silent", [](Line& l) { l.chip().faults().silentAfter = 1 + 4 * 259 + 3 + 50; }, read,
         O::Refused, "00000400 timeout gelesen: 255", 0x400, {}},
        {"read past the read image", tooLong, read, O::OutOfRange, "Flashlänge $00200100 zu gross", 0, {}},
        {"erase pages", none, pages, O::Done, "Seiten gelöscht: 0-1", 0, {}},
        {"erase pages without a chip", noChip, pages, O::NoConnection, "keine Verbindung zum Chip", 0, {}},
        {"erase pages, silent after the sync", silentAfterSync, pages, O::NoReply, "keine Antwort vom Bootlader", 0,
         {}},
        {"erase pages, Get refused", refuse(0x00), pages, O::Unsupported,
         "Bootlader ohne Erase (43) und Extended Erase (44)", 0, {}},
        {"erase pages refused", refuse(0x43), pages, O::Refused, "no cmd era 1FFehler beim EraseMem", 0, {}},
        {"go", none, go, O::Done, "gestartet bei $08000000", 0, {}},
        {"go without a chip", noChip, go, O::NoConnection, "keine Verbindung zum Chip", 0, {}},
        {"go refused", refuse(0x21), go, O::Refused, "Fehler: 1F Go nicht angenommen", 0, {}},
        {"protect", none, protect, O::Done, "Readout-Schutz gesetzt", 0, {}},
        {"protect without a chip", noChip, protect, O::NoConnection, "keine Verbindung zum Chip", 0, {}},
        {"protect refused", refuse(0x82), protect, O::Refused, "no cmd rprot 1FFehler beim Readout Protect", 0, {}},
    };
    for (const JobCase& c : cases) {
        SCOPED_TRACE(c.what);
        Line line(sim::F103Preset());
        c.arrange(line);
        const JobResult r = c.run(line);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.Ok(), c.outcome == O::Done);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.bytes, c.bytes);
        EXPECT_EQ(line.beep.types, c.beeps);
    }
}

// --- ProgramFlash and VerifyFlash -------------------------------------------

TEST_F(JobsTest, EmptyImageSendsNothing) {
    rig_.chip().ClearLog();
    EXPECT_EQ(Run(ProgramFlash), "nichts zu programmieren");
    EXPECT_EQ(Run(VerifyFlash), "nichts zu verifizieren");
    EXPECT_TRUE(beep_.types.empty());
    EXPECT_TRUE(bar_.entries.empty());
    EXPECT_TRUE(rig_.chip().Log().empty());
}

TEST_F(JobsTest, UsedExtentEndsWithTheBlockOfTheLastUsedByte) {
    struct Case {
        std::uint32_t used;
        const char* programmed;
        std::size_t blocks;
    };
    const Case cases[] = {{0, "..ende, programmiert bis 00000100", 1},
                          {0xFF, "..ende, programmiert bis 00000100", 1},
                          {0x100, "..ende, programmiert bis 00000200", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.used);
        std::memset(FlashImage, 0xFF, kImageSize);
        std::fill(flash().begin(), flash().end(), 0xFF);
        FlashImage[c.used] = 0x42;
        bar_.entries.clear();
        EXPECT_EQ(Run(ProgramFlash, true), c.programmed);
        EXPECT_EQ(Count("programmiere $"), c.blocks);
        EXPECT_EQ(flash()[c.used], 0x42);
        const std::string verified = std::string("..ende, verifiziert bis ") + (c.programmed + 25);
        EXPECT_EQ(Run(VerifyFlash, true), verified);
    }
    EXPECT_EQ(beep_.types, (std::vector<unsigned>{0, 0, 0, 0, 0, 0}));
}

TEST_F(JobsTest, ProgramCoversTheBlanksBetweenUsedBlocksWithARepaintEach) {
    FlashImage[0] = 1;
    FlashImage[0x10000] = 2;
    EXPECT_EQ(Run(ProgramFlash, true), "..ende, programmiert bis 00010100");
    EXPECT_EQ(Count("programmiere $"), 0x101u);
    EXPECT_EQ(bar_.entries[1].text, "programmiere $00000100");
    EXPECT_TRUE(std::all_of(bar_.entries.begin(), bar_.entries.end(), [](const auto& e) { return e.repainted; }));
    EXPECT_EQ(flash()[0x10000], 2);
}

TEST_F(F407JobsTest, ProgrammingAChipThatHoldsDataOnlyClearsBitsOnTheF4) {
    std::fill(flash().begin(), flash().begin() + 0x100, 0x0F);
    std::memset(FlashImage, 0xF5, 0x100);
    EXPECT_EQ(Run(ProgramFlash, true), "..ende, programmiert bis 00000100");
    EXPECT_EQ(flash()[0], 0x05);
    EXPECT_EQ(Run(VerifyFlash, true), "Fehler bei 00000000 ist: 05 soll: F5");
}

// --- EraseChip ---------------------------------------------------------------

TEST_F(JobsTest, EraseUsesTheSimpleEraseWhereTheChipListsOnly0x43) {
    std::fill(flash().begin(), flash().end(), 0x00);
    EXPECT_EQ(Run(EraseChip), "Chip ist gelöscht");
    EXPECT_EQ(bar_.Texts(), (std::vector<std::string>{"Verbinde", "Lese Commands", "Disable ReadProtect",
                                                        "Disable WriteProtect", "Lösche"}));
    EXPECT_TRUE(std::all_of(flash().begin(), flash().end(), [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(DiagText, "no proc era 79");
    EXPECT_TRUE(beep_.types.empty());
}

TEST_F(F407JobsTest, EraseUsesTheExtendedEraseWhereTheChipLists0x44) {
    std::fill(flash().begin(), flash().end(), 0x00);
    EXPECT_EQ(Run(EraseChip), "Chip ist gelöscht");
    EXPECT_EQ(DiagText, "no proc eex 79");
    EXPECT_TRUE(std::all_of(flash().begin(), flash().end(), [](auto b) { return b == 0xFF; }));
}

TEST_F(JobsTest, EraseUnprotectsAReadoutProtectedChip) {
    rig_.chip().SetReadoutProtected(true);
    EXPECT_EQ(Run(EraseChip), "Chip ist gelöscht");
    EXPECT_FALSE(rig_.chip().ReadoutProtected());
    FlashImage[0] = 0x42;
    EXPECT_EQ(Run(ProgramFlash, true), "..ende, programmiert bis 00000100");
}

// A line that swallows the sync byte of the n-th Connect (counted by its purge).
class DropNthSync : public testsupport::ForwardingDevice {
public:
    DropNthSync(platform::SerialDeviceService& inner, int n) : ForwardingDevice(inner), n_(n) {}
    std::int32_t Write(platform::DeviceHandle h, const std::uint8_t* d, std::int32_t n) override {
        if (n == 1 && d[0] == 0x7F && purges_ == n_ && !dropped_) {
            dropped_ = true;
            return 1;
        }
        return inner_.Write(h, d, n);
    }
    bool Purge(platform::DeviceHandle h) override {
        ++purges_;
        return inner_.Purge(h);
    }

private:
    int n_;
    int purges_ = 0;
    bool dropped_ = false;
};

TEST_F(JobsTest, EachConnectOfTheEraseCanFail) {
    const std::vector<std::string> lastStatus = {"Verbinde", "Disable ReadProtect", "Disable WriteProtect"};
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        DropNthSync drop(rig_.line(), n);
        bar_.entries.clear();
        EXPECT_EQ(Run(EraseChip), "keine Verbindung zum Chip");
        EXPECT_EQ(bar_.Text(), lastStatus[static_cast<std::size_t>(n - 1)]);
    }
}

// --- BlankCheck --------------------------------------------------------------

TEST_F(JobsTest, BlankCheckCoversEveryBlockBelowTheFlashLength) {
    Ini.FlashLen = 0;
    EXPECT_EQ(Run(BlankCheck), "Chip ist leer bis $00000000");
    Ini.FlashLen = 0x10080;
    bar_.entries.clear();
    EXPECT_EQ(Run(BlankCheck), "Chip ist leer bis $00010100");
    EXPECT_EQ(Count("teste $"), 0x101u);
    EXPECT_EQ(bar_.entries[1].text, "teste $08000000");  // after "Bootlader ok."
    EXPECT_TRUE(beep_.types.empty());
}

TEST_F(JobsTest, ReadJobsRefuseAFlashLongerThanTheReadImage) {
    Ini.FlashLen = kImageSize + 0x100;
    rig_.chip().ClearLog();
    EXPECT_EQ(Run(BlankCheck), "Flashlänge $00200100 zu gross");
    const std::string file = dir_.File("big.bin");
    ReadOut(file, port_, bar_);
    EXPECT_EQ(bar_.Text(), "Flashlänge $00200100 zu gross");
    EXPECT_FALSE(platform::FileExists(file));
    EXPECT_TRUE(rig_.chip().Log().empty());
}

// --- ReadOut -----------------------------------------------------------------

TEST_F(JobsTest, ReadOutWritesTheWholeFlashLength) {
    for (std::size_t i = 0; i < 0x1000; ++i) flash()[i] = static_cast<std::uint8_t>(i * 7);
    const std::string file = dir_.File("out.bin");
    ReadOut(file, port_, bar_);
    EXPECT_EQ(bar_.Text(), "gelesen bis $00001000 fertig.");
    EXPECT_EQ(testsupport::ReadFile(file), std::string(flash().begin(), flash().begin() + 0x1000));
    EXPECT_EQ(bar_.entries[1].text, "lese $08000000");
}

TEST_F(JobsTest, ReadOutWithoutAConnectionLeavesAnEmptyFile) {
    port_.SetPort(77);
    const std::string file = dir_.File("out.bin");
    ReadOut(file, port_, bar_);
    EXPECT_EQ(bar_.Text(), "keine Verbindung.");
    EXPECT_TRUE(platform::FileExists(file));
    EXPECT_EQ(testsupport::ReadFile(file), "");
}

TEST_F(JobsTest, ReadOutFailingPartWayKeepsWhatCameAndFillsTheRest) {
    std::fill(flash().begin(), flash().end(), 0x33);
    // Sync ACK, four whole blocks (three ACKs and 256 bytes each), then three
    // ACKs and 50 bytes of the block at 0x400.
    rig_.chip().faults().silentAfter = 1 + 4 * 259 + 3 + 50;
    const std::string file = dir_.File("out.bin");
    ReadOut(file, port_, bar_);
    EXPECT_EQ(bar_.Text(), "00000400 timeout gelesen: 255");
    const std::string content = testsupport::ReadFile(file);
    ASSERT_EQ(content.size(), 0x1000u);
    EXPECT_EQ(content.substr(0, 0x400 + 50), std::string(0x400 + 50, '\x33'));
    EXPECT_EQ(content.substr(0x400 + 50), std::string(0x1000 - 0x400 - 50, '\xFF'));
}

TEST_F(JobsTest, ReadOutToAFileThatCannotBeCreatedTouchesNoChip) {
    rig_.chip().ClearLog();
    EXPECT_THROW(ReadOut(dir_.File("missing/dir/out.bin"), port_, bar_), platform::FileError);
    EXPECT_TRUE(rig_.chip().Log().empty());
}

// A short read stays in the file buffer, so the full disk shows only at Close.
TEST_F(JobsTest, ReadOutOntoAFullDiskNeverSaysDone) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Ini.FlashLen = 0x100;
    EXPECT_THROW(ReadOut("/dev/full", port_, bar_), platform::FileError);
    for (const auto& e : bar_.entries) EXPECT_EQ(e.text.find("fertig"), std::string::npos) << e.text;
}

}  // namespace
