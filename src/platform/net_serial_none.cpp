// A build without gensio: network ports are named, listed and refused.
#include "platform/net_serial.h"

namespace platform {

SerialDeviceService* NetSerialDevices() { return nullptr; }

std::string NetOpenFailureReason(const std::string& name) {
    return "keine Verbindung zu " + NetworkLabel(name) +
           ": Netzwerk-Ports (RFC 2217) gibt es nur in der Linux-Ausgabe";
}

}  // namespace platform
