// The toolkit behaviour the window relies on where Qt's differs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/controls.h"
#include "ui/german.h"
#include "ui_app.h"

namespace {

class ControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::App(); }
};

int Checked(const TRadioGroup& group) {
    int checked = -1;
    for (int i = 0; i < group.Count(); ++i)
        if (group.Button(i)->isChecked()) checked = i;
    return checked;
}

TEST_F(ControlsTest, RadioGroupClampsTheIndexItIsGiven) {
    TRadioGroup group("Boot Mode", {"aus", "DTR hi", "DTR lo", "RTS hi", "RTS lo"}, nullptr);
    struct Case {
        int given, index;
    };
    for (const Case c : {Case{2, 2}, Case{5, 4}, Case{99, 4}, Case{-1, -1}, Case{0, 0}, Case{-7, -1}}) {
        group.SetItemIndex(c.given);
        EXPECT_EQ(group.ItemIndex(), c.index) << "given " << c.given;
        EXPECT_EQ(Checked(group), c.index) << "given " << c.given;
    }
}

TEST_F(ControlsTest, RadioGroupClicksOnlyWhenTheUserChangesTheItem) {
    TRadioGroup group("Chip Reset", {"aus", "DTR hi", "DTR lo"}, nullptr);
    QSignalSpy clicks(&group, &TRadioGroup::Click);
    group.SetItemIndex(1);
    EXPECT_EQ(clicks.count(), 0);

    group.Button(1)->click();  // the selected one
    EXPECT_EQ(clicks.count(), 0);
    group.Button(2)->click();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(group.ItemIndex(), 2);

    group.SetItemIndex(-1);
    group.Button(2)->click();  // nothing selected: any item is a change
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(group.ItemIndex(), 2);
}

class ComboTest : public ControlsTest {
protected:
    void SetUp() override {
        combo.resize(200, 21);
        for (const char* item : {"COM 2", "COM 5", "COM 9"}) combo.AddItem(item);
    }
    TComboBox combo{nullptr};
};

TEST_F(ComboTest, ItemsAddedByTheProgramLeaveTextAndSelection) {
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(combo.ItemIndex(), -1);
    combo.SetText("COM 7");
    combo.AddItem("COM 11", "/dev/ttyUSB3");
    EXPECT_EQ(combo.Text(), "COM 7");
    EXPECT_EQ(combo.ItemIndex(), -1);
    EXPECT_EQ(combo.itemData(3, Qt::ToolTipRole).toString(), "/dev/ttyUSB3");
}

TEST_F(ComboTest, TextSetByTheProgramKeepsTheSelectedItem) {
    QSignalSpy changes(&combo, &TComboBox::Change);
    combo.SetItemIndex(1);
    EXPECT_EQ(combo.Text(), "COM 5");
    combo.SetText("suche..");
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(combo.Text(), "suche..");
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ComboTest, PickByHandShowsTheItemAndRaisesChange) {
    QSignalSpy changes(&combo, &TComboBox::Change);
    combo.SetText("suche..");
    uitest::PickItem(combo, 2);
    EXPECT_EQ(combo.ItemIndex(), 2);
    EXPECT_EQ(combo.Text(), "COM 9");
    EXPECT_EQ(changes.count(), 1);
    // So does a key that moves the selection of the closed box.
    QTest::keyClick(&combo, Qt::Key_Up);
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(combo.Text(), "COM 5");
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(ComboTest, TypingRaisesChangePerKeyAndKeepsTheSelection) {
    combo.SetItemIndex(0);
    QSignalSpy changes(&combo, &TComboBox::Change);
    uitest::Type(combo, "12");
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(combo.Text(), "COM 212");
    EXPECT_EQ(combo.ItemIndex(), 0);
}

TEST_F(ComboTest, ClearEmptiesItemsTextAndSelection) {
    combo.SetItemIndex(2);
    combo.Clear();
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(combo.ItemIndex(), -1);
}

TEST_F(ControlsTest, BytesOutsideUtf8ShowAsLatin1) {
    struct Case {
        const char* bytes;
        QString shown;
    };
    for (const Case& c : {Case{"Pr\xC3\xBC" "fung", QString::fromUtf8("Prüfung")},
                          Case{"/home/\xE9t\xE9.hex", QString::fromUtf8("/home/été.hex")},
                          Case{"\xF0\x9F\x94\x8C \xC3\xBC\xFC", QString::fromUtf8("🔌 üü")},
                          Case{"\xC0\xAF", QString::fromUtf8("À¯")},             // overlong
                          Case{"\xED\xA0\x80", QString::fromUtf8("í\u00A0\u0080")},  // a surrogate
                          Case{"a\xE2\x82", QString::fromUtf8("aâ\u0082")}}) {  // cut off
        EXPECT_EQ(QStr(c.bytes), c.shown) << c.bytes;
    }
}

TEST_F(ControlsTest, StatusBarKeepsUtf8Texts) {
    TStatusBar bar(nullptr);
    bar.SetText("keine gültige Antwort vom Bootlader");
    EXPECT_EQ(bar.Text(), "keine gültige Antwort vom Bootlader");
    EXPECT_EQ(bar.Panel()->text(), QString::fromUtf8("keine gültige Antwort vom Bootlader"));
    bar.Repaint();
}

TEST_F(ControlsTest, FilterPairsBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilters("Intel Hexfile (*.hex)|*.hex|Binärfile (*.bin)|*.bin|alle Dateien (*.*)|*.*"),
              (QStringList{"Intel Hexfile (*.hex)", QString::fromUtf8("Binärfile (*.bin)"), "alle Dateien (*.*)"}));
    // A description that doesn't name its pattern gets it added.
    EXPECT_EQ(QtNameFilters("Konfiguration|*.cfp"), QStringList{"Konfiguration (*.cfp)"});
}

TEST_F(ControlsTest, DialogsAreSetUpForTheirUse) {
    TFileDialog open(TFileDialog::Kind::Open, "Intel Hexfile (*.hex)|*.hex|alle Dateien (*.*)|*.*", "hex", nullptr);
    QFileDialog shown;
    shown.setOption(QFileDialog::DontUseNativeDialog);
    open.Configure(shown);
    EXPECT_EQ(shown.nameFilters(), (QStringList{"Intel Hexfile (*.hex)", "alle Dateien (*.*)"}));
    EXPECT_EQ(shown.selectedNameFilter(), "Intel Hexfile (*.hex)");
    EXPECT_EQ(shown.defaultSuffix(), "hex");
    EXPECT_EQ(shown.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(shown.fileMode(), QFileDialog::AnyFile);  // a missing file may be named

    TFileDialog save(TFileDialog::Kind::Save, "Binärdatei (*.bin)|*.bin", "bin", nullptr);
    QFileDialog saving;
    saving.setOption(QFileDialog::DontUseNativeDialog);
    save.Configure(saving);
    EXPECT_EQ(saving.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(saving.testOption(QFileDialog::DontConfirmOverwrite));
}

TEST_F(ControlsTest, QtsOwnDialogsSpeakGerman) {
    ASSERT_TRUE(SpeakGerman(uitest::App())) << "no qtbase_de.qm (scripts/install-deps.sh installs it)";
    TFileDialog save(TFileDialog::Kind::Save, "Binärdatei (*.bin)|*.bin", "bin", nullptr);
    QFileDialog shown;
    shown.setOption(QFileDialog::DontUseNativeDialog);
    save.Configure(shown);
    EXPECT_EQ(shown.windowTitle(), "Speichern unter");
    EXPECT_EQ(shown.labelText(QFileDialog::Reject), "Abbrechen");
    EXPECT_EQ(shown.labelText(QFileDialog::FileName), "Datei&name:");
    QMessageBox box(QMessageBox::Critical, "Velkor Programmer", "x", QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Abbrechen");
}

TEST_F(ControlsTest, DialogAnswersThroughItsChooser) {
    TFileDialog dialog(TFileDialog::Kind::Open, "alle Dateien (*.*)|*.*", "cfp", nullptr);
    dialog.Chooser = [] { return std::optional<std::string>("a/b.cfp"); };
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), "a/b.cfp");
    dialog.Chooser = [] { return std::optional<std::string>(); };
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), "a/b.cfp");
}

}  // namespace
