#include "ui_app.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

#include "platform/ports.h"
#include "support/pty_pair.h"

namespace uitest {

QApplication& App() {
    static int argc = 1;
    static char name[] = "velkor-ui-test";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: Qt's own statics go before it otherwise.
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle("Fusion");
        return a;
    }();
    return *app;
}

void PickItem(QComboBox& combo, int index) {
    combo.showPopup();
    QAbstractItemView* list = combo.view();
    const QRect item = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
}

void Type(QWidget& widget, const QString& text) {
    auto* combo = qobject_cast<QComboBox*>(&widget);
    QWidget* target = combo ? combo->lineEdit() : &widget;
    QTest::keyClicks(target, text);
}

namespace {

// A terminal device that is always there: the present ports' links lead to
// it, as a user's link leads to an adapter.
const std::string& PresentDevice() {
    static testsupport::PtyPair pty;
    return pty.slave();
}

}  // namespace

void MakePorts(const std::string& root, std::initializer_list<int> present) {
    std::filesystem::create_directories(root + "/ports");
    for (int n = 1; n <= 99; ++n) SetPortPresent(root, n, false);
    for (int n : present) SetPortPresent(root, n, true);
    platform::SetPortsDir(root + "/ports");
}

void SetPortPresent(const std::string& root, int n, bool present) {
    const std::string link = root + "/ports/COM" + std::to_string(n);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(present ? PresentDevice() : root + "/missing", link);
}

}  // namespace uitest

// Fontconfig keeps its configuration to the end of the process (Qt never calls
// FcFini); the leak checker of sanitized builds is told so here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
