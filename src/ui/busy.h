// The window while one of its handlers runs. Handlers run one at a time and
// to their end on the window's thread, and a job among them waits on the line
// for seconds. Meanwhile the library's waits and the status bar's repaints
// call WhileWaiting: the window answers its window manager and repaints, with
// the busy cursor over it. Clicks and keys made meanwhile are dropped, and no
// timer or posted call gets a handler of the program to run. Socket notifiers
// are asked to wait too, but Qt's glib dispatcher may deliver them all the
// same: the program's one notifier, for a stop, only asks for a close.
#pragma once

#include <QObject>

#include "ui/busy_state.h"

class TBusyGuard : public QObject, public TBusyState {
public:
    TBusyGuard();
    ~TBusyGuard() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowWaitCursor() override;
    void PumpWhileWaiting() override;
    void DropWaitInput() override;
    void RestoreCursor() override;
};
