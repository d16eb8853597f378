// What both windows do alike while one of their handlers runs: one handler
// at a time, the toolkit's events pumped at most every 20 ms while it waits
// on the line, never from inside such a pump. How to pump, which input to
// drop and which cursor to show is each toolkit's own.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/wait_hook.h"

class TBusyState : public platform::WaitHook {
public:
    // Installs itself as the library's wait hook for its lifetime.
    TBusyState() { platform::SetWaitHook(this); }
    ~TBusyState() override { platform::SetWaitHook(nullptr); }
    TBusyState(const TBusyState&) = delete;
    TBusyState& operator=(const TBusyState&) = delete;

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

    void WhileWaiting() final {
        // Outside a handler nothing waits; inside a pump nothing may.
        if (!running_ || pumping_) return;
        const std::uint32_t now = platform::TickCount();
        if (waited_ && static_cast<std::uint32_t>(now - lastPumpMs_) < kPumpEveryMs) return;
        if (!waited_) {
            waited_ = true;
            ShowWaitCursor();
        }
        lastPumpMs_ = now;
        pumping_ = true;
        PumpWhileWaiting();
        pumping_ = false;
    }

    // When the running handler has waited: drops the input that came
    // meanwhile and puts the cursor back. Before a message box, too.
    void EndWait() {
        if (!waited_) return;
        pumping_ = true;
        DropWaitInput();
        pumping_ = false;
        waited_ = false;
        RestoreCursor();
    }

protected:
    bool Waited() const { return waited_; }
    bool Pumping() const { return pumping_; }

private:
    // Often enough to repaint smoothly and to answer the window manager's
    // ping, rarely enough to cost nothing while a wait runs on the tests'
    // virtual clock.
    static constexpr std::uint32_t kPumpEveryMs = 20;

    virtual void ShowWaitCursor() = 0;
    virtual void PumpWhileWaiting() = 0;
    virtual void DropWaitInput() = 0;
    virtual void RestoreCursor() = 0;

    bool running_ = false;
    bool waited_ = false;
    bool pumping_ = false;
    std::uint32_t lastPumpMs_ = 0;
};
