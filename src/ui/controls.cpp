#include "ui/controls.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>

#include "platform/wait_hook.h"

namespace {

// Length of the well-formed UTF-8 sequence at text[at], 0 if there is none.
std::size_t Utf8Sequence(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;        // no overlong form
        if (lead == 0xED) high = 0x9F;       // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;       // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

QString QStr(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t n = Utf8Sequence(bytes, at);
        if (n == 0) {
            text += QChar(static_cast<unsigned char>(bytes[at]));
            ++at;
        } else {
            text += QString::fromUtf8(bytes.data() + at, static_cast<qsizetype>(n));
            at += n;
        }
    }
    return text;
}

std::string Str(const QString& text) { return text.toUtf8().toStdString(); }

// --- TRadioGroup

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        buttons_.push_back(button);
    }
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::UserClicked);
    Arrange();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= Count()) index = Count() - 1;
    if (index < -1) index = -1;
    index_ = index;
    if (index_ >= 0) {
        buttons_[static_cast<std::size_t>(index_)]->setChecked(true);
        return;
    }
    // An exclusive group never lets its last checked button go.
    group_->setExclusive(false);
    for (auto* b : buttons_) b->setChecked(false);
    group_->setExclusive(true);
}

void TRadioGroup::UserClicked(int id) {
    if (id == index_) return;
    index_ = id;
    emit Click();
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    Arrange();
}

// The items share the room inside the frame evenly, the remainder split
// above and below them.
void TRadioGroup::Arrange() {
    if (buttons_.empty()) return;
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect inside = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
    const int count = Count();
    const int room = std::max(0, inside.height() - 2);
    const int rowHeight = room / count;
    const int top = inside.top() + 1 + (room % count) / 2;
    for (int i = 0; i < count; ++i)
        buttons_[static_cast<std::size_t>(i)]->setGeometry(8, top + i * rowHeight, width() - 10, rowHeight);
}

// --- TComboBox

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    // Qt 6 takes a finished edit whose text equals an item as a pick of it,
    // and an edit finishes whenever the focus leaves it: a click elsewhere,
    // opening the list, closing the window. Only the list and the keys pick.
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    // textEdited comes from typing only, never from the program's own setText.
    connect(lineEdit(), &QLineEdit::textEdited, this, &TComboBox::Change);
    connect(this, &QComboBox::activated, this, &TComboBox::Picked);
}

std::string TComboBox::Text() const { return Str(currentText()); }

void TComboBox::SetText(const std::string& text) { lineEdit()->setText(QStr(text)); }

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= count()) index = -1;
    selected_ = index;
    setCurrentIndex(index);
    lineEdit()->setText(index >= 0 ? itemText(index) : QString());
}

void TComboBox::AddItem(const std::string& text) { AddItem(text, {}); }

void TComboBox::AddItem(const std::string& text, const std::string& toolTip) {
    // Qt selects the first item added to an empty box and shows its text;
    // neither may change here.
    const QString shown = currentText();
    addItem(QStr(text));
    if (!toolTip.empty()) setItemData(count() - 1, QStr(toolTip), Qt::ToolTipRole);
    setCurrentIndex(selected_);
    lineEdit()->setText(shown);
}

void TComboBox::Clear() {
    clear();
    lineEdit()->clear();
    selected_ = -1;
}

void TComboBox::Picked(int index) {
    selected_ = index;
    if (index >= 0 && currentText() != itemText(index)) lineEdit()->setText(itemText(index));
    emit Change();
}

// --- TPathEdit

TPathEdit::TPathEdit(QWidget* parent) : QLineEdit(parent) {}

void TPathEdit::SetPath(const std::string& bytes) {
    bytes_ = bytes;
    shown_ = QStr(bytes);
    setText(shown_);
}

std::string TPathEdit::Path() const { return text() == shown_ ? bytes_ : Str(text()); }

// Stands in for the 8-point MS Sans Serif the layout was drawn with: the same
// pixel height and about its width (DejaVu Sans is too wide for "115200 Baud"
// and the check box captions).
QFont UiFont(int pixelHeight) {
    QFont font("Liberation Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

// --- TStatusBar

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent), panel_(new QLabel(this)) {
    panel_->setMinimumWidth(50);
    panel_->setObjectName("StaBarPanel0");
    addWidget(panel_, 1);
}

void TStatusBar::SetText(const std::string& text) { panel_->setText(QStr(text)); }

std::string TStatusBar::Text() const { return Str(panel_->text()); }

// The panel is all there is to see: the bar around it needs no second paint.
void TStatusBar::Repaint() {
    panel_->repaint();
    platform::WhileWaiting();
}

// --- TFileDialog

QStringList QtNameFilters(const std::string& pairs) {
    QStringList parts = QStr(pairs).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        if (description.endsWith("(" + pattern + ")"))
            filters << description;
        else
            filters << description + " (" + pattern + ")";
    }
    return filters;
}

TFileDialog::TFileDialog(Kind kind, const std::string& filter, const std::string& defaultExt, QWidget* owner)
    : QObject(owner), kind_(kind), filters_(QtNameFilters(filter)), defaultExt_(QStr(defaultExt)) {}

void TFileDialog::Configure(QFileDialog& dialog) const {
    dialog.setNameFilters(filters_);
    if (!filters_.isEmpty()) dialog.selectNameFilter(filters_.front());
    dialog.setDefaultSuffix(defaultExt_);
    dialog.setSizeGripEnabled(true);
    if (kind_ == Kind::Open) {
        // A name of a file that does not exist is accepted; the caller says so.
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    }
}

bool TFileDialog::Execute() {
    if (Chooser) {
        auto chosen = Chooser();
        if (!chosen) return false;
        fileName_ = *chosen;
        return true;
    }
    QFileDialog dialog(qobject_cast<QWidget*>(parent()));
    Configure(dialog);
    if (!fileName_.empty()) dialog.selectFile(QStr(fileName_));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName_ = Str(dialog.selectedFiles().front());
    return true;
}
