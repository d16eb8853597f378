// The port scan on the real serial service: ports 2 and 5 are bound to
// pseudo-terminals through the ports folder; every other number to nothing.
#include <gtest/gtest.h>

#include <QApplication>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "platform/ports.h"
#include "support/recorders.h"
#include "ui/velkor_unit.h"
#include "ui_app.h"

namespace {

class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
        slave_ = ptsname(master_);
    }
    ~Pty() { close(master_); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& slave() const { return slave_; }

private:
    int master_;
    std::string slave_;
};

TEST(PortScanTest, FindsThePortsBoundToPseudoTerminals) {
    uitest::App();
    testsupport::TempDir dir;
    const std::filesystem::path ports = dir.File("ports");
    std::filesystem::create_directory(ports);
    Pty two, five;
    for (int n = 1; n <= 99; ++n) {
        const std::string target = n == 2 ? two.slave() : n == 5 ? five.slave() : dir.File("nothing");
        std::filesystem::create_symlink(target, ports / ("COM" + std::to_string(n)));
    }
    platform::SetPortsDir(ports.string());

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
