#include "sim/in_process.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/ports.h"

namespace sim {

struct InProcessLine::Device {
    Chip* chip = nullptr;
    Wiring wiring;
    platform::DeviceHandle handle = platform::kClosedHandle;
    bool dtr = false;
    bool rts = false;
    platform::LineSettings settings;
    std::uint64_t txFreeNs = 0;  // nanoseconds: no drift from rounding each byte
    std::deque<std::uint8_t> rx;

    bool Level(Line line) const { return line == Line::Dtr ? dtr : rts; }
    bool ResetHeld() const { return wiring.reset != Line::None && Level(wiring.reset) == wiring.resetActiveWhenSet; }
    // Unwired, BOOT0 is pulled down, as on most boards.
    bool Boot0High() const { return wiring.boot != Line::None && Level(wiring.boot) == wiring.bootHighWhenSet; }
};

Wiring WiringForChoices(std::int32_t resetChoice, std::int32_t bootChoice) {
    auto line = [](std::int32_t c) { return c == 1 || c == 2 ? Line::Dtr : c == 3 || c == 4 ? Line::Rts : Line::None; };
    Wiring w;
    w.reset = line(resetChoice);
    w.resetActiveWhenSet = resetChoice == 1 || resetChoice == 3;
    w.boot = line(bootChoice);
    w.bootHighWhenSet = bootChoice == 1 || bootChoice == 3;
    return w;
}

InProcessLine::InProcessLine(VirtualClock& clock) : clock_(clock) {}

InProcessLine::~InProcessLine() = default;

void InProcessLine::Attach(const std::string& deviceName, Chip& chip, Wiring wiring) {
    auto d = std::make_unique<Device>();
    d->chip = &chip;
    d->wiring = wiring;
    d->txFreeNs = clock_.NowUs() * 1000;
    chip.PowerOn(d->ResetHeld(), d->Boot0High(), clock_.NowUs());
    devices_[deviceName] = std::move(d);
}

void InProcessLine::Detach(const std::string& deviceName) { devices_.erase(deviceName); }

bool InProcessLine::IsOpen(const std::string& deviceName) const {
    auto it = devices_.find(deviceName);
    return it != devices_.end() && it->second->handle != platform::kClosedHandle;
}

bool InProcessLine::Dtr(const std::string& deviceName) const {
    auto it = devices_.find(deviceName);
    return it != devices_.end() && it->second->dtr;
}

bool InProcessLine::Rts(const std::string& deviceName) const {
    auto it = devices_.find(deviceName);
    return it != devices_.end() && it->second->rts;
}

InProcessLine::Device* InProcessLine::Find(platform::DeviceHandle h) {
    if (h == platform::kClosedHandle) return nullptr;
    for (auto& [name, d] : devices_)
        if (d->handle == h) return d.get();
    return nullptr;
}

InProcessLine::Device* InProcessLine::Usable(platform::DeviceHandle h) {
    Device* d = Find(h);
    return d && !d->chip->faults().hangUp ? d : nullptr;
}

void InProcessLine::Drive(Device& d) {
    // BOOT0 is latched a few clocks after NRST rises, so a line that moves
    // both at once is seen with its new BOOT0 level.
    const std::uint64_t now = clock_.NowUs();
    d.chip->SetBoot0(d.Boot0High(), now);
    d.chip->SetReset(d.ResetHeld(), now);
}

void InProcessLine::Collect(Device& d) {
    const std::uint64_t now = clock_.NowUs();
    d.chip->AdvanceTo(now);
    std::uint8_t b = 0;
    std::int32_t baud = 0;
    while (d.chip->TakeSent(now, b, baud)) {
        // At another speed the host's UART frames nothing sensible.
        if (NearBaud(d.settings.baud, baud)) d.rx.push_back(b);
    }
}

platform::DeviceHandle InProcessLine::Open(const std::string& deviceName) {
    auto it = devices_.find(deviceName);
    if (it == devices_.end()) return platform::kClosedHandle;
    Device& d = *it->second;
    if (d.handle != platform::kClosedHandle || d.chip->faults().hangUp) return platform::kClosedHandle;
    d.handle = nextHandle_++;
    // Whatever came while nobody listened is gone.
    Collect(d);
    d.rx.clear();
    return d.handle;
}

bool InProcessLine::GetLineSettings(platform::DeviceHandle h, platform::LineSettings& out) {
    Device* d = Usable(h);
    if (!d) return false;
    out = d->settings;
    return true;
}

bool InProcessLine::SetLineSettings(platform::DeviceHandle h, const platform::LineSettings& s) {
    Device* d = Usable(h);
    if (!d || s.baud <= 0) return false;
    Collect(*d);
    d->settings = s;
    return true;
}

bool InProcessLine::SetDtr(platform::DeviceHandle h, bool on) {
    Device* d = Usable(h);
    if (!d) return false;
    d->dtr = on;
    Drive(*d);
    return true;
}

bool InProcessLine::SetRts(platform::DeviceHandle h, bool on) {
    Device* d = Usable(h);
    if (!d) return false;
    d->rts = on;
    Drive(*d);
    return true;
}

std::int32_t InProcessLine::BytesWaiting(platform::DeviceHandle h) {
    Device* d = Usable(h);
    if (!d) return 0;
    Collect(*d);
    return static_cast<std::int32_t>(std::min<std::size_t>(d->rx.size(), 0x7FFFFFFF));
}

bool InProcessLine::WaitForInput(platform::DeviceHandle h, std::uint32_t ms) {
    const std::uint64_t end = clock_.NowUs() + std::uint64_t{ms} * 1000u;
    Device* d = Usable(h);
    while (d) {
        Collect(*d);
        if (!d->rx.empty()) return true;
        // The chip acts only on its own events: a byte handled, a byte sent.
        std::uint64_t next = end;
        for (auto at : {d->chip->NextSentUs(), d->chip->NextInputUs()})
            if (at) next = std::min(next, *at);
        const std::uint64_t now = clock_.NowUs();
        if (now >= end) return false;
        clock_.AdvanceUs(next > now ? next - now : 1);
    }
    if (clock_.NowUs() < end) clock_.AdvanceUs(end - clock_.NowUs());
    return false;
}

std::int32_t InProcessLine::Read(platform::DeviceHandle h, std::uint8_t* buf, std::int32_t max) {
    Device* d = Usable(h);
    if (!d || max <= 0) return 0;
    Collect(*d);
    std::int32_t n = 0;
    while (n < max && !d->rx.empty()) {
        buf[n++] = d->rx.front();
        d->rx.pop_front();
    }
    return n;
}

std::int32_t InProcessLine::Write(platform::DeviceHandle h, const std::uint8_t* data, std::int32_t n) {
    Device* d = Usable(h);
    if (!d || n <= 0) return 0;
    const auto& s = d->settings;
    const std::uint64_t byteNs = ByteNs(s);
    const std::uint64_t now = clock_.NowUs();
    for (std::int32_t i = 0; i < n; ++i) {
        d->txFreeNs = std::max(now * 1000, d->txFreeNs) + byteNs;
        d->chip->Receive(data[i], (d->txFreeNs + 999) / 1000, s);
    }
    return n;
}

bool InProcessLine::Purge(platform::DeviceHandle h) {
    Device* d = Usable(h);
    if (!d) return false;
    Collect(*d);
    d->rx.clear();
    const std::uint64_t now = clock_.NowUs();
    d->chip->CancelInputAfter(now);
    d->txFreeNs = now * 1000;
    return true;
}

void InProcessLine::Close(platform::DeviceHandle h) {
    Device* d = Find(h);
    if (!d) return;
    d->handle = platform::kClosedHandle;
    d->rx.clear();
}

Rig::Rig(ChipPreset preset, Wiring wiring) : line_(clock_), chip_(std::move(preset)) {
    platform::SetTickSource(&clock_);
    platform::SetSerialDevices(&line_);
    line_.Attach(platform::DeviceName(1), chip_, wiring);
}

Rig::~Rig() {
    platform::SetSerialDevices(nullptr);
    platform::SetTickSource(nullptr);
}

void Rig::AttachPort(std::int32_t port, Chip& chip, Wiring wiring) {
    line_.Attach(platform::DeviceName(port), chip, wiring);
}

}  // namespace sim
