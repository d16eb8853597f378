// A tick source that only moves when asked: every NowMs() call costs a
// little time, as a poll would, and a sleep advances it by its length, so
// waits end without taking real time.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace sim {

class VirtualClock : public platform::TickSource {
public:
    explicit VirtualClock(std::uint64_t pollStepUs = 20);

    std::uint32_t NowMs() override;
    void SleepMs(std::uint32_t ms) override { AdvanceUs(std::uint64_t{ms} * 1000u); }
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
