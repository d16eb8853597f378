#include "support/scripted_device.h"

#include <algorithm>
#include <string>

#include "platform/hex_text.h"

namespace testsupport {

VirtualClock::VirtualClock(std::uint32_t startMs, std::uint32_t stepUs)
    : us_(std::uint64_t{startMs} * 1000), stepUs_(stepUs) {
    platform::SetTickSource(this);
}

VirtualClock::~VirtualClock() { platform::SetTickSource(nullptr); }

std::uint32_t VirtualClock::NowMs() {
    us_ += stepUs_;
    return PeekMs();
}

ScriptedDevice::ScriptedDevice() { platform::SetSerialDevices(this); }

ScriptedDevice::~ScriptedDevice() { platform::SetSerialDevices(nullptr); }

void ScriptedDevice::ArriveAfter(std::uint32_t delayMs, std::vector<std::uint8_t> bytes) {
    pending_.push_back({platform::TickCount(), delayMs, std::move(bytes)});
}

void ScriptedDevice::ReplyTo(std::uint8_t written, std::uint32_t delayMs, std::vector<std::uint8_t> answer) {
    replies_.push_back({written, delayMs, std::move(answer)});
}

ScriptedDevice::Event& ScriptedDevice::Record(Op op) {
    Event e;
    e.op = op;
    e.tick = platform::TickCount();
    events.push_back(std::move(e));
    return events.back();
}

void ScriptedDevice::Deliver() {
    const std::uint32_t now = platform::TickCount();
    // Wrap-safe: what counts is the time elapsed since each item was scheduled.
    auto due = [now](const Pending& p) { return static_cast<std::uint32_t>(now - p.base) >= p.delay; };
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (due(*it)) {
            queue_.insert(queue_.end(), it->bytes.begin(), it->bytes.end());
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

std::string ScriptedDevice::Trace(std::uint32_t origin) const {
    std::string out;
    for (const auto& e : events) {
        std::string item;
        switch (e.op) {
            case Op::Dtr: item = e.on ? "DTR+" : "DTR-"; break;
            case Op::Rts: item = e.on ? "RTS+" : "RTS-"; break;
            case Op::Purge: item = "purge"; break;
            case Op::Write:
                item = "W";
                for (auto b : e.bytes) item += platform::Hex2(b);
                break;
            default: continue;
        }
        if (!out.empty()) out += ' ';
        out += item + "@" + std::to_string(static_cast<std::uint32_t>(e.tick - origin));
    }
    return out;
}

int ScriptedDevice::Count(Op op) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [op](const Event& e) { return e.op == op; }));
}

platform::DeviceHandle ScriptedDevice::Open(const std::string& deviceName) {
    Record(Op::Open).name = deviceName;
    if (failOpen || deviceName.empty() || open_) return platform::kClosedHandle;
    open_ = true;
    return ++handle_;
}

bool ScriptedDevice::GetLineSettings(platform::DeviceHandle h, platform::LineSettings& out) {
    Record(Op::GetSettings);
    if (!IsOpen(h) || failGetSettings) return false;
    out = deviceSettings;
    return true;
}

bool ScriptedDevice::SetLineSettings(platform::DeviceHandle h, const platform::LineSettings& s) {
    Record(Op::SetSettings).settings = s;
    if (!IsOpen(h) || failSetSettings) return false;
    deviceSettings = s;
    return true;
}

bool ScriptedDevice::SetDtr(platform::DeviceHandle h, bool on) {
    Record(Op::Dtr).on = on;
    return IsOpen(h);
}

bool ScriptedDevice::SetRts(platform::DeviceHandle h, bool on) {
    Record(Op::Rts).on = on;
    return IsOpen(h);
}

std::int32_t ScriptedDevice::BytesWaiting(platform::DeviceHandle h) {
    ++polls;
    if (!IsOpen(h)) return 0;
    Deliver();
    return static_cast<std::int32_t>(queue_.size());
}

bool ScriptedDevice::WaitForInput(platform::DeviceHandle h, std::uint32_t ms) {
    if (IsOpen(h)) Deliver();
    if (!IsOpen(h) || queue_.empty()) {
        std::uint32_t sleep = ms;
        if (IsOpen(h)) {
            const std::uint32_t now = platform::TickCount();
            for (const auto& p : pending_) {
                const auto elapsed = static_cast<std::uint32_t>(now - p.base);
                sleep = std::min(sleep, elapsed < p.delay ? p.delay - elapsed : 0u);
            }
        }
        platform::SleepMs(sleep);
        if (IsOpen(h)) Deliver();
    }
    return IsOpen(h) && !queue_.empty();
}

std::int32_t ScriptedDevice::Read(platform::DeviceHandle h, std::uint8_t* buf, std::int32_t max) {
    if (!IsOpen(h) || max <= 0) return 0;
    Deliver();
    const auto n = std::min<std::size_t>(queue_.size(), static_cast<std::size_t>(max));
    std::copy_n(queue_.begin(), n, buf);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<std::int32_t>(n);
}

std::int32_t ScriptedDevice::Write(platform::DeviceHandle h, const std::uint8_t* data, std::int32_t n) {
    Event& e = Record(Op::Write);
    if (!IsOpen(h) || n <= 0) return 0;
    e.bytes.assign(data, data + n);
    const std::uint32_t tick = e.tick;
    for (std::int32_t i = 0; i < n; ++i) {
        auto it = std::find_if(replies_.begin(), replies_.end(), [&](const Reply& r) { return r.trigger == data[i]; });
        if (it == replies_.end()) continue;
        pending_.push_back({tick, it->delay, std::move(it->answer)});
        replies_.erase(it);
    }
    return n;
}

bool ScriptedDevice::Purge(platform::DeviceHandle h) {
    Record(Op::Purge);
    if (!IsOpen(h)) return false;
    Deliver();
    queue_.clear();
    return true;
}

void ScriptedDevice::Close(platform::DeviceHandle h) {
    Record(Op::Close);
    if (IsOpen(h)) open_ = false;
}

}  // namespace testsupport
