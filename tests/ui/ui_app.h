// The one QApplication of a GUI test binary, on the platform the test runner
// chose (offscreen), with the style the program uses.
#pragma once

#include <QComboBox>

class QApplication;

namespace uitest {

QApplication& App();

// A pick by hand: opens the drop-down list and clicks item index.
void PickItem(QComboBox& combo, int index);

// Types text into an editable combo box or line edit, key by key.
void Type(QWidget& widget, const QString& text);

}  // namespace uitest
