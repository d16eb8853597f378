// "Teste Verbindung + Chip": the simulated F103 answers as the bootloader of
// the worked example does; what the window shows on a match, without one and
// on each failure; and the decoding's own edge cases.
#include <QListWidget>
#include <QPushButton>

#include "jobs/identify.h"
#include "settings/inifile.h"
#include "settings/targets.h"
#include "shown_window.h"

namespace {

std::vector<std::string> Lines(const QListWidget& box) {
    std::vector<std::string> lines;
    for (int i = 0; i < box.count(); ++i) lines.push_back(box.item(i)->text().toStdString());
    return lines;
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

class IdentifyTest : public uitest::ShownWindowTest {
protected:
    void WriteTargets() {
        // Two lines share the F103's ID: the first one is the chip found.
        dir.Write("targets.cfi",
                  "; Name;ChipId;FlashStart;Aux1;FlashEnd;Aux2\r\n"
                  "STM32F407xG;413;08000000;0;080FFFFF;0\r\n"
                  "STM32F10x medium density;410;08000000;0;0801FFFF;0\r\n"
                  "STM32F10x x8;410;08000000;0;0800FFFF;0\r\n");
    }
    void Identify() {
        form->LiBox->addItem("from the run before");
        paints.entries.clear();
        beep->types.clear();
        form->TestChipButton->click();
    }
};

TEST_F(IdentifyTest, WorkedExampleMakesTheFirstTargetWithTheIdTheCurrentChip) {
    WriteTargets();
    Start();
    form->ChipSetupButton->click();
    // A control set by the program alone: HWChanged would take it over.
    form->BaudrateBox->SetText("57600 Baud");
    Identify();

    EXPECT_EQ(Status(), "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack 22 00 00 ");
    EXPECT_EQ(Lines(*form->LiBox),
              (std::vector<std::string>{"Bootlader Version 2.2", "00 Get Commands", "01 Get Laderversion",
                                        "02 Get Chip ID", "11 Read Memory", "21 Go Command", "31 Write Memory",
                                        "43 Simple Erase Memory", "63 Write Protect", "73 Disable Write Protect",
                                        "82 Enable Read Protect", "92 Disable Read Protect", "Opts:22 00 00 ",
                                        "Chip ID: 0410"}));
    // Shown while the run blocks: the combo's text, then the status, then the chip found.
    EXPECT_TRUE(PaintedInOrder(
        {"ChipTypCombo: suche..", "StaBar: warte..", "ChipTypCombo: STM32F10x medium density"}));

    EXPECT_EQ(form->ChipTypCombo->ItemIndex(), 1);
    EXPECT_EQ(form->ChipTypCombo->Text(), "STM32F10x medium density");
    EXPECT_EQ(Ini.ChipName, "STM32F10x medium density");
    EXPECT_EQ(Ini.FlashStart, 0x08000000u);
    EXPECT_EQ(Ini.FlashLen, 0x20000u);
    EXPECT_EQ(form->ChipAnzeige->text().toStdString(), "STM32F10x medium density");
    EXPECT_EQ(beep->types, std::vector<unsigned>{0});
    EXPECT_TRUE(form->ComPort.Opened());
    EXPECT_EQ(Ini.Baud, 28800);

    // Picked by hand, the same chip shows its item's whole text.
    uitest::PickItem(*form->ChipTypCombo, 1);
    EXPECT_EQ(Ini.ChipName, "STM32F10x medium density (128 K Flash ab $08000000)");
    EXPECT_TRUE(errors.empty());
}

TEST_F(IdentifyTest, UnknownIdLeavesTheChipAsItWas) {
    Start();  // no targets.cfi: entry 0 has no name and matches nothing
    Identify();
    EXPECT_EQ(Lines(*form->LiBox).back(), "Chip ID: 0410");
    EXPECT_EQ(form->ChipTypCombo->Text(), "suche..");
    EXPECT_EQ(form->ChipTypCombo->ItemIndex(), -1);
    EXPECT_EQ(Ini.ChipName, "STM32F???");
    EXPECT_EQ(Ini.FlashLen, 0x40000u);
    EXPECT_EQ(form->ChipAnzeige->text(), "STM32F???");
    EXPECT_TRUE(beep->types.empty());
}

class ForeignChipTest : public IdentifyTest {
    sim::ChipPreset Preset() override {
        auto p = sim::F103Preset();
        p.productId = 0x0999;
        return p;
    }
};

TEST_F(ForeignChipTest, IdNotInTheTableIsListedAndMatchesNothing) {
    WriteTargets();
    Start();
    Identify();
    EXPECT_EQ(Lines(*form->LiBox).back(), "Chip ID: 0999");
    EXPECT_EQ(form->ChipTypCombo->Text(), "suche..");
    EXPECT_EQ(Ini.ChipName, "STM32F???");
    EXPECT_TRUE(beep->types.empty());
}

TEST_F(IdentifyTest, FailuresLeaveAnEmptyListAndTheSearchText) {
    WriteTargets();
    Start();
    struct Case {
        const char* what;
        sim::Faults faults;
        const char* status;
    };
    sim::Faults silent, syncOnly, nack;
    silent.silentAfter = 0;
    syncOnly.silentAfter = 1;
    nack.refuse = {0x00};
    for (const Case& c : {Case{"no sync", silent, "Bootlader reagiert nicht"},
                          Case{"nothing after the sync", syncOnly, "keine gültige Antwort vom Bootlader"},
                          Case{"Get refused", nack, "kein Ack vom Bootlader"}}) {
        rig->chip().faults() = c.faults;
        Identify();
        EXPECT_EQ(Status(), c.status) << c.what;
        EXPECT_EQ(form->LiBox->count(), 0) << c.what;
        EXPECT_EQ(form->ChipTypCombo->Text(), "suche..") << c.what;
        EXPECT_EQ(Ini.ChipName, "STM32F???") << c.what;
        EXPECT_TRUE(beep->types.empty()) << c.what;
    }
}

TEST_F(IdentifyTest, CutOffIdReplyShowsWhatCameAndMatchesNothing) {
    WriteTargets();
    Start();
    // Sync ACK, 15 bytes of Get, 5 of Get Version, then the first two of Get ID.
    rig->chip().faults().silentAfter = 1 + 15 + 5 + 2;
    Identify();
    EXPECT_EQ(Lines(*form->LiBox).back(), "Chip ID: ? 79 01");
    EXPECT_EQ(Status(), "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack 22 00 00 ");
    EXPECT_EQ(form->ChipTypCombo->Text(), "suche..");
    EXPECT_EQ(Ini.FlashLen, 0x40000u);
    EXPECT_TRUE(beep->types.empty());
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

}  // namespace
