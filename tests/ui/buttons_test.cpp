// The buttons of "Programmierung" and the line tests of "Hardware Setup"
// against the simulated F103: their status texts, which of them reach the
// screen while the job runs, the dialogs, and the file errors.
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "settings/inifile.h"
#include "shown_window.h"

namespace {

// One data byte 0x5A at offset 0.
constexpr const char* kOneByteHex = ":010000005AA5\r\n:00000001FF\r\n";

std::string ChipDevice() { return platform::DeviceName(1); }

class ButtonsTest : public uitest::ShownWindowTest {
protected:
    void SetUp() override {
        ShownWindowTest::SetUp();
        Start();
        Ini.FlashLen = 0x20000;  // as identification sets it for this chip
    }
    void Answer(TFileDialog& dialog, std::optional<std::string> name) {
        dialog.Chooser = [name] { return name; };
    }
    void Click(QPushButton* button) {
        paints.entries.clear();
        beep->types.clear();
        button->click();
    }
    std::string HexFile(const char* content = kOneByteHex) {
        dir.Write("fw.hex", content);
        return dir.File("fw.hex");
    }
    void UseHex(const std::string& path) {
        form->HexDateiEdit->setText(QString::fromStdString(path));  // HWChanged takes it into Ini
        ASSERT_EQ(Ini.HexDatei, path);
    }
    std::vector<std::uint8_t>& Flash() { return rig->chip().Flash(); }
};

TEST_F(ButtonsTest, ProgrammingShowsEachStepWhileItRuns) {
    UseHex(HexFile());
    Click(form->ProgStartButton);
    EXPECT_EQ(PaintedStatus(), (std::vector<std::string>{"lese Hexdatei..", "verbinde..", "programmiere..",
                                                         "programmiere $00000000",
                                                         "..ende, programmiert bis 00000100"}));
    EXPECT_EQ(Status(), "..ende, programmiert bis 00000100");
    EXPECT_EQ(Flash()[0], 0x5A);
    EXPECT_EQ(beep->types, std::vector<unsigned>{0});

    // The file is read again on each click: a changed byte reaches the verify.
    // "verbinde.." isn't forced onto the screen, but the window paints while
    // Connect waits; the closing text is painted when the handler returns.
    Click(form->VerifyButton);
    EXPECT_EQ(PaintedStatus(), (std::vector<std::string>{"lese Hexdatei..", "verbinde..", "vergleiche $00000000",
                                                         "..ende, verifiziert bis 00000100"}));
    EXPECT_EQ(Status(), "..ende, verifiziert bis 00000100");
    HexFile(":0100000012ED\r\n:00000001FF\r\n");
    Click(form->VerifyButton);
    EXPECT_EQ(Status(), "Fehler bei 00000000 ist: 5A soll: 12");
    EXPECT_EQ(beep->types, std::vector<unsigned>{48});
    EXPECT_TRUE(errors.empty());
}

TEST_F(ButtonsTest, NoHexFileOrABadOneLeavesThePortAlone) {
    rig->chip().ClearLog();
    for (auto* button : {form->ProgStartButton, form->VerifyButton}) {
        UseHex("");
        auto resets = rig->chip().Resets();
        Click(button);
        EXPECT_EQ(Status(), "keine Datei");
        EXPECT_EQ(rig->chip().Resets(), resets);
        UseHex(HexFile(":0100000012EE\r\n:00000001FF\r\n"));
        resets = rig->chip().Resets();
        Click(button);
        EXPECT_EQ(Status(), "Prüfsummenfehler auf Zeile 1 psum=01");
        EXPECT_EQ(PaintedStatus(),
                  (std::vector<std::string>{"lese Hexdatei..", "Prüfsummenfehler auf Zeile 1 psum=01"}));
        EXPECT_EQ(rig->chip().Resets(), resets);
    }
    EXPECT_TRUE(rig->chip().Log().empty());
}

#if defined(__linux__)
TEST_F(ButtonsTest, HexFileThatCannotBeReadIsShownByTheErrorDisplay) {
    UseHex("/proc/self/mem");  // a regular file whose first page is not mapped: reading fails
    const auto resets = rig->chip().Resets();
    Click(form->ProgStartButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(Status(), "lese Hexdatei..");
    EXPECT_EQ(rig->chip().Resets(), resets);
}
#endif

TEST_F(ButtonsTest, SilentChipStopsProgrammingAndVerifyingBeforeTheJob) {
    UseHex(HexFile());
    rig->chip().faults().silentAfter = 0;
    for (auto* button : {form->ProgStartButton, form->VerifyButton}) {
        Click(button);
        EXPECT_EQ(Status(), "keine Verbindung.");
        EXPECT_TRUE(beep->types.empty());
    }
    EXPECT_EQ(Flash()[0], 0xFF);
}

TEST_F(ButtonsTest, EraseUnprotectsAProtectedChipAndTheBlankCheckFollows) {
    UseHex(HexFile());
    Click(form->ProgStartButton);
    rig->chip().SetReadoutProtected(true);

    Click(form->EraseAllButton);
    EXPECT_EQ(Status(), "Chip ist gelöscht");
    EXPECT_FALSE(rig->chip().ReadoutProtected());
    EXPECT_EQ(PaintedStatus().front(), "Verbinde");
    Click(form->LeertestButton);
    EXPECT_EQ(Status(), "Chip ist leer bis $00020000");
    EXPECT_TRUE(beep->types.empty());

    Click(form->ProgStartButton);
    EXPECT_EQ(Status(), "..ende, programmiert bis 00000100");
    Click(form->LeertestButton);
    EXPECT_EQ(Status(), "Chip nicht leer bei $00000000");
    EXPECT_EQ(beep->types, std::vector<unsigned>{64});
}

TEST_F(ButtonsTest, ReadOutSavesTheFlashLengthAfterRedrawingTheWindow) {
    Flash()[0x1FFFF] = 0x42;
    const std::string out = dir.File("flash.bin");
    Answer(*form->BinSaveDialog, std::nullopt);
    form->StaBar->SetText("x");
    Click(form->AusleseButton);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(Status(), "x");

    Answer(*form->BinSaveDialog, out);
    Click(form->AusleseButton);
    EXPECT_EQ(Status(), "gelesen bis $00020000 fertig.");
    const std::string content = dir.Read("flash.bin");
    ASSERT_EQ(content.size(), 0x20000u);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), Flash().begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    EXPECT_TRUE(PaintedInOrder({"MainForm", "StaBar: lese $08000000"}));
}

TEST_F(ButtonsTest, HexChooserLoadsTheFileAndTakesTheControlsOnANewName) {
    const std::string hex = HexFile();
    form->StaBar->SetText("x");
    Answer(*form->HexOpenDialog, std::nullopt);
    Click(form->HexLadeButton);
    EXPECT_EQ(Status(), "x");
    EXPECT_EQ(form->HexDateiEdit->text(), "");

    // A new name runs HWChanged: the baud text, set by the program alone, is taken over.
    form->BaudrateBox->SetText("57600 Baud");
    Answer(*form->HexOpenDialog, hex);
    Click(form->HexLadeButton);
    EXPECT_EQ(Status(), hex + " geladen");
    EXPECT_EQ(Ini.HexDatei, hex);
    EXPECT_EQ(Ini.Baud, 57600);
    EXPECT_EQ(FlashImage[0], 0x5A);

    // The same name again: no HWChanged, the file is loaded all the same.
    form->BaudrateBox->SetText("9600 Baud");
    FlashImage[0] = 0xFF;
    Click(form->HexLadeButton);
    EXPECT_EQ(Status(), hex + " geladen");
    EXPECT_EQ(Ini.Baud, 57600);
    EXPECT_EQ(FlashImage[0], 0x5A);

    Answer(*form->HexOpenDialog, dir.File("fehlt.hex"));
    Click(form->HexLadeButton);
    EXPECT_EQ(Status(), dir.File("fehlt.hex") + " gibt es nicht!");
    EXPECT_EQ(Ini.HexDatei, dir.File("fehlt.hex"));

    dir.Write("bad.hex", "kein hex\r\n");
    Answer(*form->HexOpenDialog, dir.File("bad.hex"));
    Click(form->HexLadeButton);
    EXPECT_EQ(Status(), "Hexfile: Formatfehler auf Zeile 1");
    EXPECT_TRUE(errors.empty());
}

TEST_F(ButtonsTest, KonfigChooserChangesIniOnlyUntilTheNextControlChange) {
    dir.Write("line3.cfp", "RESET   3\r\nBOOT    1\r\n");  // "RTS hi", "DTR hi"
    const std::string cfp = dir.File("line3.cfp");
    Answer(*form->KonfigOpenDialog, cfp);
    Click(form->KonfigLadeButton);
    EXPECT_EQ(Status(), cfp + " geladen");
    EXPECT_EQ(Ini.KonfigDatei, cfp);
    EXPECT_EQ(form->KonfigDateiEdit->text().toStdString(), cfp);
    EXPECT_EQ(form->ChipresetRadio->ItemIndex(), 1);  // the controls keep their values

    // The line test already acts with the loaded line.
    form->PortSetupButton->click();
    form->ComPort.SetRTS(false);
    form->ComPort.SetDTR(false);
    Click(form->Reset_ein_Button);
    EXPECT_TRUE(rig->line().Rts(ChipDevice()));
    EXPECT_FALSE(rig->line().Dtr(ChipDevice()));

    // A click in a radio group brings the controls' values back.
    form->BootmodeRadio->Button(3)->click();
    EXPECT_EQ(Ini.ResetMode, 1);
    EXPECT_EQ(Ini.BootMode, 3);

    // An empty name is refused; a missing file is a file error.
    Answer(*form->KonfigOpenDialog, "");
    Click(form->KonfigLadeButton);
    EXPECT_EQ(Status(), " fehlerhaft!");
    EXPECT_EQ(Ini.KonfigDatei, cfp);
    Answer(*form->KonfigOpenDialog, dir.File("fehlt.cfp"));
    form->StaBar->SetText("x");
    Click(form->KonfigLadeButton);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(Status(), "x");
    EXPECT_EQ(Ini.KonfigDatei, cfp);
}

TEST_F(ButtonsTest, LineTestsDriveTheChosenLinesAndNothingElse) {
    form->PortSetupButton->click();
    form->StaBar->SetText("x");
    // "DTR hi": reset is DTR set. "RTS lo": boot mode is RTS cleared.
    Click(form->Reset_ein_Button);
    EXPECT_TRUE(rig->line().Dtr(ChipDevice()));
    Click(form->Reset_aus_Button);
    EXPECT_FALSE(rig->line().Dtr(ChipDevice()));
    Click(form->Normal_Button);
    EXPECT_TRUE(rig->line().Rts(ChipDevice()));
    Click(form->Bootlader_Button);
    EXPECT_FALSE(rig->line().Rts(ChipDevice()));
    EXPECT_EQ(Status(), "x");

    form->ComPort.Close();
    Click(form->Reset_ein_Button);
    EXPECT_FALSE(form->ComPort.Opened());
    EXPECT_EQ(Status(), "x");
    EXPECT_TRUE(errors.empty());
}

}  // namespace
