// The window while one of its handlers runs, on Windows. A job waits on the
// line for seconds; meanwhile the library's waits call WhileWaiting, which
// lets the window paint and answer Windows (no "not responding" ghost) with
// the wait cursor over it. Mouse and key input aimed at the window is
// dropped, and so are the system commands that would enter Windows' modal
// move and size loops, where the job's waits would no longer be served.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "platform/wait_hook.h"

namespace win32ui {

class Win32Busy : public platform::WaitHook {
public:
    // Installs itself as the library's wait hook for its lifetime.
    explicit Win32Busy(HWND window);
    ~Win32Busy() override;
    Win32Busy(const Win32Busy&) = delete;
    Win32Busy& operator=(const Win32Busy&) = delete;

    // Runs handler unless one is running already; false when refused.
    template <class F>
    bool Run(F&& handler) {
        if (running_) return false;
        running_ = true;
        handler();
        EndWait();
        running_ = false;
        return true;
    }
    bool Running() const { return running_; }

    void WhileWaiting() override;
    // When the running handler has waited: drops the input that came
    // meanwhile and puts the cursor back. Before a message box, too.
    void EndWait();
    // Whether the window procedure must refuse a message now: a system
    // command or non-client click that reached it while a handler runs.
    bool Refuses(UINT message, WPARAM wParam) const;
    // The cursor to show over the window; null when the window's own.
    HCURSOR Cursor() const;

private:
    bool IsOurs(HWND hwnd) const;
    void DropQueuedInput();

    HWND window_;
    bool running_ = false;
    bool waited_ = false;
    bool pumping_ = false;
    std::uint32_t lastPumpMs_ = 0;
};

}  // namespace win32ui
