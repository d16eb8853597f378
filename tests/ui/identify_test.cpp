// "Teste Verbindung + Chip" on the screen: the texts the window forces onto
// it while identification blocks. What the handler sets is tested on fake
// controls (tests/ui_logic).
#include <QPushButton>

#include "shown_window.h"

namespace {

class IdentifyTest : public uitest::ShownWindowTest {};

TEST_F(IdentifyTest, SearchStatusAndChipFoundArePaintedWhileTheRunBlocks) {
    // Two lines share the F103's ID: the first one is the chip found.
    dir.Write("targets.cfi",
              "; Name;ChipId;FlashStart;Aux1;FlashEnd;Aux2\r\n"
              "STM32F407xG;413;08000000;0;080FFFFF;0\r\n"
              "STM32F10x medium density;410;08000000;0;0801FFFF;0\r\n"
              "STM32F10x x8;410;08000000;0;0800FFFF;0\r\n");
    Start();
    form->ChipSetupButton->click();
    paints.entries.clear();
    form->TestChipButton->click();
    EXPECT_TRUE(PaintedInOrder(
        {"ChipTypCombo: suche..", "StaBar: warte..", "ChipTypCombo: STM32F10x medium density"}));
    EXPECT_EQ(form->LiBox->count(), 14);
    EXPECT_EQ(form->ChipAnzeige->text().toStdString(), "STM32F10x medium density");
    EXPECT_TRUE(errors.empty());
}

}  // namespace
