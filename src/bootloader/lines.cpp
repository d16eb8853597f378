// Control lines and bootloader entry.
#include <algorithm>

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "platform/clock.h"
#include "platform/wait_hook.h"
#include "serial/comport.h"
#include "settings/inifile.h"

namespace {

// When the wait hook last ran. One for all waits: a job is a chain of short
// ones, and the window must live through all of it.
std::uint32_t g_hookRan = 0;

// Runs the hook when a slice has passed since it last ran; gives how long a
// wait may block before it is due again.
std::uint32_t BlockAtMost() {
    auto since = static_cast<std::uint32_t>(platform::TickCount() - g_hookRan);
    if (since >= platform::kWaitSliceMs) {
        platform::WhileWaiting();
        g_hookRan = platform::TickCount();
        since = 0;
    }
    return platform::kWaitSliceMs - since;
}

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
    for (;;) {
        // The hook first: the time it takes counts against the delay.
        const std::uint32_t slice = BlockAtMost();
        const std::uint32_t left = platform::Remaining(start, ms);
        if (left == 0) return;
        platform::SleepMs(std::min(left, slice));
    }
}

void AwaitInput(TComPort& port, std::uint32_t start, std::uint32_t limitMs) {
    const std::uint32_t slice = BlockAtMost();
    if (const std::uint32_t left = platform::Remaining(start, limitMs)) port.WaitForInput(std::min(left, slice));
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
    const std::uint32_t limit = port.AnswerLimit(proto::kSyncAckMs);
    const std::uint32_t start = platform::TickCount();
    do {
        // Every byte but the acknowledge, a NACK included, is dropped.
        if (port.HasInput() && port.ReadChar() == proto::kAck) return true;
        AwaitInput(port, start, limit);
    } while (platform::Within(start, limit));
    BootLine(port, false);  // BOOT0 low again: the next reset starts the user program
    return false;
}

void RestartNormal(TComPort& port) {
    BootLine(port, false);  // BOOT0 low
    ResetLine(port, true);  // reset held
    Delay(proto::kResetPulseMs);
    ResetLine(port, false);  // reset released: the chip starts its own program
}
