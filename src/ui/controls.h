// The window's controls: Qt widgets that implement what the window's logic
// asks of them, where Qt's own behaviour differs too: a radio group with a
// clamped index, a combo box that keeps its selected item apart from its
// text, an edit that keeps a path's bytes, the status bar the library writes
// to, and file dialogs a test can answer.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/status_bar.h"
#include "settings/targets.h"
#include "ui/control_interfaces.h"

class QButtonGroup;
class QLabel;
class QRadioButton;

// The program's texts are UTF-8; the 8-bit files it reads may hold other
// bytes. Each byte that isn't part of a UTF-8 sequence shows as its Latin-1
// character (0xE9 as "é"), not as a replacement character.
QString QStr(const std::string& bytes);
// UTF-8.
std::string Str(const QString& text);

// The window's font at a character height in pixels.
QFont UiFont(int pixelHeight);

// One column of radio buttons under a caption. Click is raised only when the
// user selects an item other than the selected one.
class TRadioGroup : public QGroupBox, public ui::RadioGroup {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

    int Count() const { return static_cast<int>(buttons_.size()); }
    int ItemIndex() const override { return index_; }
    void SetItemIndex(int index) override;
    QRadioButton* Button(int i) const { return buttons_.at(static_cast<std::size_t>(i)); }

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Arrange();
    void UserClicked(int id);

    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
    int index_ = -1;
};

// Editable combo box. Its selected item is its own state: the program may set
// the text without touching it, a pick by hand sets both. Change is raised for
// the user's typing and picks only: not for focus moving in or out, nor for
// opening and closing the list, whatever the text shows.
class TComboBox : public QComboBox, public ui::ComboBox {
    Q_OBJECT
public:
    explicit TComboBox(QWidget* parent);

    std::string Text() const override;
    void SetText(const std::string& text) override;
    int ItemIndex() const override { return selected_; }
    // Selects item index (-1: none) and shows its text, as a pick would.
    void SetItemIndex(int index) override;
    void AddItem(const std::string& text) override;
    void AddItem(const std::string& text, const std::string& toolTip) override;
    void Clear() override;
    int Count() const override { return count(); }
    std::string ItemText(int index) const override { return Str(itemText(index)); }
    void SetToolTip(const std::string& tip) override { setToolTip(QStr(tip)); }
    void SetItemToolTip(int index, const std::string& tip) override {
        setItemData(index, QStr(tip), Qt::ToolTipRole);
    }
    void Repaint() override { repaint(); }

signals:
    void Change();

private:
    void Picked(int index);

    int selected_ = -1;
};

// A single-line edit holding a file path. The path's bytes come back as they
// were given while the user leaves the text alone, so a name that isn't UTF-8
// still names its file; once edited, the text is the path.
class TPathEdit : public QLineEdit, public ui::PathEdit {
    Q_OBJECT
public:
    explicit TPathEdit(QWidget* parent);
    void SetPath(const std::string& bytes) override;
    std::string Path() const override;

private:
    std::string bytes_;
    QString shown_;
};

// The one panel of the status bar, reaching to the right end.
class TStatusBar : public QStatusBar, public platform::StatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent);

    void SetText(const std::string& text) override;
    std::string Text() const override;
    // Between a job's blocks: the window also gets to answer and repaint.
    void Repaint() override;
    QLabel* Panel() const { return panel_; }

private:
    QLabel* panel_;
};

// "Description|pattern|Description|pattern": the description already names its
// pattern, so it becomes Qt's filter as it stands.
QStringList QtNameFilters(const std::string& pairs);

// A file dialog kept as a component: its set-up lives here, the Qt dialog is
// made when it is shown. A test answers through Chooser instead.
class TFileDialog : public QObject, public ui::FileDialog {
    Q_OBJECT
public:
    enum class Kind { Open, Save };
    TFileDialog(Kind kind, const std::string& filter, const std::string& defaultExt, QWidget* owner);

    bool Execute() override;
    const std::string& FileName() const override { return fileName_; }

    // Gives the real dialog its filters, suffix and modes.
    void Configure(QFileDialog& dialog) const;

    // The file a test chooses; nullopt for cancel.
    std::function<std::optional<std::string>()> Chooser;

private:
    Kind kind_;
    QStringList filters_;
    QString defaultExt_;
    std::string fileName_;
};

class TCheckBox : public QCheckBox, public ui::CheckBox {
    Q_OBJECT
public:
    TCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}
    bool Checked() const override { return isChecked(); }
    void SetChecked(bool checked) override { setChecked(checked); }
};

class TListBox : public QListWidget, public ui::ListBox {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent) : QListWidget(parent) {}
    void Clear() override { clear(); }
    void Add(const std::string& line) override { addItem(QStr(line)); }
};

class TEdit : public QLineEdit, public ui::Edit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent) : QLineEdit(parent) {}
    void SetText(const std::string& text) override { setText(QStr(text)); }
};
