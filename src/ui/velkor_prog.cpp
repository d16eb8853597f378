// VelkorProg: the program start.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/version.h"
#include "ui/german.h"
#include "ui/velkor_unit.h"

namespace {

constexpr const char* kHelp = R"(Usage: velkor [FILE.cfp | FILE.hex]

Velkor Programmer: the window (German interface) that programs STM32F
microcontrollers through the USART bootloader in their system memory, over a
serial adapter whose DTR and RTS lines drive NRST and BOOT0.

Argument:
  FILE.cfp          load this configuration; the settings are saved back into
                    it when the window closes
  FILE.hex          the Intel HEX file to program and verify
  Any other argument, or a file that doesn't exist, is ignored.

Options:
  --help            this text
  --version         the version
Qt's own options (-platform, -style, ...) are taken as well.
)";

// Answered before the window toolkit starts, so they need no display.
bool Answered(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("velkor %s\n", platform::Version());
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (Answered(argc, argv)) return 0;
    QApplication app(argc, argv);
    // The menu entry's name: desktops match the window to its entry and icon by it.
    QGuiApplication::setDesktopFileName(platform::AppId());
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
