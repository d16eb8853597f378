// The port scan on the real serial service: ports 2 and 5 are bound to
// pseudo-terminals through the ports folder; every other number to nothing.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>

#include "support/pty_pair.h"
#include "support/recorders.h"
#include "ui/velkor_unit.h"
#include "ui_app.h"

namespace {

TEST(PortScanTest, FindsThePortsBoundToPseudoTerminals) {
    uitest::App();
    testsupport::TempDir dir;
    const std::filesystem::path ports = dir.File("ports");
    std::filesystem::create_directory(ports);
    testsupport::PtyPair two, five;
    for (int n = 1; n <= 99; ++n) {
        const std::string target = n == 2 ? two.slave() : n == 5 ? five.slave() : dir.File("nothing");
        std::filesystem::create_symlink(target, ports / ("COM" + std::to_string(n)));
    }
    testsupport::PortsDirScope portsDir(ports.string());

    std::vector<std::string> errors;
    TMainForm form({dir.path() + "/", {}, [&](const std::string& e) { errors.push_back(e); }});
    form.PortComboBox->SetText("");
    form.FormActivate(&form);

    ASSERT_EQ(form.PortComboBox->count(), 2);
    EXPECT_EQ(form.PortComboBox->itemText(0), "COM 2");
    EXPECT_EQ(form.PortComboBox->itemText(1), "COM 5");
    EXPECT_EQ(form.PortComboBox->itemData(1, Qt::ToolTipRole).toString().toStdString(), (ports / "COM5").string());
    EXPECT_EQ(form.PortComboBox->Text(), "COM 5");
    EXPECT_EQ(form.StaBar->Text(), "COM 5 (28800 Bd) offen");
    EXPECT_TRUE(form.ComPort.Opened());
    EXPECT_TRUE(errors.empty());
}

}  // namespace
