// What the end-to-end test of the Windows window can't get from outside Wine:
//   window_probe status PREFIX SECONDS   waits until the status text begins
//                                        with PREFIX; prints the text
//   window_probe save-as PATH SECONDS    enters PATH in the save dialog and
//                                        confirms it
//   window_probe close                   asks the window to close, as its
//                                        close box does
//   window_probe reference TEXT SECONDS TITLE
//                                        shows the window's status bar alone,
//                                        with TEXT, at the bottom of a window
//                                        of its own titled TITLE: what the
//                                        window's bar must look like on the
//                                        screen with TEXT
// Exit 0 on success, 1 when time ran out.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/win32/win32_controls.h"

namespace {

std::wstring Wide(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, w.data(), n);
    w.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
    return w;
}

void PrintUtf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), n, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

// The status bar answers WM_GETTEXT with its first part's text, across
// processes; the window serves it even while a job waits.
bool StatusText(std::wstring& text) {
    HWND window = FindWindowW(L"VelkorProgrammer", nullptr);
    HWND bar = window ? FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr) : nullptr;
    if (!bar) return false;
    wchar_t buf[1024] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(bar, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, &result))
        return false;
    text = buf;
    return true;
}

bool SaveAs(const std::wstring& path) {
    HWND dialog = FindWindowW(L"#32770", nullptr);
    if (!dialog) return false;
    // The file name box: a combo box (cmb13) in newer dialogs, an edit (edt1) in older.
    HWND name = GetDlgItem(dialog, 0x47c);
    if (!name) name = GetDlgItem(dialog, 0x480);
    if (!name) return false;
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return true;
}

// The status bar laid out as the window lays it out.
int Reference(const std::wstring& text, const std::wstring& title, DWORD seconds) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"VelkorBarReference";
    RegisterClassExW(&wc);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi <= 0) dpi = 96;
    // Taller than the bar: it sits at the bottom of a client area as in the window.
    RECT outer{0, 0, MulDiv(520, dpi, 96), MulDiv(60, dpi, 96)};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
    HWND window = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    HFONT font = win32ui::UiFont(13, dpi);
    HWND bar = win32ui::CreateStaBar(window, instance, font, MulDiv(30, dpi, 96), 1);
    SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetTimer(window, 1, seconds * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageW(&msg);
    DestroyWindow(window);
    DeleteObject(font);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::string(argv[1]) == "close") {
        HWND window = FindWindowW(L"VelkorProgrammer", nullptr);
        return window && PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    }
    // A title of each reference window's own: a window of the last one may
    // linger on the X server for a while after its process ended.
    if (argc == 5 && std::string(argv[1]) == "reference")
        return Reference(Wide(argv[2]), Wide(argv[4]), static_cast<DWORD>(std::atoi(argv[3])));
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_probe status PREFIX SECONDS | save-as PATH SECONDS | reference TEXT SECONDS TITLE | close\n");
        return 2;
    }
    const std::string what = argv[1];
    const std::wstring arg = Wide(argv[2]);
    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    std::wstring text;
    do {
        if (what == "status" && StatusText(text) && text.compare(0, arg.size(), arg) == 0) {
            PrintUtf8(text);
            return 0;
        }
        if (what == "save-as" && SaveAs(arg)) return 0;
        Sleep(100);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
    if (what == "status") {
        std::printf("window_probe: timed out; the status text is: ");
        PrintUtf8(text);
    }
    return 1;
}
