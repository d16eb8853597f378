// The window's controls as its logic sees them: what a handler reads and
// sets, and nothing of the toolkit that draws them. The window implements
// these with its widgets; tests with plain objects.
#pragma once

#include <string>

#include "platform/status_bar.h"
#include "settings/targets.h"

namespace ui {

// A one-line text the program sets.
class Edit {
public:
    virtual ~Edit() = default;
    virtual void SetText(const std::string& text) = 0;
};

// An edit holding a file path: the bytes given come back while the user leaves it alone.
class PathEdit {
public:
    virtual ~PathEdit() = default;
    virtual void SetPath(const std::string& bytes) = 0;
    virtual std::string Path() const = 0;
};

// An editable combo box whose selected item is apart from its text; the
// chip list is one.
class ComboBox : public TChipList {
public:
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual int ItemIndex() const = 0;
    // Selects item index (-1: none) and shows its text.
    virtual void SetItemIndex(int index) = 0;
    using TChipList::AddItem;
    virtual void AddItem(const std::string& text, const std::string& toolTip) = 0;
    // Items, selection and text.
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    virtual std::string ItemText(int index) const = 0;
    virtual void SetToolTip(const std::string& tip) = 0;
    virtual void SetItemToolTip(int index, const std::string& tip) = 0;
    virtual void Repaint() = 0;
};

class RadioGroup {
public:
    virtual ~RadioGroup() = default;
    virtual int ItemIndex() const = 0;
    // Beyond the last item selects the last; -1 and below select nothing.
    virtual void SetItemIndex(int index) = 0;
};

class CheckBox {
public:
    virtual ~CheckBox() = default;
    virtual bool Checked() const = 0;
    virtual void SetChecked(bool checked) = 0;
};

class ListBox {
public:
    virtual ~ListBox() = default;
    virtual void Clear() = 0;
    virtual void Add(const std::string& line) = 0;
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // True when the user chose a file; FileName() then holds it.
    virtual bool Execute() = 0;
    virtual const std::string& FileName() const = 0;
};

// One of the window's views, of which one shows at a time.
class Panel {
public:
    virtual ~Panel() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

// The window as a whole.
class Window {
public:
    virtual ~Window() = default;
    // Draws what a dialog covered before a long job blocks the window.
    virtual void Repaint() = 0;
    // An error that ended a handler; the program goes on.
    virtual void ShowError(const std::string& text) = 0;
};

}  // namespace ui
