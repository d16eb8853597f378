// The window's handlers on fake controls against the simulated F103: what
// identification, the job buttons, the dialogs and the line tests set, with
// no toolkit and no display. What only the toolkit shows stays with tests/ui.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "fake_controls.h"
#include "jobs/identify.h"
#include "platform/ports.h"
#include "settings/inifile.h"
#include "settings/targets.h"
#include "sim/rig.h"
#include "ui/handler_gate.h"

namespace {

// One data byte 0x5A at offset 0.
constexpr const char* kOneByteHex = ":010000005AA5\r\n:00000001FF\r\n";

std::string Crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

// The value a saved configuration holds for a key, or "<none>".
std::string Saved(const std::string& content, const std::string& key) {
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
    }
    return "<none>";
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

class FormLogic : public ::testing::Test {
protected:
    void SetUp() override {
        // The table of a test before would outlive its window.
        for (TTargetRec& t : Targets) t = {};
        TargetLast = 0;
    }

    // Created, with arguments as the command line gives them.
    void Create(std::vector<std::string> arguments = {}, sim::ChipPreset preset = sim::F103Preset()) {
        form.reset();
        rig.reset();
        rig = std::make_unique<sim::Rig>(std::move(preset));
        form = std::make_unique<fakes::Form>(dir.path() + "/", std::move(arguments));
        form->logic->FormCreate();
    }
    // Started and activated: COM 1, where the chip is, is open.
    void Start(sim::ChipPreset preset = sim::F103Preset()) {
        Create({}, std::move(preset));
        form->logic->FormActivate();
        ASSERT_TRUE(form->ComPort.Opened());
        Ini.FlashLen = 0x20000;  // as identification sets it for this chip
    }
    void WriteTargets() {
        // Two lines share the F103's ID: the first one is the chip found.
        dir.Write("targets.cfi",
                  "; Name;ChipId;FlashStart;Aux1;FlashEnd;Aux2\r\n"
                  "STM32F407xG;413;08000000;0;080FFFFF;0\r\n"
                  "STM32F10x medium density;410;08000000;0;0801FFFF;0\r\n"
                  "STM32F10x x8;410;08000000;0;0800FFFF;0\r\n");
    }
    void Identify() {
        form->LiBox.Add("from the run before");
        Reset();
        form->logic->TestChipButtonClick();
    }
    void Reset() {
        form->StaBar.entries.clear();
        beep.types.clear();
    }
    std::string Status() const { return form->StaBar.Text(); }
    std::string HexFile(const char* content = kOneByteHex) {
        dir.Write("fw.hex", content);
        return dir.File("fw.hex");
    }
    // As typing it into the edit does.
    void UseHex(const std::string& path) {
        form->HexDateiEdit.path = path;
        form->logic->HWChanged();
    }
    std::vector<std::uint8_t>& Flash() { return rig->chip().Flash(); }

    testsupport::TempDir dir;
    testsupport::PortsDirScope ports{dir.path() + "/ports"};
    testsupport::RecordingBeep beep;
    std::unique_ptr<sim::Rig> rig;
    std::unique_ptr<fakes::Form> form;
};

TEST_F(FormLogic, FirstStartWritesTheDefaultsAndFillsTheControls) {
    FlashImage[0] = 0x12;
    Create();
    const std::string cfp = dir.File("default.cfp");
    EXPECT_EQ(dir.Read("default.cfp"),
              Crlf({"BAUD    28800", "COM     1", "RESET   1", "BOOT    5", "MANU    TRUE", "AUTOERA TRUE",
                    "CHIPNAM STM32F???", "FLASH   134217728", "FLENG   262144", "INI     " + cfp, "HEX     "}));
    EXPECT_EQ(FlashImage[0], 0xFF);
    EXPECT_EQ(form->PortComboBox.Text(), "COM 1");
    EXPECT_EQ(form->PortComboBox.Count(), 0);
    EXPECT_EQ(form->BaudrateBox.Text(), "28800 Baud");
    EXPECT_EQ(form->BaudrateBox.items,
              (std::vector<std::string>{"2400 Baud", "4800 Baud", "7200 Baud", "9600 Baud", "14400 Baud", "19200 Baud",
                                        "28800 Baud", "38400 Baud", "57600 Baud", "115200 Baud"}));
    EXPECT_EQ(form->BaudrateBox.ItemIndex(), -1);
    EXPECT_EQ(form->ChipresetRadio.ItemIndex(), 1);
    EXPECT_EQ(form->BootmodeRadio.ItemIndex(), 4);  // BOOT 5 shows the last item ...
    EXPECT_TRUE(form->CBManuellTyp.checked && form->CBAutoErase.checked);
    EXPECT_EQ(form->ChipTypCombo.Text(), "STM32F???");
    EXPECT_EQ(form->ChipAnzeige.text, "STM32F???");
    EXPECT_EQ(form->KonfigDateiEdit.path, cfp);
    EXPECT_EQ(form->HexDateiEdit.path, "");
    // Start-up leaves the port closed and runs no HWChanged.
    EXPECT_EQ(form->ComPort.Baud(), 28800);
    EXPECT_EQ(form->ComPort.Port(), 1);
    EXPECT_EQ(form->ComPort.Parity(), 2);
    EXPECT_FALSE(form->ComPort.Opened());
    EXPECT_TRUE(form->StaBar.entries.empty());
    EXPECT_TRUE(form->Window.errors.empty());

    form->logic->FormActivate();
    EXPECT_EQ(Ini.BootMode, 4);  // ... and the first activation takes it
    form->logic->FormClose();
    EXPECT_EQ(Saved(dir.Read("default.cfp"), "BOOT    "), "4");
}

TEST_F(FormLogic, LoadedSettingsReachTheControlsAndAreWrittenBack) {
    dir.Write("default.cfp", Crlf({"BAUD    57600", "COM     1", "RESET   3", "BOOT    1", "MANU    FALSE",
                                   "AUTOERA FALSE", "HEX     /home/user/a.hex"}));
    Create();
    EXPECT_EQ(form->ChipresetRadio.ItemIndex(), 3);
    EXPECT_EQ(form->BootmodeRadio.ItemIndex(), 1);
    EXPECT_FALSE(form->CBManuellTyp.checked || form->CBAutoErase.checked);
    EXPECT_EQ(form->HexDateiEdit.path, "/home/user/a.hex");
    EXPECT_EQ(form->BaudrateBox.Text(), "57600 Baud");

    form->logic->FormActivate();
    form->logic->FormClose();
    const std::string saved = dir.Read("default.cfp");
    EXPECT_EQ(Saved(saved, "BAUD    "), "57600");
    EXPECT_EQ(Saved(saved, "RESET   "), "3");
    EXPECT_EQ(Saved(saved, "BOOT    "), "1");
    EXPECT_EQ(Saved(saved, "MANU    "), "FALSE");
    EXPECT_EQ(Saved(saved, "AUTOERA "), "FALSE");
    EXPECT_EQ(Saved(saved, "HEX     "), "/home/user/a.hex");

    // The box's rate as the port's, 38400 for one out of the list's range.
    for (const auto& [stored, baud] : {std::pair{"1200", 38400}, std::pair{"2400", 2400},
                                       std::pair{"115200", 115200}, std::pair{"115201", 38400}, std::pair{"", 38400}}) {
        dir.Write("default.cfp", Crlf({std::string("BAUD    ") + stored}));
        Create();
        EXPECT_EQ(form->BaudrateBox.Text(), std::to_string(baud) + " Baud") << stored;
        EXPECT_EQ(form->ComPort.Baud(), baud) << stored;
    }
    EXPECT_TRUE(form->Window.errors.empty());
}

TEST_F(FormLogic, CommandLineTakesAnExistingCfpOrHexFile) {
    std::filesystem::create_directory(dir.File("sub.d"));
    const std::string cfp = dir.File("sub.d/a.CfP");
    dir.Write("sub.d/a.CfP", Crlf({"COM     7"}));
    Create({cfp});
    EXPECT_EQ(form->KonfigDateiEdit.path, cfp);
    EXPECT_EQ(form->PortComboBox.Text(), "COM 7");
    form->logic->FormActivate();
    form->logic->FormClose();
    EXPECT_EQ(Saved(dir.Read("sub.d/a.CfP"), "INI     "), cfp);
    EXPECT_EQ(Saved(dir.Read("sub.d/a.CfP"), "COM     "), "7");

    const std::string hex = dir.File("a.hex");
    dir.Write("a.hex", ":00000001FF\r\n");
    Create({hex});
    EXPECT_EQ(form->HexDateiEdit.path, hex);
    EXPECT_EQ(form->KonfigDateiEdit.path, dir.File("default.cfp"));

    dir.Write("a.txt", "COM     9\r\n");
    dir.Write("a", "COM     9\r\n");
    dir.Write("sub.d/noext", "COM     9\r\n");  // the dot of the folder is not an extension
    for (const std::string& ignored :
         {dir.File("a.txt"), dir.File("a"), dir.File("sub.d/noext"), dir.File("missing.cfp"), dir.File("missing.hex")}) {
        Create({ignored});
        EXPECT_EQ(form->KonfigDateiEdit.path, dir.File("default.cfp")) << ignored;
        EXPECT_EQ(form->HexDateiEdit.path, "") << ignored;
        EXPECT_EQ(form->PortComboBox.Text(), "COM 1") << ignored;
    }
    EXPECT_TRUE(form->Window.errors.empty());
}

TEST_F(FormLogic, CloseFallsBackToDefaultCfpForAMissingName) {
    Start();
    const std::string missing = dir.File("neu.cfp");
    form->KonfigDateiEdit.path = missing;
    form->CBManuellTyp.checked = false;
    form->logic->HWChanged();
    EXPECT_EQ(Ini.KonfigDatei, missing);
    form->logic->FormClose();
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(Saved(dir.Read("default.cfp"), "MANU    "), "FALSE");
    EXPECT_EQ(Saved(dir.Read("default.cfp"), "INI     "), dir.File("default.cfp"));
}

// A file that can't be written is reported; the controls are filled all the same.
TEST_F(FormLogic, UnwritableDefaultCfpIsReportedAndTheWindowStaysUsable) {
    std::filesystem::create_directory(dir.File("default.cfp"));  // can't be created as a file, not even by root
    Create();
    EXPECT_EQ(form->Window.errors.size(), 1u);
    EXPECT_EQ(form->BaudrateBox.Count(), 10);
    EXPECT_EQ(form->PortComboBox.Text(), "COM 1");
    EXPECT_EQ(form->ComPort.Parity(), 2);
    form->logic->FormActivate();
    EXPECT_EQ(form->StaBar.Text(), "COM 1 (28800 Bd) offen");
    EXPECT_ANY_THROW(form->logic->FormClose());
}

TEST_F(FormLogic, ViewButtonsShowOneViewAtATime) {
    Start();
    const auto shown = [&] {
        return std::vector<bool>{form->PortSetupPanel.shown, form->ChipSetupPanel.shown, form->MainPanel.shown};
    };
    form->logic->PortSetupButtonClick();
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));
    form->logic->ChipSetupButtonClick();
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, false}));
    form->logic->ProgButtonClick();
    EXPECT_EQ(shown(), (std::vector<bool>{false, false, true}));
}

TEST_F(FormLogic, IdentificationMakesTheFirstTargetWithTheIdTheCurrentChip) {
    WriteTargets();
    Start();
    // A control set by the program alone: HWChanged would take it over.
    form->BaudrateBox.SetText("57600 Baud");
    Identify();

    EXPECT_EQ(Status(), "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack 22 00 00 ");
    EXPECT_EQ(form->LiBox.lines,
              (std::vector<std::string>{"Bootlader Version 2.2", "00 Get Commands", "01 Get Laderversion",
                                        "02 Get Chip ID", "11 Read Memory", "21 Go Command", "31 Write Memory",
                                        "43 Simple Erase Memory", "63 Write Protect", "73 Disable Write Protect",
                                        "82 Enable Read Protect", "92 Disable Read Protect", "Opts:22 00 00 ",
                                        "Chip ID: 0410"}));
    // Forced onto the screen while the run blocks.
    EXPECT_EQ(form->ChipTypCombo.painted, (std::vector<std::string>{"suche..", "STM32F10x medium density"}));
    EXPECT_TRUE(form->StaBar.entries.at(0).repainted);
    EXPECT_EQ(form->StaBar.entries.at(0).text, "warte..");

    EXPECT_EQ(form->ChipTypCombo.ItemIndex(), 1);
    EXPECT_EQ(form->ChipTypCombo.Text(), "STM32F10x medium density");
    EXPECT_EQ(Ini.ChipName, "STM32F10x medium density");
    EXPECT_EQ(Ini.FlashStart, 0x08000000u);
    EXPECT_EQ(Ini.FlashLen, 0x20000u);
    EXPECT_EQ(form->ChipAnzeige.text, "STM32F10x medium density");
    EXPECT_EQ(beep.types, std::vector<unsigned>{0});
    EXPECT_TRUE(form->ComPort.Opened());
    EXPECT_EQ(Ini.Baud, 28800);

    // Picked by hand, the same chip shows its item's whole text.
    form->ChipTypCombo.SetItemIndex(1);
    form->logic->HWChanged();
    EXPECT_EQ(Ini.ChipName, "STM32F10x medium density (128 K Flash ab $08000000)");
    EXPECT_TRUE(form->Window.errors.empty());
}

// Whatever keeps the chip from being found leaves the chip as it was and
// beeps nothing: the list shows what came, the combo box the search.
TEST_F(FormLogic, IdentificationThatFindsNoTarget) {
    struct Case {
        const char* what;
        bool targets;
        std::uint16_t productId;
        sim::Faults faults;
        std::string status;             // empty: the chip's summary
        std::vector<std::string> last;  // the list's last line; empty: an empty list
    };
    const std::string summary = "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack 22 00 00 ";
    sim::Faults none, silent, syncOnly, nack, cutOff;
    silent.silentAfter = 0;
    syncOnly.silentAfter = 1;
    nack.refuse = {0x00};
    cutOff.silentAfter = 1 + 15 + 5 + 2;  // sync ACK, Get, Get Version, two bytes of Get ID
    const Case cases[] = {
        {"no targets.cfi: entry 0 has no name", false, 0x0410, none, summary, {"Chip ID: 0410"}},
        {"an ID not in the table", true, 0x0999, none, summary, {"Chip ID: 0999"}},
        {"no sync", true, 0x0410, silent, "Bootlader reagiert nicht", {}},
        {"nothing after the sync", true, 0x0410, syncOnly, "keine gültige Antwort vom Bootlader", {}},
        {"Get refused", true, 0x0410, nack, "kein Ack vom Bootlader", {}},
        {"a cut-off ID reply", true, 0x0410, cutOff, summary, {"Chip ID: ? 79 01"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        std::filesystem::remove(dir.File("targets.cfi"));
        if (c.targets) WriteTargets();
        sim::ChipPreset preset = sim::F103Preset();
        preset.productId = c.productId;
        Start(preset);
        const std::uint32_t flashLen = Ini.FlashLen;
        rig->chip().faults() = c.faults;
        Identify();
        EXPECT_EQ(Status(), c.status);
        if (c.last.empty())
            EXPECT_TRUE(form->LiBox.lines.empty());
        else
            EXPECT_EQ(form->LiBox.lines.back(), c.last.front());
        EXPECT_EQ(form->ChipTypCombo.Text(), "suche..");
        EXPECT_EQ(form->ChipTypCombo.ItemIndex(), -1);
        EXPECT_EQ(Ini.ChipName, "STM32F???");
        EXPECT_EQ(Ini.FlashLen, flashLen);
        EXPECT_EQ(form->ChipAnzeige.text, "STM32F???");
        EXPECT_TRUE(beep.types.empty());
    }
}

TEST(DecodeRepliesTest, ShortAndOddRepliesOfGetAndGetVersion) {
    const std::string v = Bytes({0x79, 0x22, 0x00, 0x00, 0x79});
    const std::string id = Bytes({0x79, 0x01, 0x04, 0x10, 0x79});

    // One byte: count 0, no version or command lines.
    auto t = DecodeReplies(Bytes({0x79}), v, id);
    EXPECT_EQ(t.statusText, "Len 0:  ack 22 00 00 ");
    EXPECT_EQ(t.lines, (std::vector<std::string>{"Opts:22 00 00 ", "Chip ID: 0410"}));

    // Three bytes: the third is judged as the last one, no version line.
    t = DecodeReplies(Bytes({0x79, 0x01, 0x22}), v, id);
    EXPECT_EQ(t.statusText, "Len 1: ?2222 00 00 ");
    EXPECT_EQ(t.lines.front(), "Opts:22 00 00 ");

    // Each half of the version in decimal; unknown codes listed; a last byte 0x1F.
    t = DecodeReplies(Bytes({0x79, 0x02, 0x3A, 0xA1, 0x1F}), Bytes({0x79, 0x3A}), id);
    EXPECT_EQ(t.statusText, "Len 2: 3A A1 ?1F");
    EXPECT_EQ(t.lines, (std::vector<std::string>{"Bootlader Version 3.10", "A1 etc", "Opts:", "Chip ID: 0410"}));
    EXPECT_EQ(t.result, TIdentification::Done);
    EXPECT_TRUE(t.idValid);
    EXPECT_EQ(t.productId, 0x0410);

    // No ID at all.
    t = DecodeReplies(Bytes({0x79, 0x00, 0x22, 0x79}), v, "");
    EXPECT_FALSE(t.idValid);
    EXPECT_EQ(t.lines.back(), "Chip ID: ?");
    EXPECT_EQ(t.targetIndex, -1);
}

TEST_F(FormLogic, NoHexFileOrABadOneLeavesThePortAlone) {
    Start();
    rig->chip().ClearLog();
    for (const auto click : {&TMainFormLogic::ProgStartButtonClick, &TMainFormLogic::VerifyButtonClick}) {
        UseHex("");
        auto resets = rig->chip().Resets();
        ((*form->logic).*click)();
        EXPECT_EQ(Status(), "keine Datei");
        EXPECT_EQ(rig->chip().Resets(), resets);
        UseHex(HexFile(":0100000012EE\r\n:00000001FF\r\n"));
        resets = rig->chip().Resets();
        Reset();
        ((*form->logic).*click)();
        EXPECT_EQ(form->StaBar.Texts(),
                  (std::vector<std::string>{"lese Hexdatei..", "Prüfsummenfehler auf Zeile 1 psum=01"}));
        EXPECT_EQ(rig->chip().Resets(), resets);
    }
    EXPECT_TRUE(rig->chip().Log().empty());
}

TEST_F(FormLogic, SilentChipStopsProgrammingAndVerifyingBeforeTheJob) {
    Start();
    UseHex(HexFile());
    rig->chip().faults().silentAfter = 0;
    for (const auto click : {&TMainFormLogic::ProgStartButtonClick, &TMainFormLogic::VerifyButtonClick}) {
        Reset();
        ((*form->logic).*click)();
        EXPECT_EQ(Status(), "keine Verbindung.");
        EXPECT_TRUE(beep.types.empty());
    }
    EXPECT_EQ(Flash()[0], 0xFF);
}

TEST_F(FormLogic, EraseUnprotectsAProtectedChipAndTheBlankCheckFollows) {
    Start();
    UseHex(HexFile());
    form->logic->ProgStartButtonClick();
    rig->chip().SetReadoutProtected(true);

    Reset();
    form->logic->EraseAllButtonClick();
    EXPECT_EQ(Status(), "Chip ist gelöscht");
    EXPECT_FALSE(rig->chip().ReadoutProtected());
    EXPECT_EQ(form->StaBar.Texts().front(), "Verbinde");
    form->logic->LeertestButtonClick();
    EXPECT_EQ(Status(), "Chip ist leer bis $00020000");
    EXPECT_TRUE(beep.types.empty());

    form->logic->ProgStartButtonClick();
    EXPECT_EQ(Status(), "..ende, programmiert bis 00000100");
    Reset();
    form->logic->LeertestButtonClick();
    EXPECT_EQ(Status(), "Chip nicht leer bei $00000000");
    EXPECT_EQ(beep.types, std::vector<unsigned>{64});
}

TEST_F(FormLogic, ReadOutSavesTheFlashLengthAfterRedrawingTheWindow) {
    Start();
    Flash()[0x1FFFF] = 0x42;
    const std::string out = dir.File("flash.bin");
    form->StaBar.SetText("x");
    form->logic->AusleseButtonClick();  // cancelled
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(Status(), "x");
    EXPECT_EQ(form->Window.repaints, 0);

    form->BinSaveDialog.answer = out;
    form->logic->AusleseButtonClick();
    EXPECT_EQ(Status(), "gelesen bis $00020000 fertig.");
    EXPECT_EQ(form->Window.repaints, 1);
    const std::string content = dir.Read("flash.bin");
    ASSERT_EQ(content.size(), 0x20000u);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), Flash().begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

TEST_F(FormLogic, KonfigChooserChangesIniOnlyUntilTheNextControlChange) {
    Start();
    dir.Write("line3.cfp", "RESET   3\r\nBOOT    1\r\n");  // "RTS hi", "DTR hi"
    const std::string cfp = dir.File("line3.cfp");
    form->KonfigOpenDialog.answer = cfp;
    form->logic->KonfigLadeButtonClick();
    EXPECT_EQ(Status(), cfp + " geladen");
    EXPECT_EQ(Ini.KonfigDatei, cfp);
    EXPECT_EQ(form->KonfigDateiEdit.path, cfp);
    EXPECT_EQ(form->ChipresetRadio.ItemIndex(), 1);  // the controls keep their values

    // The line test already acts with the loaded line.
    const std::string device = platform::DeviceName(1);
    form->ComPort.SetRTS(false);
    form->ComPort.SetDTR(false);
    form->logic->Reset_ein_ButtonClick();
    EXPECT_TRUE(rig->line().Rts(device));
    EXPECT_FALSE(rig->line().Dtr(device));

    // A change of a control brings the controls' values back.
    form->BootmodeRadio.SetItemIndex(3);
    form->logic->HWChanged();
    EXPECT_EQ(Ini.ResetMode, 1);
    EXPECT_EQ(Ini.BootMode, 3);

    // An empty name is refused; a missing file is a file error, for the window to show.
    form->KonfigOpenDialog.answer = "";
    form->logic->KonfigLadeButtonClick();
    EXPECT_EQ(Status(), " fehlerhaft!");
    EXPECT_EQ(Ini.KonfigDatei, cfp);
    form->KonfigOpenDialog.answer = dir.File("fehlt.cfp");
    form->StaBar.SetText("x");
    EXPECT_ANY_THROW(form->logic->KonfigLadeButtonClick());
    EXPECT_EQ(Status(), "x");
    EXPECT_EQ(Ini.KonfigDatei, cfp);
}

TEST_F(FormLogic, LineTestsDriveTheChosenLinesAndNothingElse) {
    Start();
    const std::string device = platform::DeviceName(1);
    form->StaBar.SetText("x");
    // "DTR hi": reset is DTR set. "RTS lo": boot mode is RTS cleared.
    form->logic->Reset_ein_ButtonClick();
    EXPECT_TRUE(rig->line().Dtr(device));
    form->logic->Reset_aus_ButtonClick();
    EXPECT_FALSE(rig->line().Dtr(device));
    form->logic->Normal_ButtonClick();
    EXPECT_TRUE(rig->line().Rts(device));
    form->logic->Bootlader_ButtonClick();
    EXPECT_FALSE(rig->line().Rts(device));
    EXPECT_EQ(Status(), "x");

    form->ComPort.Close();
    form->logic->Reset_ein_ButtonClick();
    EXPECT_FALSE(form->ComPort.Opened());
    EXPECT_EQ(Status(), "x");
}

// What the window was asked during a handler comes after it, a close before
// an activation, each once; after the close no handler runs.
TEST(HandlerGate, DefersCloseAndActivationToTheHandlersEnd) {
    THandlerGate gate;
    EXPECT_EQ(gate.Ended(), THandlerGate::After::Nothing);
    gate.ActivateLater();
    EXPECT_EQ(gate.Ended(), THandlerGate::After::Activate);
    EXPECT_EQ(gate.Ended(), THandlerGate::After::Nothing);
    gate.ActivateLater();
    gate.CloseLater();
    EXPECT_EQ(gate.Ended(), THandlerGate::After::Close);
    EXPECT_EQ(gate.Ended(), THandlerGate::After::Nothing);
    EXPECT_FALSE(gate.Closed());
    EXPECT_TRUE(gate.BeginClose());
    EXPECT_FALSE(gate.BeginClose());
    EXPECT_TRUE(gate.Closed());
}

}  // namespace
