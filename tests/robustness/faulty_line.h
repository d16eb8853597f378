// Sits between the program and the simulated chip and spoils the line at one
// chosen point: the n-th acknowledge arrives as a NACK, or the line goes dead
// (the adapter pulled out: every read and write fails from then on) in place
// of the n-th acknowledge, the n-th byte, or after the program's n-th write,
// or bytes arrive just after the program's purge.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "bootloader/protocol.h"
#include "platform/clock.h"
#include "support/forwarding_device.h"
#include "sim/chip.h"

namespace robustness {

class FaultyLine : public testsupport::ForwardingDevice {
public:
    struct Plan {
        int nackAck = 0;         // 1-based; 0: none
        int hangUpAtAck = 0;
        int hangUpAtByte = 0;
        int hangUpAfterWrites = 0;
        // Still on their way when the program purges, so they arrive after it:
        // the tail of what the chip's own program sent before its reset.
        std::vector<std::uint8_t> afterPurge = {};
    };

    FaultyLine(platform::SerialDeviceService& inner, sim::Chip& chip) : ForwardingDevice(inner), chip_(chip) {}

    // A new plan, the line whole again and the counts from zero.
    void Arm(Plan plan) {
        plan_ = plan;
        acks_ = bytes_ = written_ = 0;
        dead_ = false;
        pending_.clear();
        chip_.faults().hangUp = false;
    }
    int acks() const { return acks_; }  // acknowledges the program has been given

    platform::DeviceHandle Open(const std::string& name) override {
        pending_.clear();
        return inner_.Open(name);
    }

    // Bytes are taken from the chip here, so that a hang-up falls between two
    // calls of the program, never inside a read it was told would succeed.
    std::int32_t BytesWaiting(platform::DeviceHandle h) override {
        Pull(h);
        return static_cast<std::int32_t>(pending_.size());
    }
    // A hang-up among the bytes that ended the inner wait leaves nothing to
    // read: the rest of the time is sat out, as on a dead line.
    bool WaitForInput(platform::DeviceHandle h, std::uint32_t ms) override {
        const std::uint32_t start = platform::TickCount();
        for (;;) {
            Pull(h);
            if (!pending_.empty()) return true;
            const std::uint32_t left = platform::Remaining(start, ms);
            if (left == 0) return false;
            if (dead_) {
                platform::SleepMs(left);
                return false;
            }
            if (!inner_.WaitForInput(h, left)) return false;
        }
    }
    std::int32_t Read(platform::DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        Pull(h);
        std::int32_t n = 0;
        for (; n < max && !pending_.empty(); ++n) {
            buf[n] = pending_.front();
            pending_.pop_front();
        }
        return n;
    }
    std::int32_t Write(platform::DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        if (!dead_ && plan_.hangUpAfterWrites && written_ + n > plan_.hangUpAfterWrites) HangUp();
        if (dead_) return 0;
        written_ += n;
        return inner_.Write(h, data, n);
    }
    bool Purge(platform::DeviceHandle h) override {
        pending_.clear();
        const bool ok = inner_.Purge(h);
        pending_.insert(pending_.end(), plan_.afterPurge.begin(), plan_.afterPurge.end());
        plan_.afterPurge.clear();
        return ok;
    }

private:
    void HangUp() {
        dead_ = true;
        chip_.faults().hangUp = true;
    }

    void Pull(platform::DeviceHandle h) {
        if (dead_) return;
        std::uint8_t buf[512];
        for (std::int32_t got; (got = inner_.Read(h, buf, sizeof buf)) > 0;) {
            for (std::int32_t i = 0; i < got; ++i) {
                std::uint8_t b = buf[i];
                const bool ack = b == proto::kAck;
                if (++bytes_ == plan_.hangUpAtByte || (ack && acks_ + 1 == plan_.hangUpAtAck)) {
                    HangUp();
                    return;
                }
                if (ack && ++acks_ == plan_.nackAck) b = proto::kNack;
                pending_.push_back(b);
            }
        }
    }

    sim::Chip& chip_;
    Plan plan_;
    int acks_ = 0;
    int bytes_ = 0;
    int written_ = 0;
    bool dead_ = false;
    std::deque<std::uint8_t> pending_;
};

}  // namespace robustness
