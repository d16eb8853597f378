#include "ui/german.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/ports.h"
#include "ui/controls.h"

bool SpeakGerman(QCoreApplication& app) {
    auto* qt = new QTranslator(&app);
    // Debian's Qt keeps them in its own folder; a Windows deployment beside the program.
    for (const QString& dir : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QStr(platform::ExecutableDir() + "translations")}) {
        if (qt->load("qtbase_de", dir)) return QCoreApplication::installTranslator(qt);
    }
    delete qt;
    return false;
}
