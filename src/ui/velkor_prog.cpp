// VelkorProg: the program start.
#include <QApplication>

#include <string>
#include <vector>

#include "ui/german.h"
#include "ui/velkor_unit.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The controls sit at fixed pixel positions; a desktop style with larger
    // paddings would clip them.
    QApplication::setStyle("Fusion");
    SpeakGerman(app);
    // Qt has taken its own options out of argv; what is left is ours, as bytes.
    TMainForm::Options options;
    for (int i = 1; i < argc; ++i) options.arguments.emplace_back(argv[i]);
    TMainForm MainForm(std::move(options));
    MainForm.show();
    return QApplication::exec();
}
