// The buttons of "Programmierung" on the screen, against the simulated F103:
// which status texts reach it while the job runs, the error display, and a
// chosen HEX file's name running HWChanged through the edit. What the
// handlers set is tested on fake controls (tests/ui_logic).
#include <QPushButton>

#include <filesystem>
#include <optional>

#include "settings/inifile.h"
#include "shown_window.h"

namespace {

// One data byte 0x5A at offset 0.
constexpr const char* kOneByteHex = ":010000005AA5\r\n:00000001FF\r\n";

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

TEST_F(ButtonsTest, ReadOutRedrawsTheWindowBeforeTheReadBlocksIt) {
    Answer(*form->BinSaveDialog, dir.File("flash.bin"));
    Click(form->AusleseButton);
    EXPECT_EQ(Status(), "gelesen bis $00020000 fertig.");
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

}  // namespace
