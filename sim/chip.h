// The system-memory USART bootloader of an STM32F (AN3155) and the memories
// behind it, on a time line of microseconds. A transport (the in-process line
// or the pseudo-terminal program) hands in line levels and bytes with their
// arrival times and takes out the bytes the chip sends with their times.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace sim {

enum class WriteBehaviour {
    NackDirty,  // F1: programming a half-word that is not erased fails (0x0000 aside): NACK
    AndBits,    // F4: programming only clears bits
    EccUnits,   // G0, L4, H7: a unit (double word, flash word) with ECC is programmed once; a unit not erased fails, zeros too
};

// One erase unit from the flash start on: a page (F1) or a sector (F4).
struct EraseUnit {
    std::uint32_t size;
    std::uint32_t eraseUs;
};

struct Area {
    std::uint32_t start = 0;
    std::uint32_t size = 0;
    // [address, address + length) lies inside; length 0 counts as 1.
    bool Contains(std::uint32_t address, std::uint32_t length = 1) const;
};

// Data-sheet orders of magnitude; typical values.
struct ChipTiming {
    std::uint32_t bootStartUs = 0;       // NRST released -> listening for 0x7F
    std::uint32_t replyUs = 0;           // request complete -> first answer byte
    std::uint32_t programUnitBytes = 2;  // F1 programs half-words, F4 (x32) words
    std::uint32_t programUnitNs = 0;
    std::uint32_t massEraseUs = 0;
    std::uint32_t bankEraseUs = 0;       // two banks only
    std::uint32_t optionWriteUs = 0;     // option bytes erased and programmed
};

// Where readout and write protection live in the option bytes.
struct OptionLayout {
    std::uint32_t rdpOffset = 0;
    std::uint8_t rdpUnprotected = 0xA5;
    // Bytes whose bits, LSB first, protect one group of pages each; 0 = protected.
    std::vector<std::uint32_t> wrpOffsets;
    bool complements = false;  // every even byte is followed by its complement (F1)
};

// What the reference manual's "Device electronic signature" chapter puts
// where: the 96-bit unique ID and the flash size in KiB (16 bits), the latter
// following flashSize. Address 0: none.
struct Signature {
    std::uint32_t uidAt = 0;
    std::vector<std::uint8_t> uid;  // 12 bytes as Read Memory returns them
    std::uint32_t flashSizeAt = 0;
};

// Boot selection by option bits, as a G0 leaves the factory: with nBOOT_SEL
// set the BOOT0 pin is not looked at and nBOOT0 chooses; a start from the
// main flash while its first word was erased at the last option byte load
// (power-on, a change of the option bytes) starts the bootloader instead.
struct OptionBoot {
    bool on = false;
    std::uint32_t offset = 0;    // the option byte holding both bits
    std::uint8_t nBootSel = 0;   // their masks
    std::uint8_t nBoot0 = 0;
};

struct ChipPreset {
    std::string name;
    std::uint16_t productId = 0;
    std::uint32_t flashStart = 0x08000000;
    std::uint32_t flashSize = 0;
    std::uint8_t bootloaderVersion = 0;
    std::vector<std::uint8_t> commands;  // as Get lists them; 0x43 or 0x44 decides the erase command
    WriteBehaviour write = WriteBehaviour::NackDirty;
    std::vector<EraseUnit> pages;        // covering flashSize
    std::uint32_t banks = 1;             // 2: Extended Erase knows bank 1 (0xFFFE) and bank 2 (0xFFFD)
    std::uint32_t pagesPerWrpBit = 1;
    Area systemMemory;
    Area optionBytes;
    Area otp;                            // size 0: none
    Area engineering;                    // read-only factory bytes outside system memory; size 0: none
    Signature signature;                 // inside systemMemory or engineering
    Area ram;
    std::uint32_t bootloaderRam = 0;     // first bytes of RAM the bootloader keeps for itself
    std::vector<std::uint8_t> optionDefaults;  // unprotected, as after Readout Unprotect
    OptionLayout options;
    OptionBoot optionBoot;               // off: BOOT0 alone chooses
    std::uint8_t versionOption1 = 0;     // the two bytes Get Version sends after the version
    std::uint8_t versionOption2 = 0;
    std::int32_t minBaud = 1200;         // what the auto-baud detection locks onto
    std::int32_t maxBaud = 115200;
    ChipTiming timing;
};

// Medium density F103: ID 0x410, 128 KiB in 1 KiB pages, bootloader 2.2, Erase 0x43.
ChipPreset F103Preset();
// F407: ID 0x413, 1 MiB in 12 sectors, bootloader 3.1, Extended Erase 0x44,
// mass erase 8 s (x32, typical).
ChipPreset F407Preset();
// F429 with 2 MiB in two banks: ID 0x419, bootloader 9.1, bank erase.
ChipPreset F429Preset();
// F303xC: ID 0x422, 256 KiB in 2 KiB pages, bootloader 4.1, Extended Erase
// with page numbers, F1 writes.
ChipPreset F303Preset();
// G031: ID 0x466, 64 KiB in 2 KiB pages, double words with ECC.
ChipPreset G031Preset();
// C031: ID 0x453, 32 KiB in 2 KiB pages, otherwise as the G031.
ChipPreset C031Preset();
// L476: ID 0x415, 1 MiB in two banks of 2 KiB pages, double words with ECC.
ChipPreset L476Preset();
// H743: ID 0x450, 2 MiB in two banks of 128 KiB sectors, 256-bit flash words.
ChipPreset H743Preset();
// "f103", "f407", "f429", "f303", "g031", "c031", "l476", "h743" in any letter case.
std::optional<ChipPreset> PresetByName(const std::string& name);
// Another flash size: erase units are dropped from the end or the last one
// is repeated, the write protection groups follow.
void SetFlashSize(ChipPreset& preset, std::uint32_t size);

// Whether a receiver at speed b frames bytes sent at speed a.
bool NearBaud(std::int32_t a, std::int32_t b);
// Nanoseconds a byte takes on the wire: start, data, parity and stop bits.
std::uint64_t ByteNs(const platform::LineSettings& framing);

// Faults for tests. Each stays until cleared.
struct Faults {
    std::set<std::uint8_t> refuse;             // NACK these command codes, complement or not
    std::optional<std::uint32_t> nackWriteAt;  // a Write Memory block covering it: NACK after the checksum, nothing stored
    std::optional<std::uint32_t> silentAfter;  // bytes the chip may still send; counts down, then nothing goes out
    std::vector<std::uint8_t> strayBeforeAck;  // sent ahead of an ACK ...
    std::int32_t strayCount = -1;              // ... of this many ACKs, counting down; -1 every one
    bool hangUp = false;                       // line gone: the transport fails every call, nothing waits
};

class Chip {
public:
    enum class State {
        Reset,        // NRST held low
        Starting,     // bootloader starting up; bytes are lost
        WaitSync,     // bootloader waits for 0x7F
        WaitCommand,  // synchronised, waits for a command code
        Command,      // in the middle of a command
        UserProgram,  // BOOT0 was low, or after Go: the line is ignored
    };

    explicit Chip(ChipPreset preset);

    const ChipPreset& preset() const { return preset_; }
    ChipTiming& timing() { return preset_.timing; }
    std::vector<std::uint8_t>& Flash() { return flash_; }  // flashSize bytes, 0xFF erased
    std::vector<std::uint8_t>& Ram() { return ram_; }
    bool ReadoutProtected() const;
    void SetReadoutProtected(bool on);
    // Bit n set: write protection group n is protected.
    std::uint32_t WriteProtection() const;
    void SetWriteProtection(std::uint32_t groups);
    Faults& faults() { return faults_; }
    const std::vector<std::string>& Log() const { return log_; }  // one line per command or event
    void ClearLog() { log_.clear(); }

    State state() const { return state_; }
    std::int32_t Baud() const { return baud_; }  // locked by the last sync; 0 before
    std::uint32_t Resets() const { return resets_; }

    // Every log line as it is written (the pty program prints them).
    void SetLogSink(std::function<void(const std::string&)> sink) { logSink_ = std::move(sink); }
    // Flash offset and length after every write and erase.
    void SetFlashChanged(std::function<void(std::uint32_t, std::uint32_t)> f) { flashChanged_ = std::move(f); }
    // The option bytes as the chip holds them, and a call after every command
    // that changed them (each ends with a reset).
    std::vector<std::uint8_t>& OptionBytes() { return options_; }
    void SetOptionsChanged(std::function<void()> f) { optionsChanged_ = std::move(f); }
    // Off: bytes leave at once (pty mode default).
    void SetWireTime(bool on) { wireTime_ = on; }
    // Off: programming and erasing take no time.
    void SetFlashTime(bool on) { flashTime_ = on; }
    // Pty mode, where the reset can't be seen: 0x7F while waiting for a
    // command, or after more than 1 s of silence in any other state, is reset
    // plus synchronisation.
    void SetImplicitReset(bool on) { implicitReset_ = on; }

    // The model. Calls come in time order; times are microseconds.
    void PowerOn(bool resetHeld, bool boot0High, std::uint64_t us);
    void SetReset(bool held, std::uint64_t us);
    void SetBoot0(bool high, std::uint64_t us);
    // A byte whose stop bit ends at us, framed as the host's line is set.
    void Receive(std::uint8_t byte, std::uint64_t us, const platform::LineSettings& framing);
    // Bytes still on their way in after us are discarded (host purge).
    void CancelInputAfter(std::uint64_t us);
    // Handles every byte that arrived by us.
    void AdvanceTo(std::uint64_t us);
    // The next byte whose last bit has left the chip by us.
    bool TakeSent(std::uint64_t us, std::uint8_t& byte);
    // The same with the speed the byte was sent at.
    bool TakeSent(std::uint64_t us, std::uint8_t& byte, std::int32_t& baud);
    // When the next byte sent will have left the chip, if one is pending.
    std::optional<std::uint64_t> NextSentUs() const;
    // When the next byte received will be handled, if one is pending.
    std::optional<std::uint64_t> NextInputUs() const;

private:
    enum class Phase {
        Code, Complement, ReadAddress, ReadLength, GoAddress, WriteAddress, WriteLength, WriteData,
        EraseCount, EraseGlobalCheck, ErasePages, ExtCount, ExtSpecialCheck, ExtPages, WpCount, WpCodes,
    };
    struct In {
        std::uint8_t byte;
        std::uint64_t us;
        platform::LineSettings framing;
    };
    struct Out {
        std::uint8_t byte;
        std::uint64_t startUs;
        std::uint64_t endUs;
        std::int32_t baud;
    };

    void Handle(const In& in, std::uint64_t t);
    void Step(std::uint8_t b, std::uint64_t t);
    void Dispatch(std::uint64_t t);
    void Finish();
    void Refuse(const std::string& why, std::uint64_t r);
    // The second ACK at `at`; then the option bytes take effect by a reset.
    void AckAndReset(const std::string& text, std::uint64_t at);
    void Expect(Phase phase, std::size_t count);
    bool Understands(const platform::LineSettings& f) const;
    // NRST low, without counting a reset.
    void Halt(std::uint64_t t);
    // The option byte load's view of the flash, and where a start goes.
    void LoadOptions();
    bool StartsBootloader() const;
    void ResetAt(std::uint64_t t);
    void Boot(std::uint64_t t);
    std::uint64_t Emit(std::uint8_t b, std::uint64_t t);
    std::uint64_t Ack(std::uint64_t t);
    std::uint64_t Nack(std::uint64_t t);
    void Note(const std::string& line);
    std::uint64_t FlashUs(std::uint64_t us) const { return flashTime_ ? us : 0; }

    // Memories.
    std::vector<std::uint8_t>* Memory(std::uint32_t address, std::uint32_t length, std::uint32_t& offset,
                                      const Area*& area);
    bool Readable(std::uint32_t address, std::uint32_t length);
    std::size_t Groups() const;
    std::size_t GroupOf(std::size_t page) const;
    std::uint32_t PageOffset(std::size_t page) const;
    bool PageProtected(std::size_t page) const;
    // Into what Memory found (area nullptr: flash), which is not system memory.
    bool Program(std::vector<std::uint8_t>& mem, const Area* area, std::uint32_t off,
                 const std::vector<std::uint8_t>& data, std::uint64_t& us, std::string& why);
    bool ErasePageList(const std::vector<std::uint32_t>& pages, std::uint64_t& us, std::string& why);
    bool MassErase(std::uint64_t& us, std::string& why);
    void RestoreOptions();  // as delivered
    void FixComplements();
    void Changed(std::uint32_t offset, std::uint32_t length);

    ChipPreset preset_;
    std::vector<std::uint8_t> flash_, ram_, options_, system_, otp_, engineering_;
    Faults faults_;
    std::vector<std::string> log_;
    std::function<void(const std::string&)> logSink_;
    std::function<void(std::uint32_t, std::uint32_t)> flashChanged_;
    std::function<void()> optionsChanged_;
    bool wireTime_ = true;
    bool flashTime_ = true;
    bool implicitReset_ = false;

    // Pins and state.
    bool resetHeld_ = false;
    bool boot0High_ = true;
    bool emptyAtLoad_ = false;
    State state_ = State::WaitSync;
    std::uint64_t readyAt_ = 0;
    std::int32_t baud_ = 0;
    std::uint32_t resets_ = 0;

    // Receiver: one data register; a byte that completes while it is full is lost.
    std::deque<In> input_;
    std::uint64_t rdrFreeAt_ = 0;
    std::uint64_t busyUntil_ = 0;
    std::uint64_t lastRxUs_ = 0;
    bool anyRx_ = false;

    // Transmitter.
    std::deque<Out> output_;
    std::uint64_t txFreeNs_ = 0;

    // Command being received.
    Phase phase_ = Phase::Code;
    std::size_t need_ = 1;
    std::vector<std::uint8_t> buf_;
    std::uint8_t cmd_ = 0;
    std::uint32_t address_ = 0;
    std::uint32_t count_ = 0;
};

}  // namespace sim
