#include "ui/main_form_logic.h"

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "platform/beep.h"
#include "platform/ports.h"
#include "platform/textfile.h"
#include "serial/comport.h"
#include "settings/hexfile.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "settings/startup.h"
#include "settings/targets.h"

namespace {

constexpr int kBaudRates[] = {2400, 4800, 7200, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int kFirstPort = 1;
constexpr int kLastPort = 99;

std::string PortText(std::int32_t n) { return "COM " + std::to_string(n); }

}  // namespace

TMainFormLogic::TMainFormLogic(const TMainFormControls& controls, TComPort& comPort, std::string exeDir,
                               std::vector<std::string> arguments)
    : TMainFormControls(controls), ComPort(comPort), exeDir_(std::move(exeDir)), arguments_(std::move(arguments)) {}

void TMainFormLogic::FormCreate() {
    // A file that can't be read is shown; the controls are filled all the same,
    // or the window would be of no use.
    ChipTypCombo->Clear();
    PortComboBox->Clear();
    BaudrateBox->Clear();
    TStartUp how;
    how.exeDir = exeDir_;
    how.chips = ChipTypCombo;
    if (!arguments_.empty()) how.argument = arguments_.front();
    how.report = [this](const std::string& text) { Window->ShowError(text); };
    Files = StartUp(how).files;

    ComPort.SetBaud(Ini.Baud);
    BaudrateBox->SetText(std::to_string(Ini.Baud) + " Baud");
    ComPort.SetPort(Ini.ComNr);
    PortComboBox->SetText(PortText(Ini.ComNr));
    ChipresetRadio->SetItemIndex(Ini.ResetMode);
    BootmodeRadio->SetItemIndex(Ini.BootMode);
    CBManuellTyp->SetChecked(Ini.ManuellTyp);
    CBAutoErase->SetChecked(Ini.AutoErase);
    ChipTypCombo->SetText(Ini.ChipName);
    KonfigDateiEdit->SetPath(Ini.KonfigDatei);
    HexDateiEdit->SetPath(Ini.HexDatei);
    ChipAnzeige->SetText(Ini.ChipName);
    for (int rate : kBaudRates) BaudrateBox->AddItem(std::to_string(rate) + " Baud");
    ComPort.SetParity(proto::kEvenParity);
}

void TMainFormLogic::FormActivate() {
    if (PortComboBox->Count() == 0) ComAktuButtonClick();
}

bool TMainFormLogic::PortFound(std::int32_t n) {
    if (!platform::ListPortsByOpening()) return platform::PortListable(n);
    ComPort.SetPort(n);
    if (!ComPort.Open()) return false;
    ComPort.Close();
    return true;
}

void TMainFormLogic::ComAktuButtonClick() {
    const std::string remembered = PortComboBox->Text();
    PortComboBox->Clear();
    std::int32_t highest = 0;
    for (std::int32_t n = kFirstPort; n <= kLastPort; ++n) {
        if (PortFound(n)) {
            PortComboBox->AddItem(PortText(n), platform::DeviceName(n));
            highest = n;
        }
    }
    if (!remembered.empty())
        PortComboBox->SetText(remembered);
    else if (highest > 0)
        PortComboBox->SetText(PortText(highest));
    HWChanged();
}

void TMainFormLogic::HWChanged() {
    const int i = ChipTypCombo->ItemIndex();
    Ini.ComNr = DigitsToInt(PortComboBox->Text());
    Ini.Baud = DigitsToInt(BaudrateBox->Text());
    Ini.ResetMode = ChipresetRadio->ItemIndex();
    Ini.BootMode = BootmodeRadio->ItemIndex();
    Ini.ManuellTyp = CBManuellTyp->Checked();
    Ini.AutoErase = CBAutoErase->Checked();
    if (i >= 0 && i < kTargetCount) {
        TakeTarget(Targets[i], ChipTypCombo->Text());
    }
    Ini.KonfigDatei = KonfigDateiEdit->Path();
    Ini.HexDatei = HexDateiEdit->Path();
    ComPort.SetPort(Ini.ComNr);
    ComPort.SetBaud(Ini.Baud);
    ComPort.Open();
    StaBar->SetText(OpenStateText(PortText(ComPort.Port()), ComPort));
    ShowPortToolTips();
    ChipAnzeige->SetText(Ini.ChipName);
}

void TMainFormLogic::ShowPortToolTips() {
    const std::int32_t n = ComPort.Port();
    std::string tip = platform::DeviceName(n);
    if (!ComPort.Opened()) {
        const std::string why = platform::OpenFailureReason(n);
        if (!why.empty()) tip += "\n" + why;
    }
    PortComboBox->SetToolTip(tip);
    // The items keep their device; the one in use also says why it failed.
    for (int i = 0; i < PortComboBox->Count(); ++i) {
        const std::int32_t item = DigitsToInt(PortComboBox->ItemText(i));
        PortComboBox->SetItemToolTip(i, item == n ? tip : platform::DeviceName(item));
    }
}

void TMainFormLogic::PortSetupButtonClick() {
    MainPanel->Hide();
    ChipSetupPanel->Hide();
    PortSetupPanel->Show();
}

void TMainFormLogic::ChipSetupButtonClick() {
    MainPanel->Hide();
    PortSetupPanel->Hide();
    ChipSetupPanel->Show();
}

void TMainFormLogic::ProgButtonClick() {
    ChipSetupPanel->Hide();
    PortSetupPanel->Hide();
    MainPanel->Show();
}

void TMainFormLogic::FormClose() {
    RestartNormal(ComPort);
    if (!platform::FileExists(Ini.KonfigDatei)) Ini.KonfigDatei = Files.konfigFile;
    SaveKonfig(Ini.KonfigDatei);
}

// Chip identification and the job buttons.

void TMainFormLogic::TestChipButtonClick() {
    LiBox->Clear();
    ChipTypCombo->SetText("suche..");
    ChipTypCombo->Repaint();
    ComPort.Open();
    StaBar->SetText("warte..");
    StaBar->Repaint();
    const TIdentification found = IdentifyChip(ComPort);
    for (const std::string& line : found.lines) LiBox->Add(line);
    StaBar->SetText(found.statusText);
    if (found.targetIndex < 0) return;

    // Set by the program, so HWChanged stays out: the port is not reopened.
    const TTargetRec& target = Targets[found.targetIndex];
    ChipTypCombo->SetItemIndex(found.targetIndex);
    ChipTypCombo->SetText(target.Name);
    ChipTypCombo->Repaint();
    TakeTarget(target, target.Name);
    ChipAnzeige->SetText(Ini.ChipName);
    platform::MessageBeep(0);
}

void TMainFormLogic::Reset_ein_ButtonClick() { ResetLine(ComPort, true); }
void TMainFormLogic::Reset_aus_ButtonClick() { ResetLine(ComPort, false); }
void TMainFormLogic::Bootlader_ButtonClick() { BootLine(ComPort, true); }
void TMainFormLogic::Normal_ButtonClick() { BootLine(ComPort, false); }

// Only Ini takes the loaded values; the controls keep theirs until the next
// HWChanged copies them back.
void TMainFormLogic::KonfigLadeButtonClick() {
    if (!KonfigOpenDialog->Execute()) return;
    KonfigDateiEdit->SetPath(KonfigOpenDialog->FileName());
    const std::string path = KonfigDateiEdit->Path();
    if (LoadKonfig(path)) {
        Ini.KonfigDatei = path;
        StaBar->SetText(path + " geladen");
    } else {
        StaBar->SetText(path + " fehlerhaft!");
    }
}

void TMainFormLogic::HexLadeButtonClick() {
    if (!HexOpenDialog->Execute()) return;
    const std::string chosen = HexOpenDialog->FileName();
    HexDateiEdit->SetPath(chosen);  // a new name runs HWChanged
    Ini.HexDatei = chosen;
    const std::string shown = HexDateiEdit->Path();
    if (!platform::FileExists(shown)) {
        StaBar->SetText(shown + " gibt es nicht!");
        return;
    }
    std::string message;
    if (LoadHexFile(*StaBar, Ini.HexDatei, message))
        StaBar->SetText(shown + " geladen");
    else
        StaBar->SetText(message);
}

// The file is read again on every click, so its latest state goes to the
// chip; then the chip is reset into its bootloader. False with the reason shown.
bool TMainFormLogic::LoadAndConnect(bool showConnecting) {
    std::string message;
    StaBar->SetText("lese Hexdatei..");
    StaBar->Repaint();
    if (!LoadHexFile(*StaBar, Ini.HexDatei, message)) {
        StaBar->SetText(message);
        return false;
    }
    StaBar->SetText("verbinde..");
    if (showConnecting) StaBar->Repaint();
    if (!Connect(ComPort)) {
        StaBar->SetText("keine Verbindung.");
        return false;
    }
    return true;
}

void TMainFormLogic::ProgStartButtonClick() {
    if (!LoadAndConnect(true)) return;
    StaBar->SetText("programmiere..");
    StaBar->Repaint();
    StaBar->SetText(ProgramFlash(ComPort, *StaBar).text);
    StaBar->Repaint();
}

void TMainFormLogic::VerifyButtonClick() {
    if (!LoadAndConnect(false)) return;
    StaBar->SetText(VerifyFlash(ComPort, *StaBar).text);
}

void TMainFormLogic::LeertestButtonClick() {
    StaBar->SetText(BlankCheck(ComPort, *StaBar).text);
}

void TMainFormLogic::EraseAllButtonClick() {
    StaBar->SetText(EraseChip(ComPort, *StaBar).text);
}

void TMainFormLogic::AusleseButtonClick() {
    if (!BinSaveDialog->Execute()) return;
    // Redraw what the dialog covered before the long read blocks the window.
    Window->Repaint();
    ReadOut(BinSaveDialog->FileName(), ComPort, *StaBar);
}
