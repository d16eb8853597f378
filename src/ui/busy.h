// The window while one of its handlers runs. Handlers run one at a time and
// to their end on the window's thread, and a job among them waits on the line
// for seconds. Meanwhile the library's waits and the status bar's repaints
// call WhileWaiting: the window answers its window manager and repaints, with
// the busy cursor over it. Clicks and keys made meanwhile are dropped, and no
// timer or posted call gets a handler of the program to run. Socket notifiers
// are asked to wait too, but Qt's glib dispatcher may deliver them all the
// same: the program's one notifier, for a stop, only asks for a close.
#pragma once

#include <QEventLoop>
#include <QObject>

#include <cstdint>

#include "platform/wait_hook.h"

class TBusyGuard : public QObject, public platform::WaitHook {
public:
    // Installs itself as the library's wait hook for its lifetime.
    TBusyGuard();
    ~TBusyGuard() override;
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;

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
    // When the running handler has waited: drops the clicks and keys that
    // came meanwhile and puts the cursor back. Before a message box, too.
    void EndWait();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Pump(QEventLoop::ProcessEventsFlags flags);

    bool running_ = false;
    bool waited_ = false;
    bool pumping_ = false;
    std::uint32_t lastPumpMs_ = 0;
};
