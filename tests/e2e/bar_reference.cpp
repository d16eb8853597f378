// The window's status bar alone, showing the text of its one argument: what
// the window's bar must look like on the screen when it shows that text. The
// window's end-to-end test compares the two screens' pixels.
#include <QApplication>
#include <QWidget>

#include "ui/controls.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    // Laid out as the window lays out its bottom 30 pixels.
    QWidget window;
    window.setWindowTitle("velkor-bar-reference");
    window.setFont(UiFont(11));
    window.setMinimumSize(520, 30);
    window.resize(520, 30);
    window.move(0, 0);
    TStatusBar bar(&window);
    bar.setFont(UiFont(13));
    bar.setGeometry(0, 0, 520, 30);
    bar.SetText(argc > 1 ? argv[1] : "");
    window.show();
    return QApplication::exec();
}
