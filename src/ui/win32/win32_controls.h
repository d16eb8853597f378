// The window's controls as Win32 draws them, behind the interfaces the
// window's logic sees. Each wraps a child window of the main window; the
// main window passes their notifications on.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "platform/status_bar.h"
#include "ui/control_interfaces.h"

namespace win32ui {

class Win32Edit : public ui::Edit {
public:
    explicit Win32Edit(HWND hwnd) : hwnd_(hwnd) {}
    void SetText(const std::string& text) override;

private:
    HWND hwnd_;
};

// Keeps the bytes it was given while the user leaves the text alone, so a
// path the system can't show comes back unchanged.
class Win32PathEdit : public ui::PathEdit {
public:
    explicit Win32PathEdit(HWND hwnd) : hwnd_(hwnd) {}
    void SetPath(const std::string& bytes) override;
    std::string Path() const override;

private:
    HWND hwnd_;
    std::string bytes_;
    std::wstring shown_;
};

// An editable combo box whose selected item is apart from its text: only a
// pick from the list selects, only the program's SetItemIndex besides.
class Win32ComboBox : public ui::ComboBox {
public:
    explicit Win32ComboBox(HWND hwnd) : hwnd_(hwnd) {}
    std::string Text() const override;
    void SetText(const std::string& text) override;
    int ItemIndex() const override { return selected_; }
    void SetItemIndex(int index) override;
    void AddItem(const std::string& text) override { AddItem(text, {}); }
    void AddItem(const std::string& text, const std::string& toolTip) override;
    void Clear() override;
    int Count() const override;
    std::string ItemText(int index) const override;
    // Over the box and its edit; the list's items have none.
    void SetToolTip(const std::string& tip) override;
    void SetItemToolTip(int, const std::string&) override {}
    void Repaint() override;
    // CBN_SELCHANGE: the user picked an item.
    void Picked();

private:
    HWND hwnd_;
    int selected_ = -1;
    HWND tip_ = nullptr;
    std::wstring tipText_;
};

class Win32RadioGroup : public ui::RadioGroup {
public:
    explicit Win32RadioGroup(std::vector<HWND> buttons) : buttons_(std::move(buttons)) {}
    int ItemIndex() const override { return index_; }
    void SetItemIndex(int index) override;
    // BN_CLICKED of a button: true when that changed the selection.
    bool Clicked(HWND button);
    const std::vector<HWND>& Buttons() const { return buttons_; }

private:
    std::vector<HWND> buttons_;
    int index_ = -1;
};

class Win32CheckBox : public ui::CheckBox {
public:
    explicit Win32CheckBox(HWND hwnd) : hwnd_(hwnd) {}
    bool Checked() const override;
    void SetChecked(bool checked) override;

private:
    HWND hwnd_;
};

class Win32ListBox : public ui::ListBox {
public:
    explicit Win32ListBox(HWND hwnd) : hwnd_(hwnd) {}
    void Clear() override;
    void Add(const std::string& line) override;

private:
    HWND hwnd_;
};

class Win32FileDialog : public ui::FileDialog {
public:
    enum class Kind { Open, Save };
    Win32FileDialog(HWND owner, Kind kind, const std::string& filter, const std::string& defaultExt);
    bool Execute() override;
    const std::string& FileName() const override { return fileName_; }

private:
    HWND owner_;
    Kind kind_;
    std::wstring filter_;
    std::wstring defaultExt_;
    std::string fileName_;
};

// A view: the controls of one of the window's three views, flattened into
// the main window, shown and hidden together.
class Win32View : public ui::Panel {
public:
    void Add(HWND hwnd) { controls_.push_back(hwnd); }
    void Show() override;
    void Hide() override;

private:
    std::vector<HWND> controls_;
};

// One part over the whole width.
class Win32StatusBar : public platform::StatusBar {
public:
    explicit Win32StatusBar(HWND hwnd) : hwnd_(hwnd) {}
    void SetText(const std::string& text) override;
    std::string Text() const override { return text_; }
    void Repaint() override;

private:
    HWND hwnd_;
    std::string text_;
};

std::wstring WindowText(HWND hwnd);

// The window's font, pixels high at 96 dpi, at dpi: the bitmap font the
// layout was drawn with at 96 dpi, its TrueType successor, which scales, at
// any other.
HFONT UiFont(int pixels, int dpi);
// The status bar at the bottom of parent: one part reaching to the right end,
// in font, height pixels high.
HWND CreateStaBar(HWND parent, HINSTANCE instance, HFONT font, int height, int id);

}  // namespace win32ui
