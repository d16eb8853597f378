// LoLevel: the control lines, entry into the bootloader, and the bootloader's
// commands on the wire. Every operation takes the open port first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TComPort;

// Line choices of ResetMode and BootMode, in the order of the radio groups.
inline constexpr const char* kLineChoiceLabels[5] = {"aus", "DTR hi", "DTR lo", "RTS hi", "RTS lo"};

// Sleeps ms on the tick count in force.
void Delay(std::uint32_t ms);
// Blocks until the port has input or limitMs have passed since start (a
// tick count). Every wait blocks through here and Delay, a slice at a time,
// so the wait hook runs at least every kWaitSliceMs.
void AwaitInput(TComPort& port, std::uint32_t start, std::uint32_t limitMs);

void ResetLine(TComPort& port, bool on);
void BootLine(TComPort& port, bool on);
// Reset with boot mode on, release, 1500 ms, sync 0x7F, ack 0x79 within 300 ms.
bool Connect(TComPort& port);
// The same with another wait between releasing the reset and the sync byte.
bool Connect(TComPort& port, std::uint32_t bootDelayMs);
// Boot mode off and a reset pulse: the chip starts its own program.
void RestartNormal(TComPort& port);

// Diagnosis left by the erase and write-unprotect commands.
extern std::string DiagText;

// Drops whatever input is waiting.
void Drain(TComPort& port);
// 0x79, else the last byte received within limitMs, 0 if none.
std::uint8_t WaitAck(TComPort& port, std::uint32_t limitMs);
std::uint8_t SendAddress(TComPort& port, std::uint32_t address);

// Reply texts hold the raw bytes, first acknowledge included, at most 255.
std::string CollectReply(TComPort& port, std::uint8_t command);
std::string GetCommands(TComPort& port);
std::string GetVersion(TComPort& port);
std::string GetChipId(TComPort& port);

// count bytes from address into ReadImage[address - ReadBase ...].
bool ReadMem(TComPort& port, std::uint32_t address, std::int32_t count, std::string& message);
// count bytes of FlashImage from offset to Ini.FlashStart + offset.
bool WriteMem(TComPort& port, std::uint32_t offset, std::int32_t count, std::string& message);
// The bytes to any address, e.g. the option bytes: 4 to 256, a multiple of 4.
bool WriteBytes(TComPort& port, std::uint32_t address, const std::vector<std::uint8_t>& data, std::string& message);
bool EraseMem(TComPort& port);
bool EraseMemExt(TComPort& port);
bool WriteUnprotect(TComPort& port);
bool ReadoutUnprotect(TComPort& port);

// Erase (0x43) of pages 0 to 255, at most 255 of them: N, the numbers and
// their XOR. Extended Erase (0x44) of pages or sectors: N and each number
// as two bytes, most significant first, then the XOR of all. doneMs is the
// wait for the answer that comes when the last page is erased. DiagText as
// for the whole-chip erase.
bool ErasePageList(TComPort& port, const std::vector<std::uint16_t>& pages, std::uint32_t doneMs);
bool ErasePageListExt(TComPort& port, const std::vector<std::uint16_t>& pages, std::uint32_t doneMs);
// Go (0x21): the chip leaves the bootloader and runs the code at address.
// On false the message says which step was refused.
bool Go(TComPort& port, std::uint32_t address, std::string& message);
// Readout Protect (0x82): the chip resets after the second acknowledge.
bool ReadoutProtect(TComPort& port);
