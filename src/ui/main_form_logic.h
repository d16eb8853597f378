// What the window does when it starts, when a control changes, when a
// button is pressed and when it closes, apart from the toolkit that draws
// it: the handlers see the controls by their names, through small
// interfaces, so that every window toolkit runs the same behaviour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/locations.h"
#include "platform/status_bar.h"
#include "ui/control_interfaces.h"

class TComPort;

// The controls the handlers use, named as the window names them.
struct TMainFormControls {
    ui::Window* Window = nullptr;
    platform::StatusBar* StaBar = nullptr;
    ui::Panel* PortSetupPanel = nullptr;
    ui::Panel* ChipSetupPanel = nullptr;
    ui::Panel* MainPanel = nullptr;
    ui::ComboBox* PortComboBox = nullptr;
    ui::ComboBox* BaudrateBox = nullptr;
    ui::RadioGroup* ChipresetRadio = nullptr;
    ui::RadioGroup* BootmodeRadio = nullptr;
    ui::CheckBox* CBManuellTyp = nullptr;
    ui::CheckBox* CBAutoErase = nullptr;
    ui::ComboBox* ChipTypCombo = nullptr;
    ui::ListBox* LiBox = nullptr;
    ui::PathEdit* KonfigDateiEdit = nullptr;
    ui::FileDialog* KonfigOpenDialog = nullptr;
    ui::PathEdit* HexDateiEdit = nullptr;
    ui::FileDialog* HexOpenDialog = nullptr;
    ui::Edit* ChipAnzeige = nullptr;
    ui::FileDialog* BinSaveDialog = nullptr;
};

class TMainFormLogic : private TMainFormControls {
public:
    // exeDir: where targets.cfi and default.cfp are looked for, with its
    // trailing separator; empty: the executable's folder. arguments: the
    // command line without the program name.
    TMainFormLogic(const TMainFormControls& controls, TComPort& comPort, std::string exeDir,
                   std::vector<std::string> arguments);

    void FormCreate();
    void FormActivate();
    void FormClose();
    void HWChanged();
    void ComAktuButtonClick();
    void PortSetupButtonClick();
    void ChipSetupButtonClick();
    void ProgButtonClick();
    void TestChipButtonClick();
    void Reset_ein_ButtonClick();
    void Reset_aus_ButtonClick();
    void Bootlader_ButtonClick();
    void Normal_ButtonClick();
    void KonfigLadeButtonClick();
    void HexLadeButtonClick();
    void ProgStartButtonClick();
    void VerifyButtonClick();
    void LeertestButtonClick();
    void EraseAllButtonClick();
    void AusleseButtonClick();

private:
    // Whether port n goes into the port list.
    bool PortFound(std::int32_t n);
    // The HEX file read and the chip in its bootloader, for program and verify;
    // showConnecting paints "verbinde.." before the wait.
    bool LoadAndConnect(bool showConnecting);
    // The device of the port in use and, when it could not be opened, why.
    void ShowPortToolTips();

    TComPort& ComPort;
    std::string exeDir_;
    std::vector<std::string> arguments_;
    // default.cfp, targets.cfi and ports/: beside the program or, installed, the user's.
    platform::ProgramFiles Files;
};
