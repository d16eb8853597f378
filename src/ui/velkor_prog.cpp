// VelkorProg: the program start.
#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/stop.h"
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

// Without a display the toolkit ends the program with an abort and advice
// about reinstalling it; the user needs to hear that there is no display.
QtMessageHandler g_toolkitMessages = nullptr;
void NoDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        if (g_toolkitMessages) g_toolkitMessages(type, context, text);
        return;
    }
    std::fprintf(stderr, "velkor: no display found (%s); start it in a graphical session or set DISPLAY\n",
                 std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "DISPLAY is not set");
    std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (Answered(argc, argv)) return 0;
    platform::CatchStopSignals();
    g_toolkitMessages = qInstallMessageHandler(NoDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_toolkitMessages);
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
    // A stop from outside closes the window as the user would, once the job
    // in progress has ended at its next wait: the chip is released and the
    // settings are saved, and the exit status names the signal.
    int stop = 0;
    QSocketNotifier stopNotifier(platform::StopNotifier(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &MainForm, [&] {
        platform::DrainStopNotifier();
        if (stop == 0) stop = platform::StopSignal();
        // During a job this only asks for the close: the stop stays in force
        // until the job has ended at its next wait.
        MainForm.close();
    });
    MainForm.show();
    const int code = QApplication::exec();
    return stop != 0 ? platform::StopExitCode(stop) : code;
}
