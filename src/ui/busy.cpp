#include "ui/busy.h"

#include <QApplication>
#include <QEvent>

#include "platform/clock.h"

namespace {

// Often enough to repaint smoothly, rarely enough to cost nothing while a
// wait runs on the tests' virtual clock.
constexpr std::uint32_t kPumpEveryMs = 20;

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

TBusyGuard::TBusyGuard() {
    QCoreApplication::instance()->installEventFilter(this);
    platform::SetWaitHook(this);
}

TBusyGuard::~TBusyGuard() {
    platform::SetWaitHook(nullptr);
    if (waited_) QApplication::restoreOverrideCursor();
}

void TBusyGuard::WhileWaiting() {
    // Outside a handler nothing waits; inside a pump nothing may.
    if (!running_ || pumping_) return;
    const std::uint32_t now = platform::TickCount();
    if (waited_ && static_cast<std::uint32_t>(now - lastPumpMs_) < kPumpEveryMs) return;
    if (!waited_) {
        waited_ = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    lastPumpMs_ = now;
    Pump(kWhileWaiting);
}

void TBusyGuard::EndWait() {
    if (!waited_) return;
    // What the user clicked or typed during the wait comes out now, into the
    // filter. Paints go on: a widget whose updates are off drops the requests
    // made meanwhile, and the handler's closing text would never show.
    Pump(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
    waited_ = false;
    QApplication::restoreOverrideCursor();
}

void TBusyGuard::Pump(QEventLoop::ProcessEventsFlags flags) {
    pumping_ = true;
    QCoreApplication::processEvents(flags);
    pumping_ = false;
}

bool TBusyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (pumping_ && IsUserInput(event->type())) return true;
    return QObject::eventFilter(watched, event);
}
