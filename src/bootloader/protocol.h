// The USART bootloader protocol (AN3155): command codes, answers and every
// wait, in milliseconds. Waits don't depend on the line speed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace proto {

// The line: 8 data bits, even parity, 1 stop bit; the port's code for even.
inline constexpr std::int32_t kEvenParity = 2;

inline constexpr std::uint8_t kSync = 0x7F;
inline constexpr std::uint8_t kAck = 0x79;   // the only byte that counts as acknowledge
inline constexpr std::uint8_t kNack = 0x1F;  // never tested for

inline constexpr std::uint8_t kGetCommands = 0x00;
inline constexpr std::uint8_t kGetVersion = 0x01;
inline constexpr std::uint8_t kGetId = 0x02;
inline constexpr std::uint8_t kReadMemory = 0x11;
inline constexpr std::uint8_t kGo = 0x21;
inline constexpr std::uint8_t kWriteMemory = 0x31;
inline constexpr std::uint8_t kErase = 0x43;
inline constexpr std::uint8_t kExtendedErase = 0x44;
inline constexpr std::uint8_t kWriteProtect = 0x63;
inline constexpr std::uint8_t kWriteUnprotect = 0x73;
inline constexpr std::uint8_t kReadoutProtect = 0x82;
inline constexpr std::uint8_t kReadoutUnprotect = 0x92;

// Bootloader entry.
inline constexpr std::uint32_t kResetPulseMs = 20;
inline constexpr std::uint32_t kBootDelayMs = 1500;   // after releasing reset, before the sync byte
inline constexpr std::uint32_t kSyncAckMs = 300;

// Commands.
inline constexpr std::uint32_t kAddressAckMs = 200;
inline constexpr std::uint32_t kGetReplyMs = 300;     // whole reply of a Get command
inline constexpr std::uint32_t kReadCmdAckMs = 100;
inline constexpr std::uint32_t kReadLenAckMs = 100;
inline constexpr std::uint32_t kReadDataMs = 2000;    // all data bytes of one block
inline constexpr std::uint32_t kWriteCmdAckMs = 1000;
inline constexpr std::uint32_t kWriteDoneMs = 2000;   // answer after the checksum
inline constexpr std::uint32_t kEraseCmdAckMs = 1000;
inline constexpr std::uint32_t kEraseDoneMs = 5000;
inline constexpr std::uint32_t kExtEraseCmdAckMs = 3000;
// A mass erase of an F2/F4/F7 takes 8 to 32 s (data sheets, x32 parallelism);
// a shorter limit reports a chip that erased as failed.
inline constexpr std::uint32_t kMassEraseDoneMs = 40000;
inline constexpr std::uint32_t kExtEraseDoneMs = kMassEraseDoneMs;
inline constexpr std::uint32_t kWriteUnprotectCmdAckMs = 5000;
inline constexpr std::uint32_t kWriteUnprotectDoneMs = 1000;
inline constexpr std::uint32_t kReadoutUnprotectCmdAckMs = 1000;
// Removing readout protection mass-erases the flash first.
inline constexpr std::uint32_t kReadoutUnprotectDoneMs = kMassEraseDoneMs;

inline constexpr std::int32_t kMaxBlock = 256;  // bytes per read or write

// Commands only the command line sends.
inline constexpr std::uint32_t kGoCmdAckMs = 1000;
inline constexpr std::uint32_t kReadoutProtectCmdAckMs = 1000;
inline constexpr std::uint32_t kReadoutProtectDoneMs = 1000;  // option bytes written; the chip resets after
inline constexpr std::size_t kMaxEraseList = 255;  // pages per erase command: N + 1, N from 0 to 254
// A page list is erased before the answer comes. Data sheets give at most
// 40 ms per 1 or 2 KiB page (F0, F1, F3), and 4 s per 128 KiB sector
// (F2, F4 at x8): some 30 ms per KiB.
inline constexpr std::uint32_t kPageEraseBaseMs = 1000;
inline constexpr std::uint32_t kPageEraseMsPerKiB = 50;

}  // namespace proto
