// The window while a job waits on the simulated chip: it shows the busy
// cursor, the clicks, keys and calls that come meanwhile start nothing, and a
// close waits for the job's end. (That it answers the window manager meanwhile
// is the end-to-end test's.)
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>

#include <functional>
#include <map>

#include "settings/inifile.h"
#include "shown_window.h"
#include "support/intel_hex.h"

namespace {

constexpr std::size_t kBlocks = 8;

// Runs an action when the status bar paints a text, once per text.
class OnPaint : public QObject {
public:
    explicit OnPaint(QLabel* panel) { panel->installEventFilter(this); }
    std::map<QString, std::function<void()>> actions;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto it = actions.find(static_cast<QLabel*>(watched)->text());
            if (it != actions.end()) {
                auto action = std::move(it->second);
                actions.erase(it);
                action();
            }
        }
        return false;
    }
};

void PostClick(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(w, new QMouseEvent(type, at, w->mapToGlobal(at), Qt::LeftButton,
                                                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                       Qt::NoModifier));
}

class BusyTest : public uitest::ShownWindowTest {
protected:
    void SetUp() override {
        ShownWindowTest::SetUp();
        Start();
        std::vector<std::uint8_t> image(kBlocks * 256);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 5 + 1);
        dir.Write("fw.hex", testsupport::IntelHex(image));
        form->HexDateiEdit->setText(QString::fromStdString(dir.File("fw.hex")));
    }
};

TEST_F(BusyTest, InputAndPostedCallsDuringAJobAreDroppedAndACloseWaitsForItsEnd) {
    OnPaint onPaint(form->StaBar->Panel());
    onPaint.actions["programmiere $00000100"] = [&] {
        PostClick(form->VerifyButton);
        QCoreApplication::postEvent(form->HexDateiEdit, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
        QMetaObject::invokeMethod(form->EraseAllButton, &QPushButton::click, Qt::QueuedConnection);
        QCoreApplication::postEvent(form.get(), new QCloseEvent);
    };
    bool visibleDuring = false;
    bool busyCursorDuring = false;
    onPaint.actions["programmiere $00000600"] = [&] {
        visibleDuring = form->isVisible();
        busyCursorDuring = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    const std::string hexShown = form->HexDateiEdit->text().toStdString();
    rig->chip().ClearLog();

    form->ProgStartButton->click();

    EXPECT_TRUE(onPaint.actions.empty()) << "the job did not get that far";
    EXPECT_TRUE(visibleDuring);
    EXPECT_TRUE(busyCursorDuring);
    QApplication::processEvents();

    // The job ran to its end, alone.
    EXPECT_EQ(rig->chip().Flash()[kBlocks * 256 - 1], static_cast<std::uint8_t>((kBlocks * 256 - 1) * 5 + 1));
    for (const std::string& line : rig->chip().Log()) {
        EXPECT_EQ(line.find("Read Memory"), std::string::npos) << line;
        EXPECT_EQ(line.find("Erase"), std::string::npos) << line;
    }
    EXPECT_EQ(form->HexDateiEdit->text().toStdString(), hexShown);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Then the close: boot mode off with a reset pulse, the settings saved.
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(rig->line().Rts(platform::DeviceName(1)));  // "RTS lo" set: BOOT0 low
    EXPECT_NE(dir.Read("default.cfp").find("HEX     " + dir.File("fw.hex")), std::string::npos);
    EXPECT_TRUE(errors.empty());
}

}  // namespace
