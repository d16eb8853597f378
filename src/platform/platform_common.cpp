// The seams: which serial service, tick source and beep are in force.
#include "platform/beep.h"
#include "platform/console.h"
#include "platform/clock.h"
#include "platform/net_serial.h"
#include "platform/serial_device.h"
#include "platform/wait_hook.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX  // mingw's C++ headers define it already
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

void OsMessageBeep(unsigned type);

namespace {
SerialDeviceService* g_serial = nullptr;
TickSource* g_ticks = nullptr;
BeepSink* g_beep = nullptr;
WaitHook* g_waitHook = nullptr;
}  // namespace

SerialDeviceService& SerialDevices() { return g_serial ? *g_serial : RoutedSerialDevices(); }
void SetSerialDevices(SerialDeviceService* service) { g_serial = service; }

std::uint32_t TickCount() { return g_ticks ? g_ticks->NowMs() : OsTickCount(); }
void SetTickSource(TickSource* source) { g_ticks = source; }
void SleepMs(std::uint32_t ms) {
    if (g_ticks)
        g_ticks->SleepMs(ms);
    else
        OsSleepMs(ms);
}

void MessageBeep(unsigned type) {
    if (g_beep)
        g_beep->Beep(type);
    else
        OsMessageBeep(type);
}
void SetBeepSink(BeepSink* sink) { g_beep = sink; }

void SetWaitHook(WaitHook* hook) { g_waitHook = hook; }
void WhileWaiting() {
    if (g_waitHook) g_waitHook->WhileWaiting();
}

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void UseUtf8Console() {
#if defined(_WIN32)
    SetConsoleOutputCP(CP_UTF8);
#endif
}

void BinaryOutput([[maybe_unused]] std::FILE* stream) {
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#endif
}

std::tm UtcCalendar(std::time_t t) {
    std::tm tm{};
#if defined(_WIN32)
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    return tm;
}

}  // namespace platform
