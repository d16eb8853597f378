// Whole flows on both chip presets: erase, load a HEX file, program, verify,
// read out, as the window's buttons chain them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bootloader/lolevel.h"
#include "jobs/algorithmen.h"
#include "platform/hex_text.h"
#include "serial/comport.h"
#include "settings/hexfile.h"
#include "settings/inifile.h"
#include "sim/rig.h"
#include "support/intel_hex.h"
#include "support/recorders.h"

using platform::HexDigits;

namespace {

void WholeFlow(sim::ChipPreset preset, std::size_t imageSize) {
    sim::Rig rig(std::move(preset));
    testsupport::RecordingStatusBar bar;
    testsupport::RecordingBeep beep;
    testsupport::TempDir dir;
    ClearIni();
    SetIniDefaults("");
    Ini.BootMode = 4;
    Ini.FlashLen = static_cast<std::uint32_t>(imageSize + 0x800);
    TComPort port;
    port.SetBaud(115200);
    port.SetParity(2);
    ASSERT_TRUE(port.Open());

    // A chip that holds old data everywhere.
    std::fill(rig.chip().Flash().begin(), rig.chip().Flash().end(), 0x00);
    std::vector<std::uint8_t> image(imageSize);
    for (std::size_t i = 0; i < imageSize; ++i) image[i] = static_cast<std::uint8_t>((i * 131 + 7) ^ (i >> 9));
    dir.Write("fw.hex", testsupport::IntelHex(image));
    Ini.HexDatei = dir.File("fw.hex");

    std::string message;
    ASSERT_TRUE(LoadHexFile(bar, Ini.HexDatei, message)) << message;

    // Without erasing first, programming fails as the chip makes it fail
    // (F1: refused; F4: bits only cleared, so the verify finds it).
    ASSERT_TRUE(Connect(port));
    // Over old data the F1 refuses a block; the F4 clears bits, and verify finds the difference.
    const JobResult over = ProgramFlash(port, bar);
    if (over.Ok()) {
        ASSERT_TRUE(Connect(port));
        EXPECT_EQ(VerifyFlash(port, bar).outcome, JobOutcome::Mismatch);
    } else {
        EXPECT_EQ(over.outcome, JobOutcome::Refused) << over.text;
    }

    ASSERT_TRUE(EraseChip(port, bar).Ok());

    ASSERT_TRUE(LoadHexFile(bar, Ini.HexDatei, message)) << message;
    ASSERT_TRUE(Connect(port));
    const std::string end = HexDigits(static_cast<std::uint32_t>((imageSize + 255) / 256 * 256), 8);
    EXPECT_EQ(ProgramFlash(port, bar).text, "..ende, programmiert bis " + end);
    ASSERT_TRUE(Connect(port));
    EXPECT_EQ(VerifyFlash(port, bar).text, "..ende, verifiziert bis " + end);

    EXPECT_TRUE(ReadOut(dir.File("out.bin"), port, bar).Ok()) << bar.Text();
    const std::string out = dir.Read("out.bin");
    ASSERT_EQ(out.size(), Ini.FlashLen);
    EXPECT_EQ(out.substr(0, imageSize), std::string(image.begin(), image.end()));
    EXPECT_EQ(out.substr(imageSize), std::string(out.size() - imageSize, '\xFF'));
    EXPECT_EQ(0, std::memcmp(rig.chip().Flash().data(), image.data(), imageSize));
}

TEST(WholeFlowTest, F103) { WholeFlow(sim::F103Preset(), 0x11234); }

TEST(WholeFlowTest, F407) { WholeFlow(sim::F407Preset(), 0x11234); }

}  // namespace
