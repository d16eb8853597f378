// How the bootloader layer waits: it blocks on the line and sleeps instead of
// polling, ends on its deadline whatever a poll costs, and runs the wait hook
// at least every slice, also through a chain of short waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "bootloader/lolevel.h"
#include "platform/wait_hook.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "support/scripted_device.h"

using testsupport::ScriptedDevice;
using testsupport::VirtualClock;

namespace {

class RecordingHook : public platform::WaitHook {
public:
    RecordingHook() { platform::SetWaitHook(this); }
    ~RecordingHook() override { platform::SetWaitHook(nullptr); }
    void WhileWaiting() override { ticks.push_back(platform::TickCount()); }
    // The longest stretch from..to without a run of the hook.
    std::uint32_t LongestGap(std::uint32_t from, std::uint32_t to) const {
        std::uint32_t longest = 0, last = from;
        for (std::uint32_t t : ticks) {
            longest = std::max(longest, t - last);
            last = t;
        }
        return std::max(longest, to - last);
    }
    std::vector<std::uint32_t> ticks;
};

struct WaitCase {
    const char* name;
    std::uint32_t ms;  // how long the silent wait lasts
    std::function<void(ScriptedDevice&)> script;
    std::function<void(TComPort&)> run;
};

TEST(Waits, EachWaitBlocksAndLetsTheHookRun) {
    Ini.ResetMode = 1;
    Ini.BootMode = 4;
    Ini.FlashStart = 0x08000000;
    ReadBase = 0x08000000;
    std::string message;
    auto acks = [](std::vector<std::uint8_t> triggers) {
        return [triggers](ScriptedDevice& d) {
            for (std::uint8_t t : triggers) d.ReplyTo(t, 1, {0x79});
        };
    };
    const WaitCase cases[] = {
        {"Delay", 1500, {}, [](TComPort&) { Delay(1500); }},
        {"Connect without answer", 1820, {}, [](TComPort& p) { Connect(p); }},
        {"WaitAck", 100, {}, [](TComPort& p) { WaitAck(p, 100); }},
        {"Get reply", 300, {}, [](TComPort& p) { GetVersion(p); }},
        {"ReadMem data", 2000, acks({0xEE, 0x08, 0xF0}),
         [&](TComPort& p) { ReadMem(p, 0x08000000, 16, message); }},
        {"WriteMem answer", 2000, acks({0xCE, 0x08}), [&](TComPort& p) { WriteMem(p, 0, 16, message); }},
        {"mass erase", 40000, acks({0xBB}), [](TComPort& p) { EraseMemExt(p); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualClock clock(5000);
        ScriptedDevice device;
        TComPort port;
        ASSERT_TRUE(port.Open());
        if (c.script) c.script(device);
        RecordingHook hook;
        device.polls = 0;
        const std::uint32_t start = clock.PeekMs();
        c.run(port);
        const std::uint32_t took = clock.PeekMs() - start;
        EXPECT_GE(took, c.ms);
        EXPECT_LE(took, c.ms + 10);
        EXPECT_LE(hook.LongestGap(start, clock.PeekMs()), platform::kWaitSliceMs);
        // A slice at a time, not a busy loop.
        EXPECT_LE(device.polls, static_cast<int>(took / platform::kWaitSliceMs) + 20) << took;
    }
}

// Waits are cut into slices; the last one is only what is left, so an
// acknowledge wait neither ends early nor overshoots, whatever its limit
// and whatever a poll of the line costs.
TEST(Waits, AckWaitEndsOnItsDeadline) {
    for (std::uint32_t pollUs : {1u, 10u, 100u})
        for (std::uint32_t limit : {1u, 49u, 51u, 100u, 201u}) {
            SCOPED_TRACE(std::to_string(limit) + " ms, " + std::to_string(pollUs) + " us a poll");
            VirtualClock clock(7000, pollUs);
            ScriptedDevice device;
            TComPort port;
            ASSERT_TRUE(port.Open());
            device.ArriveAfter(0, {0x1F});
            const std::uint32_t start = clock.PeekMs();
            EXPECT_EQ(WaitAck(port, limit), 0x1F);
            const std::uint32_t took = clock.PeekMs() - start;
            EXPECT_GE(took, limit);
            EXPECT_LE(took, limit + 2);
        }
}

// A job is a chain of waits shorter than a slice; the hook runs all the same.
TEST(Waits, TheHookRunsThroughShortWaits) {
    VirtualClock clock;
    ScriptedDevice device;
    TComPort port;
    ASSERT_TRUE(port.Open());
    RecordingHook hook;
    const std::uint32_t start = clock.PeekMs();
    for (int i = 0; i < 100; ++i) {
        device.ArriveAfter(7, {0x79});
        ASSERT_EQ(WaitAck(port, 100), 0x79);
    }
    EXPECT_GE(clock.PeekMs() - start, 700u);
    EXPECT_LE(hook.LongestGap(start, clock.PeekMs()), platform::kWaitSliceMs);
}

}  // namespace
