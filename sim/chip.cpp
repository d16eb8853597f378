#include "sim/chip.h"

#include <algorithm>

#include "platform/hex_text.h"

namespace sim {

namespace {

using platform::Hex2;
using platform::Hex8;

constexpr std::uint8_t kAck = 0x79;
constexpr std::uint8_t kNack = 0x1F;
constexpr std::uint8_t kSync = 0x7F;
constexpr std::uint64_t kSilenceUs = 1'000'000;
// A USART samples mid-bit: a few per cent of speed error still frames.
constexpr std::int64_t kBaudTolerancePercent = 3;

std::uint8_t Xor(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t to) {
    std::uint8_t x = 0;
    for (std::size_t i = from; i < to; ++i) x = static_cast<std::uint8_t>(x ^ v[i]);
    return x;
}

std::uint32_t Be32(const std::vector<std::uint8_t>& v) {
    return static_cast<std::uint32_t>(v[0]) << 24 | static_cast<std::uint32_t>(v[1]) << 16 |
           static_cast<std::uint32_t>(v[2]) << 8 | v[3];
}

// "11 Read Memory": how the log names a command.
std::string What(std::uint8_t code) {
    const char* name = "command";
    switch (code) {
        case 0x00: name = "Get"; break;
        case 0x01: name = "Get Version"; break;
        case 0x02: name = "Get ID"; break;
        case 0x11: name = "Read Memory"; break;
        case 0x21: name = "Go"; break;
        case 0x31: name = "Write Memory"; break;
        case 0x43: name = "Erase"; break;
        case 0x44: name = "Extended Erase"; break;
        case 0x63: name = "Write Protect"; break;
        case 0x73: name = "Write Unprotect"; break;
        case 0x82: name = "Readout Protect"; break;
        case 0x92: name = "Readout Unprotect"; break;
    }
    return Hex2(code) + " " + name;
}

}  // namespace

bool NearBaud(std::int32_t a, std::int32_t b) {
    const std::int64_t d = static_cast<std::int64_t>(a) - b;
    return b > 0 && (d < 0 ? -d : d) * 100 <= kBaudTolerancePercent * b;
}

std::uint64_t ByteNs(const platform::LineSettings& f) {
    if (f.baud <= 0) return 0;
    const auto bits = static_cast<std::uint64_t>(1 + f.dataBits + (f.parity != 0 ? 1 : 0) + f.stopBits);
    return bits * 1'000'000'000u / static_cast<std::uint64_t>(f.baud);
}

bool Area::Contains(std::uint32_t address, std::uint32_t length) const {
    const std::uint64_t n = length == 0 ? 1 : length;
    return size > 0 && address >= start && static_cast<std::uint64_t>(address - start) + n <= size;
}

Chip::Chip(ChipPreset preset)
    : preset_(std::move(preset)),
      flash_(preset_.flashSize, 0xFF),
      ram_(preset_.ram.size, 0x00),
      system_(preset_.systemMemory.size),
      otp_(preset_.otp.size, 0xFF),
      engineering_(preset_.engineering.size, 0xFF) {
    RestoreOptions();
    // Stands for the bootloader's code: anything but erased flash.
    for (std::size_t i = 0; i < system_.size(); ++i) system_[i] = static_cast<std::uint8_t>(i * 37u + 11u);
    const Signature& s = preset_.signature;
    const std::uint32_t kib = std::min<std::uint32_t>(preset_.flashSize / 1024, 0xFFFF);
    const std::vector<std::uint8_t> size{static_cast<std::uint8_t>(kib), static_cast<std::uint8_t>(kib >> 8)};
    for (const auto& [at, bytes] : {std::pair{s.uidAt, s.uid}, std::pair{s.flashSizeAt, size}}) {
        std::uint32_t off = 0;
        const Area* area = nullptr;
        auto* mem = at != 0 && !bytes.empty() ? Memory(at, static_cast<std::uint32_t>(bytes.size()), off, area) : nullptr;
        if (mem) std::copy(bytes.begin(), bytes.end(), mem->begin() + off);
    }
    PowerOn(false, true, 0);
}

// --- protection state, kept in the option bytes as on the chip ---

bool Chip::ReadoutProtected() const {
    const auto at = preset_.options.rdpOffset;
    return at < options_.size() && options_[at] != preset_.options.rdpUnprotected;
}

void Chip::SetReadoutProtected(bool on) {
    const auto at = preset_.options.rdpOffset;
    if (at >= options_.size()) return;
    options_[at] = on ? 0x00 : preset_.options.rdpUnprotected;
    FixComplements();
}

std::size_t Chip::Groups() const {
    const std::size_t per = std::max<std::uint32_t>(1, preset_.pagesPerWrpBit);
    return std::min(preset_.options.wrpOffsets.size() * 8, (preset_.pages.size() + per - 1) / per);
}

std::size_t Chip::GroupOf(std::size_t page) const {
    const std::size_t per = std::max<std::uint32_t>(1, preset_.pagesPerWrpBit);
    return std::min(page / per, Groups() - 1);
}

std::uint32_t Chip::WriteProtection() const {
    std::uint32_t groups = 0;
    for (std::size_t g = 0; g < Groups() && g < 32; ++g) {
        const auto at = preset_.options.wrpOffsets[g / 8];
        if (at < options_.size() && !(options_[at] >> (g % 8) & 1)) groups |= 1u << g;
    }
    return groups;
}

void Chip::SetWriteProtection(std::uint32_t groups) {
    for (std::size_t g = 0; g < Groups() && g < 32; ++g) {
        const auto at = preset_.options.wrpOffsets[g / 8];
        if (at >= options_.size()) continue;
        const auto bit = static_cast<std::uint8_t>(1u << (g % 8));
        if (groups >> g & 1)
            options_[at] = static_cast<std::uint8_t>(options_[at] & ~bit);
        else
            options_[at] = static_cast<std::uint8_t>(options_[at] | bit);
    }
    FixComplements();
}

void Chip::RestoreOptions() {
    options_ = preset_.optionDefaults;
    options_.resize(preset_.optionBytes.size, 0xFF);
}

void Chip::FixComplements() {
    if (!preset_.options.complements) return;
    for (std::size_t i = 0; i + 1 < options_.size(); i += 2) options_[i + 1] = static_cast<std::uint8_t>(~options_[i]);
}

std::uint32_t Chip::PageOffset(std::size_t page) const {
    std::uint32_t off = 0;
    for (std::size_t i = 0; i < page; ++i) off += preset_.pages[i].size;
    return off;
}

bool Chip::PageProtected(std::size_t page) const { return Groups() > 0 && (WriteProtection() >> GroupOf(page) & 1); }

// --- pins ---

void Chip::PowerOn(bool resetHeld, bool boot0High, std::uint64_t us) {
    input_.clear();
    output_.clear();
    anyRx_ = false;
    resetHeld_ = resetHeld;
    boot0High_ = boot0High;
    LoadOptions();
    Halt(us);
    if (!resetHeld_) Boot(us);
}

void Chip::SetReset(bool held, std::uint64_t us) {
    AdvanceTo(us);
    if (held == resetHeld_) return;
    resetHeld_ = held;
    if (held)
        ResetAt(us);
    else
        Boot(us);
}

void Chip::SetBoot0(bool high, std::uint64_t us) {
    AdvanceTo(us);
    boot0High_ = high;
}

void Chip::Halt(std::uint64_t t) {
    // What was not yet on the wire never leaves; the receiver starts empty.
    while (!output_.empty() && output_.back().startUs > t) output_.pop_back();
    while (!input_.empty() && input_.front().us <= t) input_.pop_front();
    txFreeNs_ = std::max(t, output_.empty() ? t : output_.back().endUs) * 1000;
    rdrFreeAt_ = busyUntil_ = t;
    baud_ = 0;
    Finish();
    state_ = State::Reset;
}

void Chip::ResetAt(std::uint64_t t) {
    Halt(t);
    ++resets_;
}

void Chip::LoadOptions() {
    emptyAtLoad_ = std::all_of(flash_.begin(), flash_.begin() + std::min<std::size_t>(4, flash_.size()),
                               [](std::uint8_t b) { return b == 0xFF; });
}

bool Chip::StartsBootloader() const {
    const OptionBoot& o = preset_.optionBoot;
    if (!o.on) return boot0High_;
    const std::uint8_t bits = o.offset < options_.size() ? options_[o.offset] : 0xFF;
    const bool boot0 = (bits & o.nBootSel) != 0 ? (bits & o.nBoot0) == 0 : boot0High_;
    return boot0 || emptyAtLoad_;
}

void Chip::Boot(std::uint64_t t) {
    if (StartsBootloader()) {
        state_ = State::Starting;
        readyAt_ = t + preset_.timing.bootStartUs;
        Note("start: bootloader");
    } else {
        state_ = State::UserProgram;
        Note("start: user program");
    }
}

// --- bytes in ---

void Chip::Receive(std::uint8_t byte, std::uint64_t us, const platform::LineSettings& framing) {
    input_.push_back({byte, us, framing});
}

void Chip::CancelInputAfter(std::uint64_t us) {
    while (!input_.empty() && input_.back().us > us) input_.pop_back();
}

std::optional<std::uint64_t> Chip::NextInputUs() const {
    if (input_.empty()) return std::nullopt;
    const auto& in = input_.front();
    return in.us < rdrFreeAt_ ? in.us : std::max(in.us, busyUntil_);
}

void Chip::AdvanceTo(std::uint64_t us) {
    while (!input_.empty()) {
        const In in = input_.front();
        if (in.us > us) break;
        if (in.us < rdrFreeAt_) {
            // The data register still held the byte before: overrun.
            input_.pop_front();
            lastRxUs_ = in.us;
            if (state_ == State::WaitCommand || state_ == State::Command) Note("overrun: " + Hex2(in.byte) + " lost");
            continue;
        }
        const std::uint64_t t = std::max(in.us, busyUntil_);
        if (t > us) break;  // waits in the data register until the bootloader is free
        input_.pop_front();
        rdrFreeAt_ = t;
        Handle(in, t);
    }
}

bool Chip::Understands(const platform::LineSettings& f) const {
    return f.dataBits == 8 && f.parity == 2 && f.stopBits == 1 && NearBaud(f.baud, baud_);
}

void Chip::Handle(const In& in, std::uint64_t t) {
    const bool silentBefore = !anyRx_ || in.us - lastRxUs_ > kSilenceUs;
    lastRxUs_ = in.us;
    anyRx_ = true;
    const bool implicitSync = implicitReset_ && in.byte == kSync;

    if (state_ == State::Reset) return;
    if (state_ == State::Starting) {
        if (t < readyAt_) return;
        state_ = State::WaitSync;
    }
    if (state_ == State::UserProgram || state_ == State::Command || state_ == State::WaitCommand) {
        const bool waiting = state_ == State::WaitCommand;
        if (!(implicitSync && (waiting || silentBefore))) {
            if (state_ == State::UserProgram) return;
            if (!Understands(in.framing)) {
                Note("line error: " + Hex2(in.byte) + " not understood at " + std::to_string(in.framing.baud) +
                     " Bd, parity " + std::to_string(in.framing.parity));
                return;
            }
            Step(in.byte, t);
            return;
        }
        ResetAt(t);
        if (!StartsBootloader()) {
            Note("7F taken as reset: the user program starts");
            state_ = State::UserProgram;
            return;
        }
        Note("7F taken as reset and sync");
        state_ = State::WaitSync;
    }
    // Auto-baud: the bootloader times the bits of 0x7F whatever the parity.
    if (in.byte == kSync && in.framing.dataBits == 8 && in.framing.baud >= preset_.minBaud &&
        in.framing.baud <= preset_.maxBaud) {
        baud_ = in.framing.baud;
        Note("sync at " + std::to_string(baud_) + " Bd: ACK");
        Expect(Phase::Code, 1);
        Ack(t + preset_.timing.replyUs);
    }
}

// --- bytes out ---

std::uint64_t Chip::Emit(std::uint8_t b, std::uint64_t t) {
    // Nanoseconds, so that a long reply does not drift by the rounding of each byte.
    const std::uint64_t byteNs = wireTime_ ? ByteNs({baud_, 8, 2, 1}) : 0;
    const std::uint64_t startNs = std::max(t * 1000, txFreeNs_);
    txFreeNs_ = startNs + byteNs;
    const std::uint64_t start = startNs / 1000;
    const std::uint64_t end = (txFreeNs_ + 999) / 1000;
    // The bootloader waits for the transmit register before it goes on.
    busyUntil_ = std::max(busyUntil_, start);
    if (faults_.silentAfter) {
        if (*faults_.silentAfter == 0) return end;
        --*faults_.silentAfter;
    }
    output_.push_back({b, start, end, baud_});
    return end;
}

std::uint64_t Chip::Ack(std::uint64_t t) {
    if (!faults_.strayBeforeAck.empty() && faults_.strayCount != 0) {
        for (auto b : faults_.strayBeforeAck) Emit(b, t);
        if (faults_.strayCount > 0) --faults_.strayCount;
    }
    return Emit(kAck, t);
}

std::uint64_t Chip::Nack(std::uint64_t t) { return Emit(kNack, t); }

bool Chip::TakeSent(std::uint64_t us, std::uint8_t& byte) {
    std::int32_t baud = 0;
    return TakeSent(us, byte, baud);
}

bool Chip::TakeSent(std::uint64_t us, std::uint8_t& byte, std::int32_t& baud) {
    if (output_.empty() || output_.front().endUs > us) return false;
    byte = output_.front().byte;
    baud = output_.front().baud;
    output_.pop_front();
    return true;
}

std::optional<std::uint64_t> Chip::NextSentUs() const {
    if (output_.empty()) return std::nullopt;
    return output_.front().endUs;
}

void Chip::Note(const std::string& line) {
    log_.push_back(line);
    if (logSink_) logSink_(line);
}

void Chip::Changed(std::uint32_t offset, std::uint32_t length) {
    if (flashChanged_ && length > 0) flashChanged_(offset, length);
}

// --- memories ---

std::vector<std::uint8_t>* Chip::Memory(std::uint32_t address, std::uint32_t length, std::uint32_t& offset,
                                        const Area*& area) {
    const Area flash{preset_.flashStart, preset_.flashSize};
    const std::pair<const Area*, std::vector<std::uint8_t>*> areas[] = {
        {&preset_.ram, &ram_},       {&preset_.systemMemory, &system_}, {&preset_.optionBytes, &options_},
        {&preset_.otp, &otp_},       {&preset_.engineering, &engineering_}};
    if (flash.Contains(address, length)) {
        offset = address - flash.start;
        area = nullptr;  // flash
        return &flash_;
    }
    for (const auto& [a, mem] : areas) {
        if (a->Contains(address, length)) {
            offset = address - a->start;
            area = a;
            return mem;
        }
    }
    return nullptr;
}

bool Chip::Readable(std::uint32_t address, std::uint32_t length) {
    std::uint32_t offset = 0;
    const Area* area = nullptr;
    return Memory(address, length, offset, area) != nullptr;
}

bool Chip::Program(std::vector<std::uint8_t>& mem, const Area* area, std::uint32_t off,
                   const std::vector<std::uint8_t>& data, std::uint64_t& us, std::string& why) {
    const auto n = static_cast<std::uint32_t>(data.size());
    const std::uint32_t unit = std::max<std::uint32_t>(1, preset_.timing.programUnitBytes);
    const std::uint64_t units = (n + unit - 1) / unit;
    us = 0;
    if (area == &preset_.ram) {
        if (off < preset_.bootloaderRam) {
            why = "bootloader RAM";
            return false;
        }
        std::copy(data.begin(), data.end(), mem.begin() + off);
        return true;
    }
    if (area == &preset_.optionBytes) {
        // The option bytes are erased as a whole before the new values go in.
        std::fill(mem.begin(), mem.end(), 0xFF);
        std::copy(data.begin(), data.end(), mem.begin() + off);
        FixComplements();
        us = FlashUs(preset_.timing.optionWriteUs);
        return true;
    }
    if (area == &preset_.otp) {
        for (std::uint32_t i = 0; i < n; ++i) mem[off + i] &= data[i];
        us = FlashUs(units * preset_.timing.programUnitNs / 1000);
        return true;
    }
    for (std::size_t p = 0, at = 0; p < preset_.pages.size(); at += preset_.pages[p].size, ++p) {
        if (at < off + n && off < at + preset_.pages[p].size && PageProtected(p)) {
            why = "write protected page " + std::to_string(p);
            return false;
        }
    }
    std::uint64_t ns = 0;
    for (std::uint32_t i = 0; i < n; i += unit) {
        const std::uint32_t len = std::min(unit, n - i);
        ns += preset_.timing.programUnitNs;
        auto cell = mem.begin() + off + i;
        if (preset_.write != WriteBehaviour::AndBits) {
            const bool erased = std::all_of(cell, cell + len, [](std::uint8_t b) { return b == 0xFF; });
            const bool zero = preset_.write == WriteBehaviour::NackDirty &&
                              std::all_of(data.begin() + i, data.begin() + i + len, [](std::uint8_t b) { return b == 0; });
            if (!erased && !zero) {
                why = "not erased at " + Hex8(preset_.flashStart + off + i);
                Changed(off, i);
                us = FlashUs(ns / 1000);
                return false;
            }
            std::copy(data.begin() + i, data.begin() + i + len, cell);
        } else {
            for (std::uint32_t k = 0; k < len; ++k) cell[k] = static_cast<std::uint8_t>(cell[k] & data[i + k]);
        }
    }
    Changed(off, n);
    us = FlashUs(ns / 1000);
    return true;
}

bool Chip::ErasePageList(const std::vector<std::uint32_t>& pages, std::uint64_t& us, std::string& why) {
    us = 0;
    for (auto p : pages) {
        if (p >= preset_.pages.size()) {
            why = "no page " + std::to_string(p);
            return false;
        }
        if (PageProtected(p)) {
            why = "write protected page " + std::to_string(p);
            return false;
        }
    }
    for (auto p : pages) {
        const std::uint32_t off = PageOffset(p);
        const std::uint32_t size = std::min(preset_.pages[p].size, static_cast<std::uint32_t>(flash_.size()) - off);
        std::fill_n(flash_.begin() + off, size, 0xFF);
        Changed(off, size);
        us += FlashUs(preset_.pages[p].eraseUs);
    }
    return true;
}

bool Chip::MassErase(std::uint64_t& us, std::string& why) {
    us = 0;
    if (WriteProtection() != 0) {
        why = "write protected";
        return false;
    }
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    Changed(0, static_cast<std::uint32_t>(flash_.size()));
    us = FlashUs(preset_.timing.massEraseUs);
    return true;
}

// --- commands ---

void Chip::Expect(Phase phase, std::size_t count) {
    phase_ = phase;
    need_ = count;
    buf_.clear();
    state_ = phase == Phase::Code ? State::WaitCommand : State::Command;
}

void Chip::Finish() { Expect(Phase::Code, 1); }

void Chip::Refuse(const std::string& why, std::uint64_t r) {
    Note(What(cmd_) + ": NACK (" + why + ")");
    Nack(r);
    Finish();
}

void Chip::AckAndReset(const std::string& text, std::uint64_t at) {
    const std::uint64_t end = Ack(at);
    Note(text + ": ACK, reset");
    Finish();
    if (optionsChanged_) optionsChanged_();
    ResetAt(end);
    LoadOptions();
    Boot(end);
}

void Chip::Step(std::uint8_t b, std::uint64_t t) {
    buf_.push_back(b);
    if (buf_.size() < need_) return;
    const std::vector<std::uint8_t> got = std::move(buf_);
    buf_.clear();
    const std::uint64_t r = t + preset_.timing.replyUs;
    const std::string what = What(cmd_);
    // Four bytes big-endian and their XOR; false when refused.
    auto takeAddress = [&]() {
        if (got[4] != Xor(got, 0, 4)) {
            Refuse("address checksum", r);
            return false;
        }
        address_ = Be32(got);
        return true;
    };
    // count_ bytes, then the XOR of count_ - 1 and them.
    auto listOk = [&]() { return got[count_] == static_cast<std::uint8_t>((count_ - 1) ^ Xor(got, 0, count_)); };
    // Erases pages (all of the flash without a list) and answers when done;
    // a bank erase takes its own time, not the sum of its sectors'.
    auto erase = [&](const std::vector<std::uint32_t>* pages, const std::string& text, std::uint64_t ownUs = 0) {
        std::uint64_t us = 0;
        std::string why;
        if (!(pages ? ErasePageList(*pages, us, why) : MassErase(us, why))) return Refuse(why, r);
        Ack(r + (ownUs ? FlashUs(ownUs) : us));
        Note(what + " " + text + ": ACK");
        Finish();
    };

    switch (phase_) {
        case Phase::Code:
            cmd_ = got[0];
            Expect(Phase::Complement, 1);
            return;

        case Phase::Complement:
            if (got[0] != static_cast<std::uint8_t>(cmd_ ^ 0xFF)) {
                Note(Hex2(cmd_) + " " + Hex2(got[0]) + ": no complement, NACK");
                Nack(r);
                Finish();
                return;
            }
            Dispatch(r);
            return;

        case Phase::ReadAddress:
            if (!takeAddress()) return;
            if (!Readable(address_, 1)) return Refuse("address " + Hex8(address_), r);
            Ack(r);
            Expect(Phase::ReadLength, 2);
            return;

        case Phase::ReadLength: {
            if (got[1] != static_cast<std::uint8_t>(got[0] ^ 0xFF)) return Refuse("length checksum", r);
            const std::uint32_t n = got[0] + 1u;
            std::uint32_t off = 0;
            const Area* area = nullptr;
            auto* mem = Memory(address_, n, off, area);
            if (!mem) return Refuse("range " + Hex8(address_) + " +" + std::to_string(n), r);
            Ack(r);
            for (std::uint32_t i = 0; i < n; ++i) Emit((*mem)[off + i], r);
            Note(what + " " + Hex8(address_) + " " + std::to_string(n) + ": ACK");
            Finish();
            return;
        }

        case Phase::GoAddress: {
            if (!takeAddress()) return;
            const Area flash{preset_.flashStart, preset_.flashSize};
            if (!flash.Contains(address_) && !preset_.ram.Contains(address_))
                return Refuse("address " + Hex8(address_), r);
            Ack(r);
            Note(what + " " + Hex8(address_) + ": ACK");
            Finish();
            state_ = State::UserProgram;
            return;
        }

        case Phase::WriteAddress: {
            if (!takeAddress()) return;
            std::uint32_t off = 0;
            const Area* area = nullptr;
            if (!Memory(address_, 1, off, area) || area == &preset_.systemMemory || area == &preset_.engineering)
                return Refuse("address " + Hex8(address_), r);
            if (address_ % 4 != 0) return Refuse("address " + Hex8(address_) + " not word-aligned", r);
            Ack(r);
            Expect(Phase::WriteLength, 1);
            return;
        }

        case Phase::WriteLength:
            count_ = got[0] + 1u;
            Expect(Phase::WriteData, count_ + 1);
            return;

        case Phase::WriteData: {
            const std::string where = what + " " + Hex8(address_) + " " + std::to_string(count_);
            auto fail = [&](const std::string& why, std::uint64_t after) {
                Note(where + ": NACK (" + why + ")");
                Nack(r + after);
                Finish();
            };
            if (!listOk()) return fail("checksum", 0);
            if (count_ % 4 != 0) return fail("length not a multiple of 4", 0);
            std::uint32_t off = 0;
            const Area* area = nullptr;
            auto* mem = Memory(address_, count_, off, area);
            if (!mem) return fail("block leaves the memory", 0);
            if (faults_.nackWriteAt && *faults_.nackWriteAt >= address_ && *faults_.nackWriteAt - address_ < count_)
                return fail("fault", 0);
            std::uint64_t us = 0;
            std::string why;
            if (!Program(*mem, area, off, std::vector<std::uint8_t>(got.begin(), got.begin() + count_), us, why))
                return fail(why, us);
            if (area == &preset_.optionBytes) return AckAndReset(where, r + us);
            Ack(r + us);
            Note(where + ": ACK");
            Finish();
            return;
        }

        case Phase::EraseCount:
            if (got[0] == 0xFF) {
                Expect(Phase::EraseGlobalCheck, 1);
            } else {
                count_ = got[0] + 1u;
                Expect(Phase::ErasePages, count_ + 1);
            }
            return;

        case Phase::EraseGlobalCheck:
            if (got[0] != 0x00) return Refuse("checksum", r);
            return erase(nullptr, "global");

        case Phase::ErasePages: {
            if (!listOk()) return Refuse("checksum", r);
            const std::vector<std::uint32_t> pages(got.begin(), got.begin() + count_);
            return erase(&pages, std::to_string(count_) + " pages");
        }

        case Phase::ExtCount: {
            const std::uint32_t n = static_cast<std::uint32_t>(got[0]) << 8 | got[1];
            address_ = n;  // kept for the checksum
            if (n >= 0xFFF0) {
                Expect(Phase::ExtSpecialCheck, 1);
            } else {
                count_ = n + 1;
                Expect(Phase::ExtPages, 2 * count_ + 1);
            }
            return;
        }

        case Phase::ExtSpecialCheck: {
            const std::uint32_t code = address_;
            if (got[0] != static_cast<std::uint8_t>((code >> 8) ^ code)) return Refuse("checksum", r);
            if (code == 0xFFFF) return erase(nullptr, "mass");
            if ((code == 0xFFFE || code == 0xFFFD) && preset_.banks == 2) {
                const std::size_t half = preset_.pages.size() / 2;
                std::vector<std::uint32_t> pages;
                for (std::size_t p = code == 0xFFFE ? 0 : half; p < (code == 0xFFFE ? half : preset_.pages.size()); ++p)
                    pages.push_back(static_cast<std::uint32_t>(p));
                return erase(&pages, code == 0xFFFE ? "bank 1" : "bank 2", preset_.timing.bankEraseUs);
            }
            return Refuse("code " + platform::Hex4(static_cast<std::uint16_t>(code)), r);
        }

        case Phase::ExtPages: {
            const std::size_t last = 2 * count_;
            const auto chk = static_cast<std::uint8_t>((address_ >> 8) ^ address_ ^ Xor(got, 0, last));
            if (got[last] != chk) return Refuse("checksum", r);
            std::vector<std::uint32_t> pages;
            for (std::size_t i = 0; i < last; i += 2) pages.push_back(static_cast<std::uint32_t>(got[i]) << 8 | got[i + 1]);
            return erase(&pages, std::to_string(count_) + " pages");
        }

        case Phase::WpCount:
            count_ = got[0] + 1u;
            Expect(Phase::WpCodes, count_ + 1);
            return;

        case Phase::WpCodes: {
            if (!listOk()) return Refuse("checksum", r);
            // Codes beyond the chip's sectors are not checked, only ignored.
            std::uint32_t groups = 0;
            for (std::size_t i = 0; i < count_; ++i)
                if (got[i] < Groups() && got[i] < 32) groups |= 1u << got[i];
            SetWriteProtection(groups);
            return AckAndReset(what + " " + std::to_string(count_) + " sectors",
                               r + FlashUs(preset_.timing.optionWriteUs));
        }
    }
}

void Chip::Dispatch(std::uint64_t r) {
    const std::string what = What(cmd_);
    const auto& cmds = preset_.commands;
    if (std::find(cmds.begin(), cmds.end(), cmd_) == cmds.end()) return Refuse("not supported", r);
    if (faults_.refuse.count(cmd_)) return Refuse("fault", r);
    if (ReadoutProtected() && cmd_ > 0x02 && cmd_ != 0x92) return Refuse("readout protected", r);

    switch (cmd_) {
        case 0x00:
            Ack(r);
            Emit(static_cast<std::uint8_t>(cmds.size()), r);
            Emit(preset_.bootloaderVersion, r);
            for (auto c : cmds) Emit(c, r);
            Ack(r);
            break;
        case 0x01:
            Ack(r);
            Emit(preset_.bootloaderVersion, r);
            Emit(preset_.versionOption1, r);
            Emit(preset_.versionOption2, r);
            Ack(r);
            break;
        case 0x02:
            Ack(r);
            Emit(0x01, r);
            Emit(static_cast<std::uint8_t>(preset_.productId >> 8), r);
            Emit(static_cast<std::uint8_t>(preset_.productId), r);
            Ack(r);
            break;
        case 0x11: Ack(r); return Expect(Phase::ReadAddress, 5);
        case 0x21: Ack(r); return Expect(Phase::GoAddress, 5);
        case 0x31: Ack(r); return Expect(Phase::WriteAddress, 5);
        case 0x43: Ack(r); return Expect(Phase::EraseCount, 1);
        case 0x44: Ack(r); return Expect(Phase::ExtCount, 2);
        case 0x63: Ack(r); return Expect(Phase::WpCount, 1);
        case 0x73:
            Ack(r);
            SetWriteProtection(0);
            return AckAndReset(what, r + FlashUs(preset_.timing.optionWriteUs));
        case 0x82:
            Ack(r);
            SetReadoutProtected(true);
            return AckAndReset(what, r + FlashUs(preset_.timing.optionWriteUs));
        case 0x92:
            Ack(r);
            // Flash and option bytes go back to the delivery state, whatever
            // write protection was set.
            std::fill(flash_.begin(), flash_.end(), 0xFF);
            Changed(0, static_cast<std::uint32_t>(flash_.size()));
            RestoreOptions();
            return AckAndReset(what, r + FlashUs(preset_.timing.massEraseUs) + FlashUs(preset_.timing.optionWriteUs));
        default:
            return Refuse("not modelled", r);
    }
    Note(what + ": ACK");
    Finish();
}

}  // namespace sim
