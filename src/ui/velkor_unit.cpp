#include "ui/velkor_unit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <exception>

#include "bootloader/lolevel.h"
#include "platform/beep.h"
#include "platform/stop.h"

namespace {

// The client area the positions below are laid out for; anchored controls
// follow any growth of it.
constexpr int kClientWidth = 520;
constexpr int kClientHeight = 350;
constexpr int kStaBarHeight = 30;

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
    TMainFormControls c;
    c.Window = this;
    c.StaBar = StaBar;
    c.PortSetupPanel = Panel(PortSetupPanel);
    c.ChipSetupPanel = Panel(ChipSetupPanel);
    c.MainPanel = Panel(MainPanel);
    c.PortComboBox = PortComboBox;
    c.BaudrateBox = BaudrateBox;
    c.ChipresetRadio = ChipresetRadio;
    c.BootmodeRadio = BootmodeRadio;
    c.CBManuellTyp = CBManuellTyp;
    c.CBAutoErase = CBAutoErase;
    c.ChipTypCombo = ChipTypCombo;
    c.LiBox = LiBox;
    c.KonfigDateiEdit = KonfigDateiEdit;
    c.KonfigOpenDialog = KonfigOpenDialog;
    c.HexDateiEdit = HexDateiEdit;
    c.HexOpenDialog = HexOpenDialog;
    c.ChipAnzeige = ChipAnzeige;
    c.BinSaveDialog = BinSaveDialog;
    logic_ = std::make_unique<TMainFormLogic>(c, ComPort, options_.exeDir, options_.arguments);
    platform::UseWindowBeep([] { QApplication::beep(); });
    Guarded([&] { FormCreate(this); });
    // Only now: the names FormCreate puts in must not run HWChanged.
    ConnectHandlers();
}

TMainForm::~TMainForm() { platform::SetBeepSink(nullptr); }

template <class F>
void TMainForm::Handler(F&& handler) {
    if (gate_.Closed() || !busy_.Run([&] { Guarded(handler); })) return;
    switch (gate_.Ended()) {
        case THandlerGate::After::Close: close(); break;
        case THandlerGate::After::Activate:
            if (isActiveWindow()) Activated();
            break;
        case THandlerGate::After::Nothing: break;
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
    CBManuellTyp = new TCheckBox(QStr("Chip manuell wählen"), ChipSetupPanel);
    CBManuellTyp->setObjectName("CBManuellTyp");
    CBManuellTyp->setGeometry(8, 16, 129, 25);
    CBManuellTyp->setChecked(true);
    CBAutoErase = new TCheckBox(QStr("Auto  Chip löschen + entsperren"), ChipSetupPanel);
    CBAutoErase->setObjectName("CBAutoErase");
    CBAutoErase->setGeometry(192, 16, 177, 25);
    CBAutoErase->setChecked(true);
    ChipTypCombo = Combo("ChipTypCombo", ChipSetupPanel, 8, 40, 369, 21);
    ChipTypCombo->setMaxVisibleItems(20);
    TestChipButton = Button("TestChipButton", "Teste Verbindung + Chip", ChipSetupPanel, 8, 64, 161, 25);
    LiBox = new TListBox(ChipSetupPanel);
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
    ChipAnzeige = Edit<TEdit>("ChipAnzeige", MainPanel, 8, 280, 369, 24);
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
        if (gate_.Closed()) return;
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
            gate_.ActivateLater();
        else
            Activated();
    }
    return handled;
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (busy_.Running()) {
        // Ending now would leave a half-programmed chip: the job's end closes.
        gate_.CloseLater();
        e->ignore();
        return;
    }
    if (gate_.BeginClose()) {
        // A stop from outside has ended any job by now; the chip's release
        // needs its waits back.
        platform::RequestStop(0);
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

ui::Panel* TMainForm::Panel(QWidget* widget) {
    class Shown : public ui::Panel {
    public:
        explicit Shown(QWidget* w) : w_(w) {}
        void Show() override { w_->show(); }
        void Hide() override { w_->hide(); }

    private:
        QWidget* w_;
    };
    panels_.push_back(std::make_unique<Shown>(widget));
    return panels_.back().get();
}

void TMainForm::FormCreate(QObject*) { logic_->FormCreate(); }
void TMainForm::FormActivate(QObject*) { logic_->FormActivate(); }
void TMainForm::FormClose(QObject*) { logic_->FormClose(); }
void TMainForm::HWChanged(QObject*) { logic_->HWChanged(); }
void TMainForm::ComAktuButtonClick(QObject*) { logic_->ComAktuButtonClick(); }
void TMainForm::PortSetupButtonClick(QObject*) { logic_->PortSetupButtonClick(); }
void TMainForm::ChipSetupButtonClick(QObject*) { logic_->ChipSetupButtonClick(); }
void TMainForm::ProgButtonClick(QObject*) { logic_->ProgButtonClick(); }
void TMainForm::TestChipButtonClick(QObject*) { logic_->TestChipButtonClick(); }
void TMainForm::Reset_ein_ButtonClick(QObject*) { logic_->Reset_ein_ButtonClick(); }
void TMainForm::Reset_aus_ButtonClick(QObject*) { logic_->Reset_aus_ButtonClick(); }
void TMainForm::Bootlader_ButtonClick(QObject*) { logic_->Bootlader_ButtonClick(); }
void TMainForm::Normal_ButtonClick(QObject*) { logic_->Normal_ButtonClick(); }
void TMainForm::KonfigLadeButtonClick(QObject*) { logic_->KonfigLadeButtonClick(); }
void TMainForm::HexLadeButtonClick(QObject*) { logic_->HexLadeButtonClick(); }
void TMainForm::ProgStartButtonClick(QObject*) { logic_->ProgStartButtonClick(); }
void TMainForm::VerifyButtonClick(QObject*) { logic_->VerifyButtonClick(); }
void TMainForm::LeertestButtonClick(QObject*) { logic_->LeertestButtonClick(); }
void TMainForm::EraseAllButtonClick(QObject*) { logic_->EraseAllButtonClick(); }
void TMainForm::AusleseButtonClick(QObject*) { logic_->AusleseButtonClick(); }
