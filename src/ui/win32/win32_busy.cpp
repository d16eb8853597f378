#include "ui/win32/win32_busy.h"

namespace win32ui {

namespace {

bool IsClientInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_MOUSEHOVER ||
           message == WM_MOUSELEAVE || message == WM_INPUT;
}

bool IsNonClientInput(UINT message) {
    return (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_NCMOUSEHOVER ||
           message == WM_NCMOUSELEAVE;
}

}  // namespace

bool Win32Busy::IsOurs(HWND hwnd) const { return hwnd && (hwnd == window_ || IsChild(window_, hwnd)); }

void Win32Busy::ShowWaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }

// Also answers Windows' hung-window check.
void Win32Busy::PumpWhileWaiting() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to end the loop: the message loop sees it again.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (IsOurs(msg.hwnd)) {
            // Alt+F4 is a close request: kept, as the close box's click is.
            if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4) PostMessageW(window_, WM_CLOSE, 0, 0);
            if (IsClientInput(msg.message)) continue;
            // A child's scroll bar would enter its modal loop. The window's own
            // frame goes to its procedure, which refuses (Refuses) what would.
            if (IsNonClientInput(msg.message) && msg.hwnd != window_) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// What the user clicked or typed during the wait goes; the handler's last
// texts are painted by the message loop after it, as without the wait.
void Win32Busy::DropWaitInput() {
    MSG msg;
    const UINT ranges[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                              {WM_MOUSEFIRST, WM_MOUSELAST},
                              {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    // The thread has no other windows that take input meanwhile.
    for (const auto& r : ranges)
        while (PeekMessageW(&msg, nullptr, r[0], r[1], PM_REMOVE)) {
        }
}

void Win32Busy::RestoreCursor() {
    POINT at;
    if (GetCursorPos(&at) && IsOurs(WindowFromPoint(at))) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

bool Win32Busy::Refuses(UINT message, WPARAM wParam) const {
    if (!Running()) return false;
    switch (message) {
        case WM_SYSCOMMAND:
            // SC_CLOSE becomes a WM_CLOSE, which the window keeps for later.
            return (wParam & 0xFFF0) != SC_CLOSE;
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONDBLCLK:
        case WM_NCMBUTTONDOWN:
        case WM_NCMBUTTONDBLCLK:
        case WM_CONTEXTMENU:
            return true;
        default:
            return false;
    }
}

HCURSOR Win32Busy::Cursor() const { return Running() && Waited() ? LoadCursorW(nullptr, IDC_WAIT) : nullptr; }

}  // namespace win32ui
