// The command line's job steps on the in-process chip: one connection for a
// row of steps, ranges that leave the rest of the flash alone, page erase.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "jobs/session.h"
#include "jobs/steps.h"
#include "platform/hex_text.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "sim/rig.h"
#include "support/recorders.h"

namespace {

class StepsTest : public ::testing::Test {
protected:
    explicit StepsTest(sim::ChipPreset preset = sim::F103Preset()) : rig(std::move(preset)) {
        ClearIni();
        SetIniDefaults("");
        Ini.BootMode = 4;
        Ini.FlashLen = 0x1000;
        port.SetBaud(115200);
        port.SetParity(2);
        EXPECT_TRUE(port.Open());
    }
    int LogCount(const std::string& part) {
        const auto& log = rig.chip().Log();
        return static_cast<int>(std::count_if(log.begin(), log.end(),
                                              [&](const std::string& l) { return l.find(part) != l.npos; }));
    }
    std::string Text() const { return bar.Text(); }

    sim::Rig rig;
    TComPort port;
    testsupport::RecordingStatusBar bar;
    testsupport::RecordingBeep beep;
    testsupport::TempDir dir;
};

TEST_F(StepsTest, OneConnectionUntilTheChipResets) {
    TBootSession session(port, 100);
    EXPECT_EQ(IdentifyChip(session).result, TIdentification::Done);
    EXPECT_TRUE(BlankCheck(session, bar).Ok());
    EXPECT_TRUE(ReadOut(dir.File("out.bin"), session, bar).Ok());
    EXPECT_EQ(session.Connects(), 1u);
    EXPECT_EQ(LogCount("sync at"), 1);
    // Both unprotect commands reset the chip: two connects more, and it ends connected.
    EXPECT_TRUE(EraseChip(session, bar).Ok());
    EXPECT_EQ(session.Connects(), 3u);
    EXPECT_TRUE(session.Connected());
    EXPECT_TRUE(StartProgram(session, bar, 0x08000000).Ok());
    EXPECT_EQ(rig.chip().state(), sim::Chip::State::UserProgram);
    EXPECT_FALSE(session.Connected());
    // Protection takes effect by a reset: the session ends again.
    EXPECT_TRUE(ProtectReadout(session, bar).Ok());
    EXPECT_EQ(session.Connects(), 4u);
    EXPECT_TRUE(rig.chip().ReadoutProtected());
    EXPECT_FALSE(session.Connected());
    EXPECT_EQ(LogCount("sync at"), 4);
}

TEST_F(StepsTest, RangesLeaveTheFlashAroundThemAlone) {
    // A bootloader in the first 16 KiB; F1 flash refuses to write 0xFF over it.
    auto& flash = rig.chip().Flash();
    std::fill(flash.begin(), flash.begin() + 0x4000, 0x00);
    std::memset(FlashImage, 0xFF, kImageSize);
    for (std::uint32_t k = 0x4000; k < 0x4100; ++k) FlashImage[k] = static_cast<std::uint8_t>(k);
    for (std::uint32_t k = 0x4800; k < 0x4810; ++k) FlashImage[k] = static_cast<std::uint8_t>(k * 3);
    const std::vector<TImageRange> ranges{{0x4000, 0x4100}, {0x4800, 0x4810}};
    TBootSession session(port, 100);
    ASSERT_TRUE(session.Ensure());
    EXPECT_EQ(ProgramRanges(port, bar, ranges).text, "..ende, programmiert bis 00004900");
    EXPECT_EQ(LogCount("Write Memory"), 2);
    EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + 0x4000, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(0, std::memcmp(flash.data() + 0x4800, FlashImage + 0x4800, 0x100));
    // The bootloader differs from the image's 0xFF, but lies outside the ranges.
    const JobResult verified = VerifyRanges(port, bar, ranges);
    EXPECT_EQ(verified.text, "..ende, verifiziert bis 00004900");
    EXPECT_EQ(verified.bytes, 0x200u);  // two blocks of 256
    flash[0x4805] ^= 0x40;
    EXPECT_EQ(VerifyRanges(port, bar, ranges).text, "Fehler bei 00004805 ist: " + platform::Hex2(flash[0x4805]) +
                           " soll: " + platform::Hex2(FlashImage[0x4805]));
}

struct EraseCase {
    const char* what;
    sim::ChipPreset preset;
    std::uint32_t flashSize;
    std::vector<std::uint16_t> pages;
    JobOutcome outcome;
    std::string closing;
    std::vector<std::string> log;  // erase lines the chip logs
};

// Long lists go out in commands of at most 255 pages; each waits as long as
// its pages take, a 128 KiB sector a second.
TEST(PageEraseTest, ListsSplitAndSlowSectorsAreWaitedFor) {
    std::vector<std::uint16_t> many(300);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<std::uint16_t>(i + 100);
    const EraseCase cases[] = {
        {"F303 grown to 512 pages", sim::F303Preset(), 1024 * 1024, many, JobOutcome::Done, "Seiten gelöscht: 100-399",
         {"44 Extended Erase 255 pages: ACK", "44 Extended Erase 45 pages: ACK"}},
        {"F103: Erase names pages up to 255", sim::F103Preset(), 512 * 1024, many, JobOutcome::Unsupported,
         "Seite 256: Erase (43) reicht nur bis Seite 255", {}},
        {"F407 sectors 5-11", sim::F407Preset(), 0, {5, 6, 7, 8, 9, 10, 11}, JobOutcome::Done, "Seiten gelöscht: 5-11",
         {"44 Extended Erase 7 pages: ACK"}},
        {"no sector 12", sim::F407Preset(), 0, {3, 12}, JobOutcome::OutOfRange, "keine Seite 12: der Chip hat 12", {}},
    };
    for (const EraseCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ChipPreset preset = c.preset;
        if (c.flashSize) sim::SetFlashSize(preset, c.flashSize);
        TPageLayout layout;
        layout.flashStart = preset.flashStart;
        for (const auto& u : preset.pages) layout.sizes.push_back(u.size);
        sim::Rig rig(preset);
        std::fill(rig.chip().Flash().begin(), rig.chip().Flash().end(), 0x00);
        ClearIni();
        SetIniDefaults("");
        Ini.BootMode = 4;
        TComPort port;
        port.SetBaud(115200);
        port.SetParity(2);
        ASSERT_TRUE(port.Open());
        testsupport::RecordingStatusBar bar;
        TBootSession session(port, 100);
        const JobResult r = ErasePages(session, bar, layout, c.pages);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.text, c.closing);
        std::vector<std::string> erased;
        for (const auto& line : rig.chip().Log())
            if (line.find("Erase") != line.npos) erased.push_back(line);
        EXPECT_EQ(erased, c.log);
        // Exactly the pages listed are blank.
        const auto& flash = rig.chip().Flash();
        for (std::size_t p = 0, at = 0; p < layout.sizes.size(); at += layout.sizes[p++]) {
            const bool listed = r.Ok() && std::find(c.pages.begin(), c.pages.end(), p) != c.pages.end();
            EXPECT_EQ(flash[at], listed ? 0xFF : 0x00) << "page " << p;
            EXPECT_EQ(flash[at + layout.sizes[p] - 1], listed ? 0xFF : 0x00) << "page " << p;
        }
    }
}

}  // namespace
