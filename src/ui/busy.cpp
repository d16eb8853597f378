#include "ui/busy.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>

namespace {

// The window system's own events: answers to the window manager's ping,
// exposes, moves. Clicks and keys stay queued for EndWait to drop; timers
// wait for the event loop, and so do socket notifiers where the dispatcher
// honours the flag (the glib one may not).
constexpr QEventLoop::ProcessEventsFlags kWhileWaiting =
    QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers;

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

}  // namespace

TBusyGuard::TBusyGuard() { QCoreApplication::instance()->installEventFilter(this); }

TBusyGuard::~TBusyGuard() {
    if (Waited()) QApplication::restoreOverrideCursor();
}

void TBusyGuard::ShowWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TBusyGuard::PumpWhileWaiting() { QCoreApplication::processEvents(kWhileWaiting); }

// What the user clicked or typed during the wait comes out now, into the
// filter. Paints go on: a widget whose updates are off drops the requests
// made meanwhile, and the handler's closing text would never show.
void TBusyGuard::DropWaitInput() {
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
}

void TBusyGuard::RestoreCursor() { QApplication::restoreOverrideCursor(); }

bool TBusyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (Pumping() && IsUserInput(event->type())) return true;
    return QObject::eventFilter(watched, event);
}
