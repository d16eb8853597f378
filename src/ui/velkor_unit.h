// VelkorUnit: the program's one window. It owns the serial port and every
// control, lays them out and passes their events to the window's logic,
// which calls the library and shows the results in StaBar.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/locations.h"
#include "serial/comport.h"
#include "ui/busy.h"
#include "ui/handler_gate.h"
#include "ui/controls.h"
#include "ui/main_form_logic.h"

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

class TMainForm : public QWidget, private ui::Window {
    Q_OBJECT
public:
    struct Options {
        // Where targets.cfi and default.cfp are looked for, with its trailing
        // separator; empty: the executable's folder.
        std::string exeDir;
        // The command line without the program name.
        std::vector<std::string> arguments;
        // Shows the text of an error that ended a handler; empty: a message box.
        std::function<void(const std::string&)> showError;
    };

    // Builds the controls and runs FormCreate.
    explicit TMainForm(Options options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    TStatusBar* StaBar;
    QGroupBox* PortSetupPanel;
    QGroupBox* PortBox;
    TComboBox* PortComboBox;
    TComboBox* BaudrateBox;
    TRadioGroup* ChipresetRadio;
    TRadioGroup* BootmodeRadio;
    QGroupBox* GroupBox1;
    QPushButton* Reset_ein_Button;
    QPushButton* Reset_aus_Button;
    QGroupBox* GroupBox2;
    QPushButton* Bootlader_Button;
    QPushButton* Normal_Button;
    QPushButton* PortSetupButton;
    QPushButton* ChipSetupButton;
    QGroupBox* ChipSetupPanel;
    TCheckBox* CBManuellTyp;
    TCheckBox* CBAutoErase;
    TComboBox* ChipTypCombo;
    QFrame* MainPanel;
    QPushButton* ProgButton;
    QPushButton* TestChipButton;
    TListBox* LiBox;
    QPushButton* EraseAllButton;
    QGroupBox* GroupBox3;
    TPathEdit* KonfigDateiEdit;
    QPushButton* KonfigLadeButton;
    TFileDialog* KonfigOpenDialog;
    QLabel* Label1;
    TPathEdit* HexDateiEdit;
    QPushButton* HexLadeButton;
    TFileDialog* HexOpenDialog;
    QPushButton* ComAktuButton;
    QPushButton* AusleseButton;
    TEdit* ChipAnzeige;
    TFileDialog* BinSaveDialog;
    QPushButton* ProgStartButton;
    QPushButton* VerifyButton;
    QPushButton* LeertestButton;
    TComPort ComPort;

    void FormCreate(QObject* sender);
    void FormActivate(QObject* sender);
    void FormClose(QObject* sender);
    void HWChanged(QObject* sender);
    void ComAktuButtonClick(QObject* sender);
    void PortSetupButtonClick(QObject* sender);
    void ChipSetupButtonClick(QObject* sender);
    void ProgButtonClick(QObject* sender);
    void TestChipButtonClick(QObject* sender);
    void Reset_ein_ButtonClick(QObject* sender);
    void Reset_aus_ButtonClick(QObject* sender);
    void Bootlader_ButtonClick(QObject* sender);
    void Normal_ButtonClick(QObject* sender);
    void KonfigLadeButtonClick(QObject* sender);
    void HexLadeButtonClick(QObject* sender);
    void ProgStartButtonClick(QObject* sender);
    void VerifyButtonClick(QObject* sender);
    void LeertestButtonClick(QObject* sender);
    void EraseAllButtonClick(QObject* sender);
    void AusleseButtonClick(QObject* sender);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControls();
    // A view of the window as its logic shows and hides it.
    ui::Panel* Panel(QWidget* widget);
    void SetTabOrder();
    void ConnectHandlers();
    void OnClick(QPushButton* button, void (TMainForm::*handler)(QObject*));
    // Runs a handler for an event, unless another one runs (a job waiting on
    // the line lets the window system's events through): then the event is
    // dropped. A close or an activation meanwhile is carried out afterwards.
    template <class F>
    void Handler(F&& handler);
    void Activated();
    // An error the handler raises ends it and is shown; the program goes on.
    template <class F>
    void Guarded(F&& handler);
    void ShowError(const std::string& text) override;
    void Repaint() override { repaint(); }

    Options options_;
    std::vector<std::unique_ptr<ui::Panel>> panels_;
    std::unique_ptr<TMainFormLogic> logic_;
    TBusyGuard busy_;
    THandlerGate gate_;
};
