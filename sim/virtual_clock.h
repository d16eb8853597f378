// A tick source that only moves when asked: every NowMs() call is one poll of
// a busy loop and advances the clock a little, so waits end without sleeping.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace sim {

class VirtualClock : public platform::TickSource {
public:
    explicit VirtualClock(std::uint64_t pollStepUs = 20);

    std::uint32_t NowMs() override;
    // Model time: monotonic, never wraps, not moved by SetNowMs.
    std::uint64_t NowUs() const { return us_; }
    void AdvanceUs(std::uint64_t us) { us_ += us; }
    // Moves only the millisecond view, so a test can start just before the
    // 32-bit wrap while the chip's time keeps running forward.
    void SetNowMs(std::uint32_t ms);

private:
    std::uint64_t us_ = 0;
    std::uint64_t pollStepUs_;
    std::uint32_t msOffset_ = 0;
};

}  // namespace sim
