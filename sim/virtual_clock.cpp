#include "sim/virtual_clock.h"

namespace sim {

VirtualClock::VirtualClock(std::uint64_t pollStepUs) : pollStepUs_(pollStepUs) {}

std::uint32_t VirtualClock::NowMs() {
    us_ += pollStepUs_;
    return static_cast<std::uint32_t>(us_ / 1000u) + msOffset_;
}

void VirtualClock::SetNowMs(std::uint32_t ms) { msOffset_ = ms - static_cast<std::uint32_t>(us_ / 1000u); }

}  // namespace sim
