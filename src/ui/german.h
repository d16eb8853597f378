// The whole interface is German, Qt's own dialogs included (the file dialogs,
// the message boxes), whatever the user's locale.
#pragma once

class QCoreApplication;

// Loads Qt's German translations; false when none were found.
bool SpeakGerman(QCoreApplication& app);
