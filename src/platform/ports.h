// Which device a COM port number stands for.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Windows naming: "COM3"; from 10 on the device namespace, "\\.\COM12".
std::string WindowsDeviceName(std::int32_t port);

// Linux naming: a link ports/COM<n> in the ports folder wins (a user binds a
// number to /dev/serial/by-id/..., a test to a pseudo-terminal); otherwise
// COM1-32 -> /dev/ttyS0-31, COM33-64 -> /dev/ttyUSB0-31,
// COM65-96 -> /dev/ttyACM0-31, COM97-99 -> /dev/ttyAMA0-2; other numbers
// give an empty name (no device).
std::string PosixDevicePath(std::int32_t port);

// The name this OS's serial service opens for a port number.
std::string DeviceName(std::int32_t port);

// Folder holding the COM<n> links; by default "ports" beside the executable.
void SetPortsDir(const std::string& dir);
const std::string& PortsDir();

// A binding made by the program itself (velkor-cli --device); beats the
// ports folder. An empty path removes it.
void BindPort(std::int32_t port, const std::string& devicePath);

// Whether a port belongs in the port list, decided without opening its
// device (an open raises DTR and RTS and resets whatever hangs on it).
// Linux: a ports/COM<n> link counts when its target exists and may be read
// and written; a device of the fixed table when it is a serial driver's
// character device with hardware behind it and may be read and written.
// Windows: a port the registry's SERIALCOMM list or the device namespace
// (QueryDosDevice) holds.
bool PortListable(std::int32_t port);
// Whether the port list is found by opening each port rather than by
// PortListable; no system needs that now.
bool ListPortsByOpening();
// The tty class folder of sysfs, "/sys/class/tty" unless a test moves it.
void SetSysfsTtyDir(const std::string& dir);

// Why port n could not be opened, in words for the user (the device is
// missing, access is denied, another program holds it, ...). Empty when
// nothing is known.
std::string OpenFailureReason(std::int32_t port);

// Directory of the running executable, with its trailing separator.
std::string ExecutableDir();

}  // namespace platform
