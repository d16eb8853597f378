// The main window against the in-process chip on the virtual clock: the port
// scan, what the controls' own events run, paths through the edits, the
// layout and the close. Start-up and shutdown on fake controls: tests/ui_logic.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/ports.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "sim/rig.h"
#include "support/recorders.h"
#include "ui/velkor_unit.h"
#include "ui_app.h"

namespace {

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

QStringList Items(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
    return items;
}

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::App(); }

    void SetUp() override {
        // No port of this machine takes part: only the rig's chip answers.
        uitest::MakePorts(dir.path(), {1});
        rig = std::make_unique<sim::Rig>();
    }

    std::string ExeDir() const { return dir.path() + "/"; }
    std::string DefaultCfp() const { return dir.File("default.cfp"); }
    std::string Status() const { return form->StaBar->Text(); }

    TMainForm& Start(std::vector<std::string> arguments = {}) {
        form.reset();
        form = std::make_unique<TMainForm>(TMainForm::Options{
            ExeDir(), std::move(arguments), [this](const std::string& text) { errors.push_back(text); }});
        return *form;
    }

    void ReplacePortText(const QString& text) {
        form->PortComboBox->lineEdit()->selectAll();
        uitest::Type(*form->PortComboBox, text);
    }

    testsupport::TempDir dir;
    std::unique_ptr<sim::Rig> rig;
    std::unique_ptr<TMainForm> form;
    std::vector<std::string> errors;
};

// A configuration written on a system with an 8-bit code page: its paths
// name their files byte for byte, through the controls and back.
TEST_F(WindowTest, PathsThatAreNotUtf8KeepTheirBytes) {
    const std::string cfp = dir.File("k\xE9.cfp");
    const std::string hex = dir.File("fw\xE9.hex");
    dir.Write("k\xE9.cfp", Crlf({"INI     " + cfp, "HEX     " + hex}));
    Start({cfp});
    EXPECT_EQ(form->HexDateiEdit->text(), QString::fromStdString(dir.File("fw")) + QString::fromUtf8("é.hex"));
    form->FormActivate(form.get());  // HWChanged takes both edits
    EXPECT_EQ(Ini.HexDatei, hex);
    EXPECT_EQ(Ini.KonfigDatei, cfp);
    form->close();
    EXPECT_EQ(Saved(dir.Read("k\xE9.cfp"), "HEX     "), hex);
    EXPECT_EQ(Saved(dir.Read("k\xE9.cfp"), "INI     "), cfp);

    Start({cfp});  // edited, the field holds what it shows
    uitest::Type(*form->HexDateiEdit, "x");
    EXPECT_EQ(Ini.HexDatei, dir.File("fw\xC3\xA9.hexx"));
}

TEST_F(WindowTest, StatusTextTellsWhetherThePortOpened) {
    Start();
    form->FormActivate(form.get());
    EXPECT_EQ(Items(*form->PortComboBox), QStringList{"COM 1"});
    EXPECT_EQ(form->PortComboBox->itemData(0, Qt::ToolTipRole).toString().toStdString(), platform::DeviceName(1));
    EXPECT_EQ(Status(), "COM 1 (28800 Bd) offen");
    EXPECT_TRUE(rig->line().IsOpen(platform::DeviceName(1)));

    ReplacePortText("COM 12");
    EXPECT_EQ(Status(), "COM 12 (28800 Bd) kein Zugriff");
    EXPECT_EQ(Ini.ComNr, 12);
    EXPECT_FALSE(rig->line().IsOpen(platform::DeviceName(1)));

    ReplacePortText("COM x");
    EXPECT_EQ(Status(), "COM 0 (28800 Bd) kein Zugriff");

    ReplacePortText("COM 1");
    uitest::PickItem(*form->BaudrateBox, 9);
    EXPECT_EQ(form->BaudrateBox->Text(), "115200 Baud");
    EXPECT_EQ(Status(), "COM 1 (115200 Bd) offen");
    EXPECT_EQ(Ini.Baud, 115200);
}

TEST_F(WindowTest, RadioAndCheckBoxClicksCopyTheControls) {
    Start();
    form->FormActivate(form.get());
    form->ChipresetRadio->Button(2)->click();
    EXPECT_EQ(Ini.ResetMode, 2);
    form->CBManuellTyp->click();
    EXPECT_FALSE(Ini.ManuellTyp);
    form->StaBar->SetText("x");
    form->BootmodeRadio->Button(4)->click();  // already selected: nothing runs
    EXPECT_EQ(Status(), "x");
}

TEST_F(WindowTest, ActivationScansAgainUntilAPortIsFound) {
    rig->line().Detach(platform::DeviceName(1));
    uitest::SetPortPresent(dir.path(), 1, false);
    Start();
    form->FormActivate(form.get());
    EXPECT_EQ(form->PortComboBox->count(), 0);
    EXPECT_EQ(form->PortComboBox->Text(), "COM 1");
    EXPECT_EQ(Status(), "COM 1 (28800 Bd) kein Zugriff");

    rig->AttachPort(3, rig->chip());
    uitest::SetPortPresent(dir.path(), 3, true);
    form->FormActivate(form.get());
    EXPECT_EQ(Items(*form->PortComboBox), QStringList{"COM 3"});
    EXPECT_EQ(form->PortComboBox->Text(), "COM 1");  // the text before the scan stays

    rig->line().Detach(platform::DeviceName(3));
    uitest::SetPortPresent(dir.path(), 3, false);
    rig->AttachPort(4, rig->chip());
    uitest::SetPortPresent(dir.path(), 4, true);
    form->FormActivate(form.get());
    EXPECT_EQ(Items(*form->PortComboBox), QStringList{"COM 3"});
}

TEST_F(WindowTest, ScanKeepsATypedPortItDidNotFind) {
    Start();
    form->FormActivate(form.get());
    ReplacePortText("COM 7");
    form->ComAktuButton->click();
    EXPECT_EQ(Items(*form->PortComboBox), QStringList{"COM 1"});
    EXPECT_EQ(form->PortComboBox->Text(), "COM 7");
    EXPECT_EQ(Status(), "COM 7 (28800 Bd) kein Zugriff");

    form->PortComboBox->SetText("");
    form->ComAktuButton->click();
    EXPECT_EQ(form->PortComboBox->Text(), "COM 1");  // the highest found
    EXPECT_EQ(Status(), "COM 1 (28800 Bd) offen");
}

TEST_F(WindowTest, ShownWindowScansOnItsFirstActivation) {
    Start();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(Items(*form->PortComboBox), QStringList{"COM 1"});
    EXPECT_EQ(Status(), "COM 1 (28800 Bd) offen");
}

// The issue seen on a bench: two clicks into combo boxes rewrote the loaded
// line choice and the flash length, and closing reopened the port.
TEST_F(WindowTest, FocusAndListsWithoutAPickAndTheCloseChangeNoSetting) {
    dir.Write("targets.cfi", Crlf({"STM32F103xB;410;08000000;0;0801FFFF;0"}));
    // Each box shows the text of one of its items.
    dir.Write("default.cfp", Crlf({"BAUD    28800", "COM     1", "CHIPNAM STM32F103xB (128 K Flash ab $08000000)"}));
    dir.Write("line3.cfp", Crlf({"RESET   3", "BOOT    1"}));
    Start();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->KonfigOpenDialog->Chooser = [&] { return std::optional<std::string>(dir.File("line3.cfp")); };
    form->KonfigLadeButton->click();  // Ini holds RESET 3, BOOT 1; the radio groups still show 1 and 4
    const TIniRec loaded = Ini;
    uitest::OpenLog opens;

    struct Box {
        QPushButton* view;
        TComboBox* combo;
    };
    for (const Box& box : {Box{form->PortSetupButton, form->PortComboBox}, Box{form->PortSetupButton, form->BaudrateBox},
                           Box{form->ChipSetupButton, form->ChipTypCombo}}) {
        box.view->click();
        ASSERT_GE(box.combo->findText(box.combo->currentText()), 0) << box.combo->Text();
        box.combo->lineEdit()->setFocus(Qt::MouseFocusReason);
        box.view->setFocus(Qt::MouseFocusReason);
        // The arrow opens the list, and the focus goes in.
        QTest::mouseClick(box.combo, Qt::LeftButton, {}, QPoint(box.combo->width() - 6, box.combo->height() / 2));
        ASSERT_TRUE(QTest::qWaitFor([&] { return box.combo->view()->isVisible(); }));
        QTest::keyClick(box.combo->view(), Qt::Key_Escape);
        box.combo->showPopup();
        box.combo->hidePopup();
        box.view->setFocus(Qt::TabFocusReason);
    }
    form->close();

    EXPECT_TRUE(opens.opened.empty());
    EXPECT_EQ(Ini.ResetMode, 3);
    EXPECT_EQ(Ini.FlashLen, 0x40000u);
    const std::string saved = dir.Read("line3.cfp");
    Ini = loaded;
    SaveKonfig(dir.File("expected.cfp"));
    EXPECT_EQ(saved, dir.Read("expected.cfp"));
}

class ChipListTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dir.Write("targets.cfi", Crlf({"; Name;ChipId;FlashStart;Aux1;FlashEnd;Aux2", "STM32F103xB;410;08000000;0;0801FFFF;0",
                                       "STM32F407xG;413;08000000;0;080FFFFF;0"}));
        Start();
        form->FormActivate(form.get());
    }
};

TEST_F(ChipListTest, PickingAChipTakesItsItemTextAndFlashRange) {
    EXPECT_EQ(Items(*form->ChipTypCombo),
              (QStringList{"STM32F103xB (128 K Flash ab $08000000)", "STM32F407xG (1024 K Flash ab $08000000)"}));
    EXPECT_EQ(form->ChipTypCombo->Text(), "STM32F???");
    EXPECT_EQ(form->ChipTypCombo->ItemIndex(), -1);

    uitest::PickItem(*form->ChipTypCombo, 0);
    EXPECT_EQ(Ini.ChipName, "STM32F103xB (128 K Flash ab $08000000)");
    EXPECT_EQ(Ini.FlashStart, 0x08000000u);
    EXPECT_EQ(Ini.FlashLen, 128u * 1024u);
    EXPECT_EQ(form->ChipAnzeige->text().toStdString(), Ini.ChipName);
    form->close();
    EXPECT_EQ(Saved(dir.Read("default.cfp"), "FLENG   "), "131072");
}

TEST_F(ChipListTest, TypingWithoutASelectedItemKeepsTheChip) {
    uitest::Type(*form->ChipTypCombo, "X");
    EXPECT_EQ(form->ChipTypCombo->Text(), "STM32F???X");
    EXPECT_EQ(Ini.ChipName, "STM32F???");
    EXPECT_EQ(Ini.FlashStart, 0x08000000u);
    EXPECT_EQ(Ini.FlashLen, 0x40000u);
    EXPECT_EQ(form->ChipAnzeige->text(), "STM32F???");
}

TEST_F(WindowTest, HexFileEditRunsHWChangedForTypingAndForANewTextOnly) {
    Start();
    uitest::Type(*form->HexDateiEdit, "a");
    EXPECT_EQ(Ini.HexDatei, "a");
    EXPECT_EQ(Status(), "COM 1 (28800 Bd) offen");

    form->HexDateiEdit->setText("b.hex");
    EXPECT_EQ(Ini.HexDatei, "b.hex");
    form->StaBar->SetText("x");
    form->HexDateiEdit->setText("b.hex");
    EXPECT_EQ(Status(), "x");
}

// The failed save at exit is shown, and the window still closes.
TEST_F(WindowTest, AFailedSaveAtExitIsShownAndTheWindowCloses) {
    std::filesystem::create_directory(DefaultCfp());  // can't be created as a file, not even by root
    Start();
    ASSERT_EQ(errors.size(), 1u);
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowTest, EnlargingMovesOnlyTheAnchoredControls) {
    Start();
    EXPECT_TRUE(!form->MainPanel->isHidden() && form->PortSetupPanel->isHidden() && form->ChipSetupPanel->isHidden());
    EXPECT_EQ(form->size(), QSize(520, 350));
    EXPECT_EQ(form->minimumSize(), QSize(520, 350));
    EXPECT_EQ(form->StaBar->geometry(), QRect(0, 320, 520, 30));
    form->show();  // a hidden window gets its resize event only when shown
    form->resize(620, 400);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->StaBar->geometry().top() == 370; }));
    EXPECT_EQ(form->PortSetupPanel->geometry(), QRect(0, 0, 485, 355));
    EXPECT_EQ(form->MainPanel->geometry(), QRect(0, 0, 485, 363));
    EXPECT_EQ(form->ChipSetupPanel->geometry(), QRect(0, 0, 385, 313));
    EXPECT_EQ(form->ChipAnzeige->geometry(), QRect(8, 330, 469, 24));
    EXPECT_EQ(form->StaBar->geometry(), QRect(0, 370, 620, 30));
    EXPECT_EQ(form->PortSetupButton->geometry(), QRect(392, 8, 121, 33));
}

TEST_F(WindowTest, TabGoesThroughTheProgrammingViewInItsOwnOrder) {
    Start();
    std::vector<std::string> order;
    QWidget* w = form->EraseAllButton;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && form->MainPanel->isAncestorOf(w)) order.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
    } while (w != form->ProgButton && w != form->EraseAllButton);
    EXPECT_EQ(order, (std::vector<std::string>{"EraseAllButton", "KonfigDateiEdit", "KonfigLadeButton", "HexDateiEdit",
                                               "HexLadeButton", "AusleseButton", "ChipAnzeige", "ProgStartButton",
                                               "VerifyButton", "LeertestButton"}));
    EXPECT_EQ(w, form->ProgButton);
}

}  // namespace
