// Bootloader commands on the wire. Each command goes out as its code and
// the complement; only 0x79 counts as acknowledge. Nothing is retried.
#include <string>

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "platform/clock.h"
#include "platform/hex_text.h"
#include "serial/comport.h"
#include "settings/inifile.h"

using platform::Hex2;
using platform::Hex8;
using platform::TickCount;
using platform::Within;

std::string DiagText;

namespace {

// A byte and its complement, in one write: the line sees the same two bytes
// as from two, a USB adapter one transfer instead of two.
void SendWithComplement(TComPort& port, std::uint8_t code) {
    port.WriteString({static_cast<char>(code), static_cast<char>(code ^ 0xFF)});
}

// The two-wait pattern of the erase and unprotect commands. A diagName
// makes each wait leave its step and answer in DiagText.
bool TwoStep(TComPort& port, std::uint8_t code, std::uint32_t firstMs, const std::string& params,
             std::uint32_t secondMs, const char* diagName) {
    SendWithComplement(port, code);
    const std::uint8_t r1 = WaitAck(port, firstMs);
    if (diagName) DiagText = std::string("no cmd ") + diagName + " " + Hex2(r1);
    if (r1 != proto::kAck) return false;
    if (!params.empty()) port.WriteString(params);
    const std::uint8_t r2 = WaitAck(port, secondMs);
    if (diagName) DiagText = std::string("no proc ") + diagName + " " + Hex2(r2);
    return r2 == proto::kAck;
}

// The command, then the address frame: the first half of Write Memory and Go.
// A refusal leaves the answer byte in front of its text.
bool CommandAtAddress(TComPort& port, std::uint8_t code, std::uint32_t ackMs, const char* refused,
                      std::uint32_t address, std::string& message) {
    SendWithComplement(port, code);
    std::uint8_t r = WaitAck(port, ackMs);
    if (r != proto::kAck) {
        message = Hex2(r) + refused;
        return false;
    }
    r = SendAddress(port, address);
    if (r != proto::kAck) {
        message = Hex2(r) + " Adresse (" + Hex8(address) + ") nicht angenommen";
        return false;
    }
    return true;
}

constexpr std::size_t kMaxReply = 255;

}  // namespace

void Drain(TComPort& port) {
    while (port.InCount() > 0) port.ReadByte();
}

std::uint8_t WaitAck(TComPort& port, std::uint32_t limitMs) {
    limitMs = port.AnswerLimit(limitMs);
    const std::uint32_t start = TickCount();
    std::uint8_t last = 0;
    do {
        if (port.HasInput()) last = port.ReadChar();
        if (last == proto::kAck) return last;
        AwaitInput(port, start, limitMs);
    } while (Within(start, limitMs));
    return last;
}

std::uint8_t SendAddress(TComPort& port, std::uint32_t address) {
    // The frame in one write, as the data block.
    std::string frame;
    std::uint8_t x = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto b = static_cast<std::uint8_t>(address >> shift);
        frame.push_back(static_cast<char>(b));
        x ^= b;
    }
    frame.push_back(static_cast<char>(x));
    port.WriteString(frame);
    return WaitAck(port, proto::kAddressAckMs);
}

std::string CollectReply(TComPort& port, std::uint8_t command) {
    Drain(port);
    SendWithComplement(port, command);
    const std::uint32_t limit = port.AnswerLimit(proto::kGetReplyMs);
    const std::uint32_t start = TickCount();
    std::string reply;
    std::size_t expected = 100;
    for (;;) {
        if (port.HasInput()) {
            const char b = static_cast<char>(port.ReadChar());
            if (reply.size() < kMaxReply) reply.push_back(b);
        }
        // A refusal is a single byte; nothing more follows.
        if (reply.size() == 1 && static_cast<std::uint8_t>(reply[0]) != proto::kAck) return reply;
        // ACK, count N, N + 1 data bytes, ACK.
        if (reply.size() == 2) expected = static_cast<std::uint8_t>(reply[1]) + 4u;
        if (reply.size() >= expected || !Within(start, limit)) return reply;
        AwaitInput(port, start, limit);
    }
}

std::string GetCommands(TComPort& port) { return CollectReply(port, proto::kGetCommands); }
std::string GetVersion(TComPort& port) { return CollectReply(port, proto::kGetVersion); }
std::string GetChipId(TComPort& port) { return CollectReply(port, proto::kGetId); }

bool ReadMem(TComPort& port, std::uint32_t address, std::int32_t count, std::string& message) {
    message = "len zu gross";
    if (count > proto::kMaxBlock) return false;
    message = "len zu klein";
    if (count < 1) return false;
    message = "adr < anfang";
    if (address < ReadBase) return false;
    // ReadImage ends 2 MiB after ReadBase; nothing may land past it.
    message = "adr > ende";
    if (static_cast<std::uint64_t>(address - ReadBase) + static_cast<std::uint64_t>(count) > kImageSize) return false;

    message = "NAK on Cmd";
    SendWithComplement(port, proto::kReadMemory);
    if (WaitAck(port, proto::kReadCmdAckMs) != proto::kAck) return false;

    const std::uint8_t r = SendAddress(port, address);
    if (r != proto::kAck) {
        message = "(" + Hex2(r) + ") " + "NAK on Adr " + Hex8(address);
        return false;
    }

    message = "NAK on len";
    const auto n = static_cast<std::uint8_t>(count - 1);
    SendWithComplement(port, n);
    if (WaitAck(port, proto::kReadLenAckMs) != proto::kAck) return false;

    // One limit for the whole block; bytes that came before a time-out stay stored.
    std::uint8_t* dest = ReadImage + (address - ReadBase);
    const std::uint32_t limit = port.AnswerLimit(proto::kReadDataMs);
    const std::uint32_t start = TickCount();
    std::int32_t i = 0;
    for (;;) {
        if (port.HasInput()) {
            dest[i] = port.ReadChar();
            if (++i == count) return true;
        }
        if (!Within(start, limit)) {
            message = "timeout gelesen: " + std::to_string(n);
            return false;
        }
        AwaitInput(port, start, limit);
    }
}

namespace {

// count bytes to address; where names the end of the block in a refusal.
bool WriteBlock(TComPort& port, std::uint32_t address, const std::uint8_t* data, std::int32_t count,
                std::uint32_t where, std::string& message) {
    if (!CommandAtAddress(port, proto::kWriteMemory, proto::kWriteCmdAckMs, " Schreibkommando nicht angenommen",
                          address, message))
        return false;

    // Length, data and checksum in one write: a byte per call costs a USB
    // adapter a transfer each, and the line the same bytes.
    const auto n = static_cast<std::uint8_t>(count - 1);
    std::string frame(1, static_cast<char>(n));
    std::uint8_t checksum = n;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t b = data[i];
        frame.push_back(static_cast<char>(b));
        checksum ^= b;
    }
    frame.push_back(static_cast<char>(checksum));
    port.WriteString(frame);

    // Not WaitAck: zero bytes are passed over, any other byte ends the wait.
    const std::uint32_t limit = port.AnswerLimit(proto::kWriteDoneMs);
    const std::uint32_t start = TickCount();
    std::uint8_t r = 0;
    do {
        if (port.HasInput()) r = port.ReadChar();
        if (r == 0) AwaitInput(port, start, limit);
    } while (r == 0 && Within(start, limit));
    if (r != proto::kAck) {
        message = Hex2(r) + " NAK bei $" + Hex8(where);
        return false;
    }
    message.clear();
    return true;
}

}  // namespace

bool WriteMem(TComPort& port, std::uint32_t offset, std::int32_t count, std::string& message) {
    message = "odd len";
    if (count % 4 != 0 || count > proto::kMaxBlock) return false;
    message = "len zu klein";
    if (count <= 0) return false;
    // FlashImage ends at 2 MiB; never send what lies past it.
    message = "adr > ende";
    if (static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(count) > kImageSize) return false;
    return WriteBlock(port, Ini.FlashStart + offset, FlashImage + offset, count,
                      offset + static_cast<std::uint32_t>(count), message);
}

bool WriteBytes(TComPort& port, std::uint32_t address, const std::vector<std::uint8_t>& data, std::string& message) {
    message = "odd len";
    if (data.empty() || data.size() % 4 != 0 || data.size() > static_cast<std::size_t>(proto::kMaxBlock)) return false;
    const auto count = static_cast<std::int32_t>(data.size());
    return WriteBlock(port, address, data.data(), count, address + static_cast<std::uint32_t>(count), message);
}

bool EraseMem(TComPort& port) {
    return TwoStep(port, proto::kErase, proto::kEraseCmdAckMs, std::string("\xFF\x00", 2), proto::kEraseDoneMs,
                   "era");
}

bool EraseMemExt(TComPort& port) {
    Drain(port);
    // Mass erase: code 0xFFFF, checksum 0x00.
    return TwoStep(port, proto::kExtendedErase, proto::kExtEraseCmdAckMs, std::string("\xFF\xFF\x00", 3),
                   proto::kExtEraseDoneMs, "eex");
}

bool WriteUnprotect(TComPort& port) {
    return TwoStep(port, proto::kWriteUnprotect, proto::kWriteUnprotectCmdAckMs, std::string(),
                   proto::kWriteUnprotectDoneMs, "wunprot");
}

bool ReadoutUnprotect(TComPort& port) {
    Drain(port);
    return TwoStep(port, proto::kReadoutUnprotect, proto::kReadoutUnprotectCmdAckMs, std::string(),
                   proto::kReadoutUnprotectDoneMs, nullptr);
}

namespace {

// N as the erase command wants it, then the numbers: one byte each for
// Erase, two for Extended Erase; then the XOR of all of it.
std::string PageListParams(const std::vector<std::uint16_t>& pages, bool wide) {
    std::string out;
    const auto n = static_cast<std::uint16_t>(pages.size() - 1);
    if (wide) out += static_cast<char>(n >> 8);
    out += static_cast<char>(n);
    for (std::uint16_t p : pages) {
        if (wide) out += static_cast<char>(p >> 8);
        out += static_cast<char>(p);
    }
    char x = 0;
    for (char c : out) x = static_cast<char>(x ^ c);
    return out + x;
}

}  // namespace

bool ErasePageList(TComPort& port, const std::vector<std::uint16_t>& pages, std::uint32_t doneMs) {
    if (pages.empty() || pages.size() > proto::kMaxEraseList) return false;
    for (std::uint16_t p : pages)
        if (p > 0xFF) return false;
    return TwoStep(port, proto::kErase, proto::kEraseCmdAckMs, PageListParams(pages, false), doneMs, "era");
}

bool ErasePageListExt(TComPort& port, const std::vector<std::uint16_t>& pages, std::uint32_t doneMs) {
    if (pages.empty() || pages.size() > proto::kMaxEraseList) return false;
    Drain(port);
    return TwoStep(port, proto::kExtendedErase, proto::kExtEraseCmdAckMs, PageListParams(pages, true), doneMs,
                   "eex");
}

bool Go(TComPort& port, std::uint32_t address, std::string& message) {
    if (!CommandAtAddress(port, proto::kGo, proto::kGoCmdAckMs, " Go nicht angenommen", address, message))
        return false;
    message.clear();
    return true;
}

bool ReadoutProtect(TComPort& port) {
    return TwoStep(port, proto::kReadoutProtect, proto::kReadoutProtectCmdAckMs, std::string(),
                   proto::kReadoutProtectDoneMs, "rprot");
}
