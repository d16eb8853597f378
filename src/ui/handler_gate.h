// What the window is asked while one of its handlers runs. A close waits for
// the handler's end, since ending in the middle of a job would leave a
// half-written chip; an activation is answered after it. Each window's busy
// handling runs the handler; this decides what follows.
#pragma once

#include <utility>

class THandlerGate {
public:
    enum class After { Nothing, Close, Activate };

    // Asked while a handler runs.
    void CloseLater() { closePending_ = true; }
    void ActivateLater() { activatePending_ = true; }
    // Once the handler has ended: a close asked for meanwhile wins over an
    // activation, and each is done once.
    After Ended() {
        if (std::exchange(closePending_, false)) {
            activatePending_ = false;
            return After::Close;
        }
        return std::exchange(activatePending_, false) ? After::Activate : After::Nothing;
    }
    // True the first time only: the close's own work (the chip's release, the
    // saved configuration) runs once, and no handler runs after it.
    bool BeginClose() { return !std::exchange(closed_, true); }
    bool Closed() const { return closed_; }

private:
    bool closePending_ = false;
    bool activatePending_ = false;
    bool closed_ = false;
};
