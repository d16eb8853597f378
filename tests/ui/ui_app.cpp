#include "ui_app.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

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

}  // namespace uitest

// Fontconfig keeps its configuration to the end of the process (Qt never calls
// FcFini); the leak checker of sanitized builds is told so here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
