// The program's one window as a native Win32 window: the controls at their
// pixel positions as plain children of the main window (the group boxes
// only drawn around theirs, so every notification reaches the main window),
// in the tab order of the Linux window, over the same window logic.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "serial/comport.h"
#include "ui/control_interfaces.h"
#include "ui/handler_gate.h"
#include "ui/main_form_logic.h"
#include "ui/win32/win32_busy.h"
#include "ui/win32/win32_controls.h"

namespace win32ui {

class TMainFormWin32 : private ui::Window {
public:
    // Registers the window class, creates the window and its controls and
    // runs FormCreate; Show() puts it on the screen. arguments: the command
    // line without the program name.
    TMainFormWin32(HINSTANCE instance, std::vector<std::string> arguments, std::string exeDir = {});
    ~TMainFormWin32() override;
    TMainFormWin32(const TMainFormWin32&) = delete;
    TMainFormWin32& operator=(const TMainFormWin32&) = delete;

    void Show(int showCommand);
    HWND Handle() const { return hwnd_; }
    // A control by its name ("ProgStartButton"); null for an unknown name.
    HWND Control(const std::string& name) const;
    // The message loop until the window is closed; the exit code.
    int Run();

private:
    struct ControlDef;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    HWND Create(const ControlDef& def);
    int S(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    void Layout();
    void Command(int id, int code, HWND control);
    template <class F>
    void Handler(F&& handler);
    template <class F>
    void Guarded(F&& handler);
    void Close();
    void Repaint() override;
    void ShowError(const std::string& text) override;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT bigFont_ = nullptr;
    HBRUSH chipBrush_ = nullptr;
    std::vector<std::pair<std::string, HWND>> named_;
    SIZE minOuter_{};

    std::unique_ptr<Win32StatusBar> StaBar;
    std::unique_ptr<Win32ComboBox> PortComboBox, BaudrateBox, ChipTypCombo;
    std::unique_ptr<Win32RadioGroup> ChipresetRadio, BootmodeRadio;
    std::unique_ptr<Win32CheckBox> CBManuellTyp, CBAutoErase;
    std::unique_ptr<Win32ListBox> LiBox;
    std::unique_ptr<Win32PathEdit> KonfigDateiEdit, HexDateiEdit;
    std::unique_ptr<Win32Edit> ChipAnzeige;
    std::unique_ptr<Win32FileDialog> KonfigOpenDialog, HexOpenDialog, BinSaveDialog;
    Win32View PortSetupView, ChipSetupView, MainView;
    TComPort ComPort;

    std::unique_ptr<TMainFormLogic> logic_;
    std::unique_ptr<Win32Busy> busy_;
    bool ready_ = false;
    THandlerGate gate_;
};

}  // namespace win32ui
