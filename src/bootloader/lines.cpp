// Control lines and bootloader entry.
#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "platform/clock.h"
#include "serial/comport.h"
#include "settings/inifile.h"

namespace {

// Line choice: 0 "aus", 1 "DTR hi", 2 "DTR lo", 3 "RTS hi", 4 "RTS lo";
// any other value drives nothing.
void DriveLine(TComPort& port, std::int32_t choice, bool on) {
    switch (choice) {
        case 1: port.SetDTR(on); break;
        case 2: port.SetDTR(!on); break;
        case 3: port.SetRTS(on); break;
        case 4: port.SetRTS(!on); break;
        default: break;
    }
}

}  // namespace

void Delay(std::uint32_t ms) {
    const std::uint32_t start = platform::TickCount();
    while (platform::Within(start, ms)) {
    }
}

void ResetLine(TComPort& port, bool on) { DriveLine(port, Ini.ResetMode, on); }

void BootLine(TComPort& port, bool on) { DriveLine(port, Ini.BootMode, on); }

bool Connect(TComPort& port) { return Connect(port, proto::kBootDelayMs); }

bool Connect(TComPort& port, std::uint32_t bootDelayMs) {
    port.Purge();
    ResetLine(port, true);  // chip held in reset
    BootLine(port, true);   // BOOT0 high: system memory on the next start
    Delay(proto::kResetPulseMs);
    ResetLine(port, false);  // reset released: the bootloader starts
    Delay(bootDelayMs);
    // What came in since the purge was sent before the bootloader ran: the
    // tail of the chip's own program's output, still in the adapter. A 'y'
    // there would pass for the answer and put every later one a step behind.
    Drain(port);
    port.WriteByte(proto::kSync);
    const std::uint32_t start = platform::TickCount();
    do {
        // Every byte but the acknowledge, a NACK included, is dropped.
        if (port.InCount() != 0 && port.ReadChar() == proto::kAck) return true;
    } while (platform::Within(start, proto::kSyncAckMs));
    BootLine(port, false);  // BOOT0 low again: the next reset starts the user program
    return false;
}

void RestartNormal(TComPort& port) {
    BootLine(port, false);  // BOOT0 low
    ResetLine(port, true);  // reset held
    Delay(proto::kResetPulseMs);
    ResetLine(port, false);  // reset released: the chip starts its own program
}
