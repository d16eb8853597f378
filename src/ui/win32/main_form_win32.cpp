#include "ui/win32/main_form_win32.h"

#include <commctrl.h>

#include <exception>

#include "bootloader/lolevel.h"
#include "ui/win32/win32_text.h"

namespace win32ui {

namespace {

constexpr wchar_t kClassName[] = L"VelkorProgrammer";
constexpr int kClientWidth = 520;
constexpr int kClientHeight = 350;
constexpr int kStaBarHeight = 30;
constexpr UINT kActivated = WM_APP + 1;
constexpr COLORREF kChipColour = RGB(192, 220, 192);

enum View { kTop, kPortView, kChipView, kMainView };

// Control ids; 1 and 2 are IDOK and IDCANCEL, which Enter and Escape send.
enum Id : int {
    kFirstId = 100,
    kPortComboBox = kFirstId,
    kBaudrateBox,
    kComAktuButton,
    kResetRadio0,
    kBootRadio0 = kResetRadio0 + 5,
    kReset_ein_Button = kBootRadio0 + 5,
    kReset_aus_Button,
    kBootlader_Button,
    kNormal_Button,
    kPortSetupButton,
    kChipSetupButton,
    kCBManuellTyp,
    kCBAutoErase,
    kChipTypCombo,
    kTestChipButton,
    kLiBox,
    kEraseAllButton,
    kKonfigDateiEdit,
    kKonfigLadeButton,
    kHexDateiEdit,
    kHexLadeButton,
    kAusleseButton,
    kChipAnzeige,
    kProgStartButton,
    kVerifyButton,
    kLeertestButton,
    kProgButton,
    kOther,
};

constexpr DWORD kTab = WS_TABSTOP | WS_GROUP;
constexpr DWORD kButton = BS_PUSHBUTTON | kTab;
constexpr DWORD kCombo = CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | kTab;
constexpr DWORD kEdit = ES_AUTOHSCROLL | kTab;
constexpr DWORD kGroup = BS_GROUPBOX | WS_GROUP;
// Drawn under the controls they hold, never over them.
constexpr DWORD kBelow = WS_CLIPSIBLINGS;

}  // namespace

struct TMainFormWin32::ControlDef {
    const char* name;
    const wchar_t* cls;
    const char* text;
    DWORD style;
    DWORD exStyle;
    int x, y, w, h;  // in the client area at 96 dpi
    View view;
    int id;
};

TMainFormWin32::TMainFormWin32(HINSTANCE instance, std::vector<std::string> arguments, std::string exeDir)
    : instance_(instance) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly for a second window

    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = 96;

    // Not WS_CLIPCHILDREN: a group box leaves its inside to its parent to paint.
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT outer{0, 0, S(kClientWidth), S(kClientHeight)};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    minOuter_ = {outer.right - outer.left, outer.bottom - outer.top};
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Velkor Programmer", style, S(382), S(180), minOuter_.cx,
                            minOuter_.cy, nullptr, nullptr, instance, this);

    font_ = UiFont(11, dpi_);
    bigFont_ = UiFont(13, dpi_);
    chipBrush_ = CreateSolidBrush(kChipColour);
    CreateControls();

    TMainFormControls c;
    c.Window = this;
    c.StaBar = StaBar.get();
    c.PortSetupPanel = &PortSetupView;
    c.ChipSetupPanel = &ChipSetupView;
    c.MainPanel = &MainView;
    c.PortComboBox = PortComboBox.get();
    c.BaudrateBox = BaudrateBox.get();
    c.ChipresetRadio = ChipresetRadio.get();
    c.BootmodeRadio = BootmodeRadio.get();
    c.CBManuellTyp = CBManuellTyp.get();
    c.CBAutoErase = CBAutoErase.get();
    c.ChipTypCombo = ChipTypCombo.get();
    c.LiBox = LiBox.get();
    c.KonfigDateiEdit = KonfigDateiEdit.get();
    c.KonfigOpenDialog = KonfigOpenDialog.get();
    c.HexDateiEdit = HexDateiEdit.get();
    c.HexOpenDialog = HexOpenDialog.get();
    c.ChipAnzeige = ChipAnzeige.get();
    c.BinSaveDialog = BinSaveDialog.get();
    logic_ = std::make_unique<TMainFormLogic>(c, ComPort, std::move(exeDir), std::move(arguments));
    busy_ = std::make_unique<Win32Busy>(hwnd_);
    Guarded([&] { logic_->FormCreate(); });
    // Only now: the names FormCreate puts in must not run HWChanged.
    ready_ = true;
}

TMainFormWin32::~TMainFormWin32() {
    busy_.reset();
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    DeleteObject(font_);
    DeleteObject(bigFont_);
    DeleteObject(chipBrush_);
}

HWND TMainFormWin32::Create(const ControlDef& s) {
    DWORD style = WS_CHILD | s.style;
    if (s.view == kTop || s.view == kMainView) style |= WS_VISIBLE;
    HWND h = CreateWindowExW(s.exStyle, s.cls, Wide(s.text).c_str(), style, S(s.x), S(s.y), S(s.w), S(s.h), hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.id)), instance_, nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    named_.emplace_back(s.name, h);
    switch (s.view) {
        case kPortView: PortSetupView.Add(h); break;
        case kChipView: ChipSetupView.Add(h); break;
        case kMainView: MainView.Add(h); break;
        case kTop: break;
    }
    return h;
}

HWND TMainFormWin32::Control(const std::string& name) const {
    for (const auto& [n, h] : named_)
        if (n == name) return h;
    return nullptr;
}

void TMainFormWin32::CreateControls() {
    const wchar_t* B = WC_BUTTONW;
    const wchar_t* C = WC_COMBOBOXW;
    const wchar_t* E = WC_EDITW;
    // A combo box's height is that of its list dropped down: 20 rows here.
    const int dropped = 21 + 20 * 14;
    // Created in the order Tab goes through them; the group boxes and the
    // panel last, so that they lie under the controls inside them.
    const ControlDef controls[] = {
        {"PortComboBox", C, "", kCombo, 0, 16, 32, 97, dropped, kPortView, kPortComboBox},
        {"BaudrateBox", C, "", kCombo, 0, 16, 104, 97, dropped, kPortView, kBaudrateBox},
        {"ComAktuButton", B, "aktualisieren", kButton, 0, 16, 64, 97, 25, kPortView, kComAktuButton},
    };
    for (const ControlDef& s : controls) Create(s);

    // The radio groups' items share the room inside the frame evenly.
    auto radios = [&](const char* name, int x, int y, int firstId) {
        std::vector<HWND> buttons;
        constexpr int kTitle = 14;
        constexpr int kRow = (113 - kTitle - 4) / 5;
        for (int i = 0; i < 5; ++i) {
            const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? kTab : 0);
            const std::string item = std::string(name) + std::to_string(i);  // "ChipresetRadio1"
            buttons.push_back(Create({item.c_str(), B, kLineChoiceLabels[i], style, 0, x + 8, y + kTitle + i * kRow,
                                      113 - 10, kRow, kPortView, firstId + i}));
        }
        return buttons;
    };
    ChipresetRadio = std::make_unique<Win32RadioGroup>(radios("ChipresetRadio", 128, 16, kResetRadio0));
    BootmodeRadio = std::make_unique<Win32RadioGroup>(radios("BootmodeRadio", 256, 16, kBootRadio0));
    ChipresetRadio->SetItemIndex(1);
    BootmodeRadio->SetItemIndex(4);

    const ControlDef rest[] = {
        {"Reset_ein_Button", B, "Reset ein", kButton, 0, 136, 152, 97, 25, kPortView, kReset_ein_Button},
        {"Reset_aus_Button", B, "Reset aus", kButton, 0, 136, 184, 97, 25, kPortView, kReset_aus_Button},
        {"Bootlader_Button", B, "zum Bootlader", kButton, 0, 264, 152, 97, 25, kPortView, kBootlader_Button},
        {"Normal_Button", B, "Normal-Start", kButton, 0, 264, 184, 97, 25, kPortView, kNormal_Button},
        {"PortSetupButton", B, "Port Setup", kButton, 0, 392, 8, 121, 33, kTop, kPortSetupButton},
        {"ChipSetupButton", B, "Chip Setup", kButton, 0, 392, 48, 121, 33, kTop, kChipSetupButton},
        {"CBManuellTyp", B, "Chip manuell wählen", BS_AUTOCHECKBOX | kTab, 0, 8, 16, 129, 25, kChipView,
         kCBManuellTyp},
        {"CBAutoErase", B, "Auto  Chip löschen + entsperren", BS_AUTOCHECKBOX | kTab, 0, 192, 16, 177, 25, kChipView,
         kCBAutoErase},
        {"ChipTypCombo", C, "", kCombo, 0, 8, 40, 369, dropped, kChipView, kChipTypCombo},
        {"TestChipButton", B, "Teste Verbindung + Chip", kButton, 0, 8, 64, 161, 25, kChipView, kTestChipButton},
        {"LiBox", WC_LISTBOXW, "", LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_VSCROLL | kTab,
         WS_EX_CLIENTEDGE, 2, 102, 381, 209, kChipView, kLiBox},
        {"EraseAllButton", B, "alles Löschen", kButton, 0, 8, 184, 97, 25, kMainView, kEraseAllButton},
        {"KonfigDateiEdit", E, "", kEdit, WS_EX_CLIENTEDGE, 16, 24, 313, 21, kMainView, kKonfigDateiEdit},
        {"KonfigLadeButton", B, "...", kButton, 0, 336, 24, 33, 20, kMainView, kKonfigLadeButton},
        {"HexDateiEdit", E, "", kEdit, WS_EX_CLIENTEDGE, 16, 72, 313, 21, kMainView, kHexDateiEdit},
        {"HexLadeButton", B, "...", kButton, 0, 336, 72, 33, 20, kMainView, kHexLadeButton},
        {"AusleseButton", B, "Chip auslesen", kButton, 0, 8, 136, 97, 25, kMainView, kAusleseButton},
        {"ChipAnzeige", E, "", kEdit | ES_READONLY, WS_EX_CLIENTEDGE, 8, 280, 369, 24, kMainView, kChipAnzeige},
        {"ProgStartButton", B, "Programmieren", kButton, 0, 8, 216, 97, 25, kMainView, kProgStartButton},
        {"VerifyButton", B, "Verifizieren", kButton, 0, 8, 248, 97, 25, kMainView, kVerifyButton},
        {"LeertestButton", B, "Leertest", kButton, 0, 8, 104, 97, 25, kMainView, kLeertestButton},
        {"ProgButton", B, "Programmierung", kButton, 0, 392, 96, 121, 33, kTop, kProgButton},
        // Not in the tab chain.
        {"Label1", WC_STATICW, "Hexfile", SS_LEFT | SS_NOPREFIX, 0, 16, 56, 0, 0, kMainView, kOther},
        {"PortBox", B, "Port", kGroup | kBelow, 0, 8, 16, 113, 121, kPortView, kOther},
        {"ChipresetRadioBox", B, "Chip Reset", kGroup | kBelow, 0, 128, 16, 113, 113, kPortView, kOther},
        {"BootmodeRadioBox", B, "Boot Mode", kGroup | kBelow, 0, 256, 16, 113, 113, kPortView, kOther},
        {"GroupBox1", B, "Test Reset", kGroup | kBelow, 0, 128, 136, 113, 81, kPortView, kOther},
        {"GroupBox2", B, "Test Bootmode", kGroup | kBelow, 0, 256, 136, 113, 81, kPortView, kOther},
        {"PortSetupPanel", B, "Hardware Setup", kGroup | kBelow, 0, 0, 0, 385, 305, kPortView, kOther},
        {"ChipSetupPanel", B, "ChipSetupPanel", kGroup | kBelow, 0, 0, 0, 385, 313, kChipView, kOther},
        {"GroupBox3", B, "Konfigurationsdatei", kGroup | kBelow, 0, 8, 8, 369, 41, kMainView, kOther},
        {"MainPanel", WC_STATICW, "", SS_SUNKEN | kBelow, 0, 0, 0, 385, 313, kMainView, kOther},
    };
    for (const ControlDef& s : rest) Create(s);
    SendMessageW(Control("ChipTypCombo"), CB_SETMINVISIBLE, 20, 0);

    // The label is as large as its text.
    HWND label = Control("Label1");
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE extent{};
    const std::wstring text = L"Hexfile";
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, extent.cx, extent.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    HWND bar = CreateStaBar(hwnd_, instance_, bigFont_, S(kStaBarHeight), kOther);
    named_.emplace_back("StaBar", bar);
    SendMessageW(Control("ChipAnzeige"), WM_SETFONT, reinterpret_cast<WPARAM>(bigFont_), FALSE);

    StaBar = std::make_unique<Win32StatusBar>(bar);
    StaBar->SetText("...pause");
    PortComboBox = std::make_unique<Win32ComboBox>(Control("PortComboBox"));
    BaudrateBox = std::make_unique<Win32ComboBox>(Control("BaudrateBox"));
    ChipTypCombo = std::make_unique<Win32ComboBox>(Control("ChipTypCombo"));
    CBManuellTyp = std::make_unique<Win32CheckBox>(Control("CBManuellTyp"));
    CBAutoErase = std::make_unique<Win32CheckBox>(Control("CBAutoErase"));
    CBManuellTyp->SetChecked(true);
    CBAutoErase->SetChecked(true);
    LiBox = std::make_unique<Win32ListBox>(Control("LiBox"));
    KonfigDateiEdit = std::make_unique<Win32PathEdit>(Control("KonfigDateiEdit"));
    HexDateiEdit = std::make_unique<Win32PathEdit>(Control("HexDateiEdit"));
    ChipAnzeige = std::make_unique<Win32Edit>(Control("ChipAnzeige"));
    using Kind = Win32FileDialog::Kind;
    KonfigOpenDialog = std::make_unique<Win32FileDialog>(
        hwnd_, Kind::Open, "Velkor Programmer Konfiguration (*.cfp)|*.cfp|alle Dateien (*.*)|*.*", "cfp");
    HexOpenDialog = std::make_unique<Win32FileDialog>(hwnd_, Kind::Open,
                                                      "Intel Hexfile (*.hex)|*.hex|Motorola Hexfile (*.s19)|*.s19|"
                                                      "Binärfile (*.bin)|*.bin|alle Dateien (*.*)|*.*",
                                                      "hex");
    BinSaveDialog = std::make_unique<Win32FileDialog>(hwnd_, Kind::Save,
                                                      "Binärdatei (*.bin)|*.bin|alle Dateien (*.*)|*.*", "bin");
    Layout();
}

// Anchored controls follow a larger client area; the status bar stays at the bottom.
void TMainFormWin32::Layout() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dw = client.right - S(kClientWidth);
    const int dh = client.bottom - S(kClientHeight);
    auto place = [&](const char* name, int x, int y, int w, int h) {
        if (HWND c = Control(name)) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place("PortSetupPanel", 0, 0, S(385) + dw, S(305) + dh);
    place("MainPanel", 0, 0, S(385) + dw, S(313) + dh);
    place("ChipAnzeige", S(8), S(280) + dh, S(369) + dw, S(24));
    if (HWND bar = Control("StaBar")) SendMessageW(bar, WM_SIZE, 0, 0);
}

void TMainFormWin32::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

int TMainFormWin32::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

template <class F>
void TMainFormWin32::Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

template <class F>
void TMainFormWin32::Handler(F&& handler) {
    if (gate_.Closed() || !busy_->Run([&] { Guarded(handler); })) return;
    switch (gate_.Ended()) {
        case THandlerGate::After::Close: PostMessageW(hwnd_, WM_CLOSE, 0, 0); break;
        case THandlerGate::After::Activate:
            if (GetActiveWindow() == hwnd_) PostMessageW(hwnd_, kActivated, 0, 0);
            break;
        case THandlerGate::After::Nothing: break;
    }
}

void TMainFormWin32::ShowError(const std::string& text) {
    // The box must take the clicks made for it, not those made during the wait.
    busy_->EndWait();
    MessageBoxW(hwnd_, Wide(text).c_str(), L"Velkor Programmer", MB_OK | MB_ICONERROR);
}

void TMainFormWin32::Repaint() { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

void TMainFormWin32::Close() {
    if (busy_->Running()) {
        // Ending now would leave a half-programmed chip: the job's end closes.
        gate_.CloseLater();
        return;
    }
    if (gate_.BeginClose()) {
        busy_->Run([&] { Guarded([&] { logic_->FormClose(); }); });
    }
    // A failed save has been shown; keeping the window open would leave no way out.
    DestroyWindow(hwnd_);
}

void TMainFormWin32::Command(int id, int code, HWND control) {
    if (!ready_) return;
    auto click = [&](void (TMainFormLogic::*handler)()) {
        if (code == BN_CLICKED) Handler([&] { (logic_.get()->*handler)(); });
    };
    auto changed = [&] { Handler([&] { logic_->HWChanged(); }); };
    switch (id) {
        case kPortSetupButton: return click(&TMainFormLogic::PortSetupButtonClick);
        case kChipSetupButton: return click(&TMainFormLogic::ChipSetupButtonClick);
        case kProgButton: return click(&TMainFormLogic::ProgButtonClick);
        case kComAktuButton: return click(&TMainFormLogic::ComAktuButtonClick);
        case kReset_ein_Button: return click(&TMainFormLogic::Reset_ein_ButtonClick);
        case kReset_aus_Button: return click(&TMainFormLogic::Reset_aus_ButtonClick);
        case kBootlader_Button: return click(&TMainFormLogic::Bootlader_ButtonClick);
        case kNormal_Button: return click(&TMainFormLogic::Normal_ButtonClick);
        case kTestChipButton: return click(&TMainFormLogic::TestChipButtonClick);
        case kKonfigLadeButton: return click(&TMainFormLogic::KonfigLadeButtonClick);
        case kHexLadeButton: return click(&TMainFormLogic::HexLadeButtonClick);
        case kLeertestButton: return click(&TMainFormLogic::LeertestButtonClick);
        case kAusleseButton: return click(&TMainFormLogic::AusleseButtonClick);
        case kEraseAllButton: return click(&TMainFormLogic::EraseAllButtonClick);
        case kProgStartButton: return click(&TMainFormLogic::ProgStartButtonClick);
        case kVerifyButton: return click(&TMainFormLogic::VerifyButtonClick);
        case kCBManuellTyp:
            if (code == BN_CLICKED) changed();
            return;
        case kPortComboBox:
        case kBaudrateBox:
        case kChipTypCombo: {
            Win32ComboBox* box = id == kPortComboBox  ? PortComboBox.get()
                                 : id == kBaudrateBox ? BaudrateBox.get()
                                                      : ChipTypCombo.get();
            if (code == CBN_SELCHANGE && !busy_->Running()) {
                box->Picked();
                changed();
            } else if (code == CBN_EDITCHANGE) {
                changed();
            }
            return;
        }
        case kHexDateiEdit:
            // Also when the program puts another name in: choosing a HEX file
            // does, inside its own handler, and there it runs there and then.
            if (code != EN_CHANGE || gate_.Closed()) return;
            if (busy_->Running())
                Guarded([&] { logic_->HWChanged(); });
            else
                changed();
            return;
        default: break;
    }
    if (code == BN_CLICKED && id >= kResetRadio0 && id < kBootRadio0 + 5) {
        Win32RadioGroup* group = id < kBootRadio0 ? ChipresetRadio.get() : BootmodeRadio.get();
        if (group->Clicked(control)) changed();
    }
}

LRESULT CALLBACK TMainFormWin32::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TMainFormWin32*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TMainFormWin32*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
    return form->Handle(hwnd, message, wParam, lParam);
}

LRESULT TMainFormWin32::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool busy = busy_ && busy_->Running();
    if (busy && message == WM_NCLBUTTONDOWN && wParam == HTCLOSE) {
        gate_.CloseLater();  // the close box's click, without its modal tracking
        return 0;
    }
    if (busy && busy_->Refuses(message, wParam)) return 0;
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Control("ChipAnzeige")) {
                auto dc = reinterpret_cast<HDC>(wParam);
                SetBkColor(dc, kChipColour);
                return reinterpret_cast<LRESULT>(chipBrush_);
            }
            break;
        case WM_SETCURSOR:
            if (HCURSOR wait = busy_ ? busy_->Cursor() : nullptr) {
                SetCursor(wait);
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && ready_) {
                if (busy)
                    gate_.ActivateLater();
                else
                    PostMessageW(hwnd_, kActivated, 0, 0);  // after the first paint
            }
            break;
        case kActivated:
            Handler([&] { logic_->FormActivate(); });
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO:
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {minOuter_.cx, minOuter_.cy};
            return 0;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace win32ui
