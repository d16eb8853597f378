// Waits compare the time elapsed, so the 32-bit wrap of the tick count
// neither ends them early nor stretches them.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/clock.h"

namespace {

class FixedClock : public platform::TickSource {
public:
    FixedClock() { platform::SetTickSource(this); }
    ~FixedClock() override { platform::SetTickSource(nullptr); }
    std::uint32_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override { now += ms; }
    std::uint32_t now = 0;
};

TEST(Clock, WithinAcrossTheWrap) {
    constexpr std::uint32_t kTop = 0xFFFFFFFFu;
    const struct {
        std::uint32_t start, now, limit;
        bool within;
        std::uint32_t left;
    } cases[] = {
        {0, 0, 300, true, 300},
        {0, 299, 300, true, 1},
        {0, 300, 300, false, 0},
        {1000, 1000, 0, false, 0},
        {kTop - 9, kTop, 300, true, 291},        // just before the wrap
        {kTop - 9, 5, 300, true, 285},           // 15 ms, after the wrap
        {kTop - 9, 289, 300, true, 1},           // 299 ms
        {kTop - 9, 290, 300, false, 0},          // 300 ms
        {kTop - 9, 0x7FFFFFFF, 300, false, 0},   // long past
        {kTop, kTop, 1500, true, 1500},
        {kTop, 1498, 1500, true, 1},
        {kTop, 1499, 1500, false, 0},
    };
    FixedClock clock;
    for (const auto& c : cases) {
        clock.now = c.now;
        EXPECT_EQ(platform::Within(c.start, c.limit), c.within) << c.start << " " << c.now << " " << c.limit;
        EXPECT_EQ(platform::Remaining(c.start, c.limit), c.left) << c.start << " " << c.now << " " << c.limit;
    }
}

}  // namespace
