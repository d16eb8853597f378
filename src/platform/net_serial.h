// Serial ports on other machines: RFC 2217 (telnet COM-PORT-OPTION) through
// a ser2net or any other server that speaks it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/serial_device.h"

namespace platform {

// "rfc2217://HOST:PORT", or a gensio connection string beginning with
// "telnet(" (the TLS variant: "telnet(rfc2217),ssl(...),tcp,HOST,PORT").
bool IsNetworkDevice(std::string_view name);
// What the library opens for a network device name.
std::string GensioString(std::string_view name);
// "HOST:PORT" for messages; the name itself when it shows neither.
std::string NetworkLabel(std::string_view name);

// Each wait for an answer gets this much more time on a network port, for
// the round trip through the link and the server.
inline constexpr std::uint32_t kDefaultNetMarginMs = 50;
void SetNetWaitMargin(std::uint32_t ms);
std::uint32_t NetWaitMargin();

// The network service; nullptr in a build without one (Windows).
SerialDeviceService* NetSerialDevices();
// Why the last open of a network device failed, for the user:
// "keine Verbindung zu rack1:4001: Verbindung abgelehnt". Empty when it
// didn't fail.
std::string NetOpenFailureReason(const std::string& name);

// Routes network names to the network service, the rest to the OS one.
SerialDeviceService& RoutedSerialDevices();

}  // namespace platform
