// The port scan on the real serial service: ports 2 and 5 are bound to
// pseudo-terminals through the ports folder, every other number to a device
// that doesn't exist. Listing a port opens nothing: an open raises DTR and
// RTS and resets whatever hangs on the port.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <filesystem>
#include <memory>
#include <vector>

#include "support/pty_pair.h"
#include "support/recorders.h"
#include "ui/velkor_unit.h"
#include "ui_app.h"

namespace {

class PortScanTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::App(); }
    void SetUp() override {
        std::filesystem::create_directory(ports);
        for (int n = 1; n <= 99; ++n) {
            const std::string target = n == 2 ? two.slave() : n == 5 ? five.slave() : dir.File("nothing");
            std::filesystem::create_symlink(target, ports / ("COM" + std::to_string(n)));
        }
        form = std::make_unique<TMainForm>(
            TMainForm::Options{dir.path() + "/", {}, [this](const std::string& e) { errors.push_back(e); }});
    }
    std::string Link(int n) const { return (ports / ("COM" + std::to_string(n))).string(); }
    QString ToolTip(int item) const { return form->PortComboBox->itemData(item, Qt::ToolTipRole).toString(); }

    testsupport::TempDir dir;
    const std::filesystem::path ports = dir.File("ports");
    testsupport::PtyPair two, five;
    testsupport::PortsDirScope portsDir{ports.string()};
    uitest::OpenLog log;
    std::vector<std::string> errors;
    std::unique_ptr<TMainForm> form;
};

TEST_F(PortScanTest, ListsThePortsThatExistAndOpensOnlyTheOneInTheBox) {
    form->PortComboBox->SetText("");
    form->FormActivate(form.get());

    ASSERT_EQ(form->PortComboBox->count(), 2);
    EXPECT_EQ(form->PortComboBox->itemText(0), "COM 2");
    EXPECT_EQ(form->PortComboBox->itemText(1), "COM 5");
    EXPECT_EQ(ToolTip(0).toStdString(), Link(2));
    EXPECT_EQ(ToolTip(1).toStdString(), Link(5));
    EXPECT_EQ(form->PortComboBox->Text(), "COM 5");
    EXPECT_EQ(form->StaBar->Text(), "COM 5 (28800 Bd) offen");
    EXPECT_TRUE(form->ComPort.Opened());
    EXPECT_EQ(log.opened, std::vector<std::string>{Link(5)});
    EXPECT_TRUE(errors.empty());
}

// The reason as the platform gives it, on a line of its own after the device.
std::string WithReason(const std::string& device, int n) {
    const std::string why = platform::OpenFailureReason(n);
    return why.empty() ? device : device + "\n" + why;
}

TEST_F(PortScanTest, PortThatCannotBeOpenedSaysWhyInItsToolTip) {
    form->PortComboBox->SetText("COM 7");  // its link points nowhere
    form->FormActivate(form.get());
    EXPECT_EQ(form->StaBar->Text(), "COM 7 (28800 Bd) kein Zugriff");
    EXPECT_EQ(form->PortComboBox->toolTip().toStdString(), WithReason(Link(7), 7));

    // Another program holds COM 5: listed all the same, and its item says why it failed.
    const platform::DeviceHandle held = platform::SerialDevices().Open(Link(5));
    ASSERT_NE(held, platform::kClosedHandle);
    form->PortComboBox->SetText("COM 5");
    form->ComAktuButton->click();
    ASSERT_EQ(form->PortComboBox->count(), 2);
    EXPECT_EQ(form->StaBar->Text(), "COM 5 (28800 Bd) kein Zugriff");
    EXPECT_EQ(ToolTip(1).toStdString(), WithReason(Link(5), 5));
    EXPECT_EQ(ToolTip(0).toStdString(), Link(2));

    // Once it opens, the reason goes.
    platform::SerialDevices().Close(held);
    form->ComAktuButton->click();
    EXPECT_EQ(form->StaBar->Text(), "COM 5 (28800 Bd) offen");
    EXPECT_EQ(ToolTip(1).toStdString(), Link(5));
    EXPECT_EQ(form->PortComboBox->toolTip().toStdString(), Link(5));
}

}  // namespace
