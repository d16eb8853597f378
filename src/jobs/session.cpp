#include "jobs/session.h"

#include "bootloader/lolevel.h"

bool TBootSession::Ensure() {
    if (connected_) return true;
    ++connects_;
    connected_ = Connect(port_, bootDelayMs_);
    return connected_;
}
