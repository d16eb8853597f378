#include "ui/velkor_unit.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <exception>

#include "bootloader/lolevel.h"
#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "platform/beep.h"
#include "platform/ports.h"
#include "platform/textfile.h"
#include "settings/hexfile.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "settings/targets.h"

namespace {

// The client area the positions below are laid out for; anchored controls
// follow any growth of it.
constexpr int kClientWidth = 520;
constexpr int kClientHeight = 350;
constexpr int kStaBarHeight = 30;

constexpr int kBaudRates[] = {2400, 4800, 7200, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int kFirstPort = 1;
constexpr int kLastPort = 99;
constexpr int kEvenParity = 2;

#if !defined(_WIN32)
// The sound theme's events; the window system's bell where none can play.
// Windows plays a sound of its own for each beep type.
class WindowBeep : public platform::ThemeSoundBeep {
    void Bell() override { QApplication::beep(); }
};
WindowBeep g_beep;
#endif

std::string PortText(std::int32_t n) { return "COM " + std::to_string(n); }

// Extension of the file name, after its last ".", in upper case.
std::string UpperExtension(const std::string& path) {
#if defined(_WIN32)
    const auto nameStart = path.find_last_of("\\/:");
#else
    const auto nameStart = path.find_last_of('/');
#endif
    const std::string name = nameStart == std::string::npos ? path : path.substr(nameStart + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return ext;
}

QPushButton* Button(const char* name, const QString& caption, QWidget* parent, int x, int y, int w, int h) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(x, y, w, h);
    return b;
}

QGroupBox* GroupBox(const char* name, const QString& caption, QWidget* parent, int x, int y, int w, int h) {
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    g->setGeometry(x, y, w, h);
    return g;
}

template <class E = QLineEdit>
E* Edit(const char* name, QWidget* parent, int x, int y, int w, int h) {
    auto* e = new E(parent);
    e->setObjectName(name);
    e->setGeometry(x, y, w, h);
    return e;
}

TComboBox* Combo(const char* name, QWidget* parent, int x, int y, int w, int h) {
    auto* c = new TComboBox(parent);
    c->setObjectName(name);
    c->setGeometry(x, y, w, h);
    return c;
}

}  // namespace

TMainForm::TMainForm(Options options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
    CreateControls();
    SetTabOrder();
#if !defined(_WIN32)
    platform::SetBeepSink(&g_beep);
#endif
    Guarded([&] { FormCreate(this); });
    // Only now: the names FormCreate puts in must not run HWChanged.
    ConnectHandlers();
}

TMainForm::~TMainForm() { platform::SetBeepSink(nullptr); }

template <class F>
void TMainForm::Handler(F&& handler) {
    if (closed_ || !busy_.Run([&] { Guarded(handler); })) return;
    if (closePending_) {
        closePending_ = activatePending_ = false;
        close();
    } else if (activatePending_) {
        activatePending_ = false;
        if (isActiveWindow()) Activated();
    }
}

void TMainForm::Activated() {
    Handler([this] { FormActivate(this); });
}

template <class F>
void TMainForm::Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TMainForm::ShowError(const std::string& text) {
    // The box must take the clicks made for it, not those made during the wait.
    busy_.EndWait();
    if (options_.showError)
        options_.showError(text);
    else
        QMessageBox::critical(this, windowTitle(), QStr(text));
}

void TMainForm::CreateControls() {
    setObjectName("MainForm");
    setWindowTitle("Velkor Programmer");
    setFont(UiFont(11));
    setMinimumSize(kClientWidth, kClientHeight);
    resize(kClientWidth, kClientHeight);
    move(382, 180);

    // Top level. The views lie on top of each other; the view buttons stay above them.
    ChipSetupPanel = GroupBox("ChipSetupPanel", "ChipSetupPanel", this, 0, 0, 385, 313);
    ChipSetupPanel->hide();
    PortSetupPanel = GroupBox("PortSetupPanel", "Hardware Setup", this, 0, 0, 385, 305);
    PortSetupPanel->hide();
    MainPanel = new QFrame(this);
    MainPanel->setObjectName("MainPanel");
    MainPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MainPanel->setLineWidth(1);
    MainPanel->setGeometry(0, 0, 385, 313);

    StaBar = new TStatusBar(this);
    StaBar->setObjectName("StaBar");
    StaBar->setFont(UiFont(13));
    StaBar->setGeometry(0, kClientHeight - kStaBarHeight, kClientWidth, kStaBarHeight);
    StaBar->SetText("...pause");

    PortSetupButton = Button("PortSetupButton", "Port Setup", this, 392, 8, 121, 33);
    ChipSetupButton = Button("ChipSetupButton", "Chip Setup", this, 392, 48, 121, 33);
    ProgButton = Button("ProgButton", "Programmierung", this, 392, 96, 121, 33);

    // View "Hardware Setup".
    PortBox = GroupBox("PortBox", "Port", PortSetupPanel, 8, 16, 113, 121);
    PortComboBox = Combo("PortComboBox", PortBox, 8, 16, 97, 21);
    ComAktuButton = Button("ComAktuButton", "aktualisieren", PortBox, 8, 48, 97, 25);
    BaudrateBox = Combo("BaudrateBox", PortBox, 8, 88, 97, 21);

    QStringList lineChoices;
    for (const char* label : kLineChoiceLabels) lineChoices << QStr(label);
    ChipresetRadio = new TRadioGroup("Chip Reset", lineChoices, PortSetupPanel);
    ChipresetRadio->setObjectName("ChipresetRadio");
    ChipresetRadio->setGeometry(128, 16, 113, 113);
    ChipresetRadio->SetItemIndex(1);
    BootmodeRadio = new TRadioGroup("Boot Mode", lineChoices, PortSetupPanel);
    BootmodeRadio->setObjectName("BootmodeRadio");
    BootmodeRadio->setGeometry(256, 16, 113, 113);
    BootmodeRadio->SetItemIndex(4);

    GroupBox1 = GroupBox("GroupBox1", "Test Reset", PortSetupPanel, 128, 136, 113, 81);
    Reset_ein_Button = Button("Reset_ein_Button", "Reset ein", GroupBox1, 8, 16, 97, 25);
    Reset_aus_Button = Button("Reset_aus_Button", "Reset aus", GroupBox1, 8, 48, 97, 25);
    GroupBox2 = GroupBox("GroupBox2", "Test Bootmode", PortSetupPanel, 256, 136, 113, 81);
    Bootlader_Button = Button("Bootlader_Button", "zum Bootlader", GroupBox2, 8, 16, 97, 25);
    Normal_Button = Button("Normal_Button", "Normal-Start", GroupBox2, 8, 48, 97, 25);

    // Chip view.
    CBManuellTyp = new QCheckBox(QStr("Chip manuell wählen"), ChipSetupPanel);
    CBManuellTyp->setObjectName("CBManuellTyp");
    CBManuellTyp->setGeometry(8, 16, 129, 25);
    CBManuellTyp->setChecked(true);
    CBAutoErase = new QCheckBox(QStr("Auto  Chip löschen + entsperren"), ChipSetupPanel);
    CBAutoErase->setObjectName("CBAutoErase");
    CBAutoErase->setGeometry(192, 16, 177, 25);
    CBAutoErase->setChecked(true);
    ChipTypCombo = Combo("ChipTypCombo", ChipSetupPanel, 8, 40, 369, 21);
    ChipTypCombo->setMaxVisibleItems(20);
    TestChipButton = Button("TestChipButton", "Teste Verbindung + Chip", ChipSetupPanel, 8, 64, 161, 25);
    LiBox = new QListWidget(ChipSetupPanel);
    LiBox->setObjectName("LiBox");
    LiBox->setGeometry(2, 102, 381, 209);
    LiBox->setSelectionMode(QAbstractItemView::ExtendedSelection);

    // View "Programmierung".
    GroupBox3 = GroupBox("GroupBox3", "Konfigurationsdatei", MainPanel, 8, 8, 369, 41);
    KonfigDateiEdit = Edit<TPathEdit>("KonfigDateiEdit", GroupBox3, 8, 16, 313, 21);
    KonfigLadeButton = Button("KonfigLadeButton", "...", GroupBox3, 328, 16, 33, 20);
    Label1 = new QLabel("Hexfile", MainPanel);
    Label1->setObjectName("Label1");
    Label1->move(16, 56);
    Label1->adjustSize();
    HexDateiEdit = Edit<TPathEdit>("HexDateiEdit", MainPanel, 16, 72, 313, 21);
    HexLadeButton = Button("HexLadeButton", "...", MainPanel, 336, 72, 33, 20);
    LeertestButton = Button("LeertestButton", "Leertest", MainPanel, 8, 104, 97, 25);
    AusleseButton = Button("AusleseButton", "Chip auslesen", MainPanel, 8, 136, 97, 25);
    EraseAllButton = Button("EraseAllButton", QStr("alles Löschen"), MainPanel, 8, 184, 97, 25);
    ProgStartButton = Button("ProgStartButton", "Programmieren", MainPanel, 8, 216, 97, 25);
    VerifyButton = Button("VerifyButton", "Verifizieren", MainPanel, 8, 248, 97, 25);
    ChipAnzeige = Edit("ChipAnzeige", MainPanel, 8, 280, 369, 24);
    ChipAnzeige->setReadOnly(true);
    ChipAnzeige->setFont(UiFont(13));
    QPalette chipColours = ChipAnzeige->palette();
    chipColours.setColor(QPalette::Base, QColor(192, 220, 192));
    ChipAnzeige->setPalette(chipColours);

    KonfigOpenDialog = new TFileDialog(TFileDialog::Kind::Open,
                                       "Velkor Programmer Konfiguration (*.cfp)|*.cfp|alle Dateien (*.*)|*.*", "cfp",
                                       this);
    KonfigOpenDialog->setObjectName("KonfigOpenDialog");
    HexOpenDialog = new TFileDialog(TFileDialog::Kind::Open,
                                    "Intel Hexfile (*.hex)|*.hex|Motorola Hexfile (*.s19)|*.s19|"
                                    "Binärfile (*.bin)|*.bin|alle Dateien (*.*)|*.*",
                                    "hex", this);
    HexOpenDialog->setObjectName("HexOpenDialog");
    BinSaveDialog = new TFileDialog(TFileDialog::Kind::Save, "Binärdatei (*.bin)|*.bin|alle Dateien (*.*)|*.*", "bin",
                                    this);
    BinSaveDialog->setObjectName("BinSaveDialog");
}

// Tab moves through a container's children, in their own order, before it
// goes on to the container's next sibling.
void TMainForm::SetTabOrder() {
    std::vector<QWidget*> chain = {PortComboBox, BaudrateBox, ComAktuButton};
    for (int i = 0; i < ChipresetRadio->Count(); ++i) chain.push_back(ChipresetRadio->Button(i));
    for (int i = 0; i < BootmodeRadio->Count(); ++i) chain.push_back(BootmodeRadio->Button(i));
    chain.insert(chain.end(), {Reset_ein_Button, Reset_aus_Button, Bootlader_Button, Normal_Button,
                               PortSetupButton, ChipSetupButton,
                               CBManuellTyp, CBAutoErase, ChipTypCombo, TestChipButton, LiBox,
                               EraseAllButton, KonfigDateiEdit, KonfigLadeButton, HexDateiEdit, HexLadeButton,
                               AusleseButton, ChipAnzeige, ProgStartButton, VerifyButton, LeertestButton,
                               ProgButton});
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
}

void TMainForm::OnClick(QPushButton* button, void (TMainForm::*handler)(QObject*)) {
    connect(button, &QPushButton::clicked, this, [this, button, handler] { Handler([&] { (this->*handler)(button); }); });
}

void TMainForm::ConnectHandlers() {
    OnClick(PortSetupButton, &TMainForm::PortSetupButtonClick);
    OnClick(ChipSetupButton, &TMainForm::ChipSetupButtonClick);
    OnClick(ProgButton, &TMainForm::ProgButtonClick);
    OnClick(ComAktuButton, &TMainForm::ComAktuButtonClick);
    OnClick(Reset_ein_Button, &TMainForm::Reset_ein_ButtonClick);
    OnClick(Reset_aus_Button, &TMainForm::Reset_aus_ButtonClick);
    OnClick(Bootlader_Button, &TMainForm::Bootlader_ButtonClick);
    OnClick(Normal_Button, &TMainForm::Normal_ButtonClick);
    OnClick(TestChipButton, &TMainForm::TestChipButtonClick);
    OnClick(KonfigLadeButton, &TMainForm::KonfigLadeButtonClick);
    OnClick(HexLadeButton, &TMainForm::HexLadeButtonClick);
    OnClick(LeertestButton, &TMainForm::LeertestButtonClick);
    OnClick(AusleseButton, &TMainForm::AusleseButtonClick);
    OnClick(EraseAllButton, &TMainForm::EraseAllButtonClick);
    OnClick(ProgStartButton, &TMainForm::ProgStartButtonClick);
    OnClick(VerifyButton, &TMainForm::VerifyButtonClick);

    auto changed = [this](QObject* sender) {
        return [this, sender] {
            Handler([&] { HWChanged(sender); });
        };
    };
    connect(PortComboBox, &TComboBox::Change, this, changed(PortComboBox));
    connect(BaudrateBox, &TComboBox::Change, this, changed(BaudrateBox));
    connect(ChipTypCombo, &TComboBox::Change, this, changed(ChipTypCombo));
    connect(ChipresetRadio, &TRadioGroup::Click, this, changed(ChipresetRadio));
    connect(BootmodeRadio, &TRadioGroup::Click, this, changed(BootmodeRadio));
    connect(CBManuellTyp, &QCheckBox::clicked, this, changed(CBManuellTyp));
    // Also when the program puts another name in: choosing a HEX file does,
    // inside its own handler, and there it runs there and then.
    connect(HexDateiEdit, &QLineEdit::textChanged, this, [this, changed] {
        if (closed_) return;
        if (busy_.Running())
            Guarded([&] { HWChanged(HexDateiEdit); });
        else
            changed(HexDateiEdit)();
    });
}

bool TMainForm::event(QEvent* e) {
    const bool handled = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate) {
        if (busy_.Running())
            activatePending_ = true;
        else
            Activated();
    }
    return handled;
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (busy_.Running()) {
        // Ending now would leave a half-programmed chip: the job's end closes.
        closePending_ = true;
        e->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        busy_.Run([&] { Guarded([&] { FormClose(this); }); });
    }
    // A failed save has been shown; keeping the window open would leave no way out.
    e->accept();
}

void TMainForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int dw = width() - kClientWidth;
    const int dh = height() - kClientHeight;
    PortSetupPanel->setGeometry(0, 0, 385 + dw, 305 + dh);
    MainPanel->setGeometry(0, 0, 385 + dw, 313 + dh);
    ChipAnzeige->setGeometry(8, 280 + dh, 369 + dw, 24);
    StaBar->setGeometry(0, height() - kStaBarHeight, width(), kStaBarHeight);
}

void TMainForm::FormCreate(QObject*) {
    std::fill(std::begin(FlashImage), std::end(FlashImage), std::uint8_t{0xFF});
    ClearIni();
    Files = platform::FindProgramFiles(options_.exeDir.empty() ? platform::ExecutableDir() : options_.exeDir);
    platform::SetPortsDir(Files.portsDir);

    // A file that can't be read is shown; the controls are filled all the same,
    // or the window would be of no use.
    ChipTypCombo->Clear();
    Guarded([&] {
        if (platform::FileExists(Files.targetsFile)) LoadTargets(Files.targetsFile, *ChipTypCombo);
    });
    PortComboBox->Clear();
    BaudrateBox->Clear();

    SetIniDefaults(Files.userDir);
    KonfigDateiEdit->SetPath(Ini.KonfigDatei);
    Guarded([&] {
        if (platform::FileExists(Ini.KonfigDatei)) {
            LoadKonfig(Ini.KonfigDatei);
        } else {
            platform::CreateUserDir(Files);
            SaveKonfig(Ini.KonfigDatei);
        }
    });
    Guarded([&] { TakeArgument(); });

    ApplyBaudRule();
    ComPort.SetBaud(Ini.Baud);
    BaudrateBox->SetText(std::to_string(Ini.Baud) + " Baud");
    ComPort.SetPort(Ini.ComNr);
    PortComboBox->SetText(PortText(Ini.ComNr));
    ChipresetRadio->SetItemIndex(Ini.ResetMode);
    BootmodeRadio->SetItemIndex(Ini.BootMode);
    CBManuellTyp->setChecked(Ini.ManuellTyp);
    CBAutoErase->setChecked(Ini.AutoErase);
    ChipTypCombo->SetText(Ini.ChipName);
    KonfigDateiEdit->SetPath(Ini.KonfigDatei);
    HexDateiEdit->SetPath(Ini.HexDatei);
    ChipAnzeige->setText(QStr(Ini.ChipName));
    for (int rate : kBaudRates) BaudrateBox->AddItem(std::to_string(rate) + " Baud");
    ComPort.SetParity(kEvenParity);
}

void TMainForm::TakeArgument() {
    if (options_.arguments.empty()) return;
    const std::string& path = options_.arguments.front();
    const std::string ext = UpperExtension(path);
    if (platform::FileExists(path) && ext == "CFP") LoadKonfig(path);
    if (platform::FileExists(path) && ext == "HEX") Ini.HexDatei = path;
}

void TMainForm::FormActivate(QObject*) {
    if (PortComboBox->count() == 0) ComAktuButtonClick(this);
}

// Opening a port on Linux raises DTR and RTS, which resets whatever board or
// printer hangs on it: there the device nodes tell which ports can be opened.
// Windows scans by opening each port.
bool TMainForm::PortFound(std::int32_t n) {
#if defined(_WIN32)
    ComPort.SetPort(n);
    if (!ComPort.Open()) return false;
    ComPort.Close();
    return true;
#else
    return platform::PortListable(n);
#endif
}

void TMainForm::ComAktuButtonClick(QObject*) {
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
    HWChanged(this);
}

void TMainForm::HWChanged(QObject*) {
    const int i = ChipTypCombo->ItemIndex();
    Ini.ComNr = DigitsToInt(PortComboBox->Text());
    Ini.Baud = DigitsToInt(BaudrateBox->Text());
    Ini.ResetMode = ChipresetRadio->ItemIndex();
    Ini.BootMode = BootmodeRadio->ItemIndex();
    Ini.ManuellTyp = CBManuellTyp->isChecked();
    Ini.AutoErase = CBAutoErase->isChecked();
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
    ChipAnzeige->setText(QStr(Ini.ChipName));
}

void TMainForm::ShowPortToolTips() {
    const std::int32_t n = ComPort.Port();
    std::string tip = platform::DeviceName(n);
    if (!ComPort.Opened()) {
        const std::string why = platform::OpenFailureReason(n);
        if (!why.empty()) tip += "\n" + why;
    }
    PortComboBox->setToolTip(QStr(tip));
    // The items keep their device; the one in use also says why it failed.
    for (int i = 0; i < PortComboBox->count(); ++i) {
        const std::int32_t item = DigitsToInt(Str(PortComboBox->itemText(i)));
        PortComboBox->setItemData(i, QStr(item == n ? tip : platform::DeviceName(item)), Qt::ToolTipRole);
    }
}

void TMainForm::PortSetupButtonClick(QObject*) {
    MainPanel->hide();
    ChipSetupPanel->hide();
    PortSetupPanel->show();
}

void TMainForm::ChipSetupButtonClick(QObject*) {
    MainPanel->hide();
    PortSetupPanel->hide();
    ChipSetupPanel->show();
}

void TMainForm::ProgButtonClick(QObject*) {
    ChipSetupPanel->hide();
    PortSetupPanel->hide();
    MainPanel->show();
}

void TMainForm::FormClose(QObject*) {
    RestartNormal(ComPort);
    if (!platform::FileExists(Ini.KonfigDatei)) Ini.KonfigDatei = Files.konfigFile;
    SaveKonfig(Ini.KonfigDatei);
}

// Chip identification and the job buttons.

void TMainForm::TestChipButtonClick(QObject*) {
    LiBox->clear();
    ChipTypCombo->SetText("suche..");
    ChipTypCombo->repaint();
    ComPort.Open();
    StaBar->SetText("warte..");
    StaBar->Repaint();
    const TIdentification found = IdentifyChip(ComPort);
    for (const std::string& line : found.lines) LiBox->addItem(QStr(line));
    StaBar->SetText(found.statusText);
    if (found.targetIndex < 0) return;

    // Set by the program, so HWChanged stays out: the port is not reopened.
    const TTargetRec& target = Targets[found.targetIndex];
    ChipTypCombo->SetItemIndex(found.targetIndex);
    ChipTypCombo->SetText(target.Name);
    ChipTypCombo->repaint();
    TakeTarget(target, target.Name);
    ChipAnzeige->setText(QStr(Ini.ChipName));
    platform::MessageBeep(0);
}

void TMainForm::Reset_ein_ButtonClick(QObject*) { ResetLine(ComPort, true); }
void TMainForm::Reset_aus_ButtonClick(QObject*) { ResetLine(ComPort, false); }
void TMainForm::Bootlader_ButtonClick(QObject*) { BootLine(ComPort, true); }
void TMainForm::Normal_ButtonClick(QObject*) { BootLine(ComPort, false); }

// Only Ini takes the loaded values; the controls keep theirs until the next
// HWChanged copies them back.
void TMainForm::KonfigLadeButtonClick(QObject*) {
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

void TMainForm::HexLadeButtonClick(QObject*) {
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

// The file is read again on every click, so its latest state is programmed.
void TMainForm::ProgStartButtonClick(QObject*) {
    std::string message;
    StaBar->SetText("lese Hexdatei..");
    StaBar->Repaint();
    if (!LoadHexFile(*StaBar, Ini.HexDatei, message)) {
        StaBar->SetText(message);
        return;
    }
    StaBar->SetText("verbinde..");
    StaBar->Repaint();
    if (!Connect(ComPort)) {
        StaBar->SetText("keine Verbindung.");
        return;
    }
    StaBar->SetText("programmiere..");
    StaBar->Repaint();
    ProgramFlash(ComPort, *StaBar, message);
    StaBar->SetText(message);
    StaBar->Repaint();
}

void TMainForm::VerifyButtonClick(QObject*) {
    std::string message;
    StaBar->SetText("lese Hexdatei..");
    StaBar->Repaint();
    if (!LoadHexFile(*StaBar, Ini.HexDatei, message)) {
        StaBar->SetText(message);
        return;
    }
    StaBar->SetText("verbinde..");
    if (!Connect(ComPort)) {
        StaBar->SetText("keine Verbindung.");
        return;
    }
    VerifyFlash(ComPort, *StaBar, message);
    StaBar->SetText(message);
}

void TMainForm::LeertestButtonClick(QObject*) {
    std::string message;
    BlankCheck(ComPort, *StaBar, message);
    StaBar->SetText(message);
}

void TMainForm::EraseAllButtonClick(QObject*) {
    std::string message;
    EraseChip(ComPort, *StaBar, message);
    StaBar->SetText(message);
}

void TMainForm::AusleseButtonClick(QObject*) {
    if (!BinSaveDialog->Execute()) return;
    // Redraw what the dialog covered before the long read blocks the window.
    repaint();
    ReadOut(BinSaveDialog->FileName(), ComPort, *StaBar);
}
