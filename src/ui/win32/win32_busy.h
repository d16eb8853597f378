// The window while one of its handlers runs, on Windows. A job waits on the
// line for seconds; meanwhile the library's waits call WhileWaiting, which
// lets the window paint and answer Windows (no "not responding" ghost) with
// the wait cursor over it. Mouse and key input aimed at the window is
// dropped, and so are the system commands that would enter Windows' modal
// move and size loops, where the job's waits would no longer be served.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "ui/busy_state.h"

namespace win32ui {

class Win32Busy : public TBusyState {
public:
    explicit Win32Busy(HWND window) : window_(window) {}

    // Whether the window procedure must refuse a message now: a system
    // command or non-client click that reached it while a handler runs.
    bool Refuses(UINT message, WPARAM wParam) const;
    // The cursor to show over the window; null when the window's own.
    HCURSOR Cursor() const;

private:
    bool IsOurs(HWND hwnd) const;
    void ShowWaitCursor() override;
    void PumpWhileWaiting() override;
    void DropWaitInput() override;
    void RestoreCursor() override;

    HWND window_;
};

}  // namespace win32ui
