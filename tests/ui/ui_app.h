// The one QApplication of a GUI test binary, on the platform the test runner
// chose (offscreen), with the style the program uses.
#pragma once

#include <QComboBox>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/forwarding_device.h"

class QApplication;

namespace uitest {

QApplication& App();

// A pick by hand: opens the drop-down list and clicks item index.
void PickItem(QComboBox& combo, int index);

// Types text into an editable combo box or line edit, key by key.
void Type(QWidget& widget, const QString& text);

// Records the name of every device opened, in place of the service in force.
class OpenLog : public testsupport::ForwardingDevice {
public:
    OpenLog() : ForwardingDevice(platform::SerialDevices()) {}
    platform::DeviceHandle Open(const std::string& name) override {
        opened.push_back(name);
        return ForwardingDevice::Open(name);
    }
    std::vector<std::string> opened;
};

// A ports folder root/ports with links for COM1 to COM99: those of the ports
// present lead to a pseudo-terminal, the others nowhere. The scan lists the
// first kind only, so no device of this machine takes part; the serial
// service of the test (the simulated chip) answers by the link's name.
// Points the ports folder there.
void MakePorts(const std::string& root, std::initializer_list<int> present);
// Port n's device appears or goes, as when an adapter is plugged in or out.
void SetPortPresent(const std::string& root, int n, bool present);

}  // namespace uitest
