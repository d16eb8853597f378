#include "ui/win32/win32_controls.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "platform/wait_hook.h"
#include "ui/win32/win32_text.h"

namespace win32ui {

std::wstring WindowText(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

void Win32Edit::SetText(const std::string& text) { SetWindowTextW(hwnd_, Wide(text).c_str()); }

void Win32PathEdit::SetPath(const std::string& bytes) {
    bytes_ = bytes;
    shown_ = WidePath(bytes);
    // An edit reports every WM_SETTEXT as a change, the same text included;
    // only a new text is one.
    if (WindowText(hwnd_) != shown_) SetWindowTextW(hwnd_, shown_.c_str());
}

std::string Win32PathEdit::Path() const {
    const std::wstring text = WindowText(hwnd_);
    return text == shown_ ? bytes_ : PathBytes(text);
}

std::string Win32ComboBox::Text() const { return Utf8(WindowText(hwnd_)); }

void Win32ComboBox::SetText(const std::string& text) { SetWindowTextW(hwnd_, Wide(text).c_str()); }

void Win32ComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= Count()) index = -1;
    selected_ = index;
    SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SetWindowTextW(hwnd_, index >= 0 ? Wide(ItemText(index)).c_str() : L"");
}

void Win32ComboBox::AddItem(const std::string& text, const std::string&) {
    SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void Win32ComboBox::Clear() {
    SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    SetWindowTextW(hwnd_, L"");
    selected_ = -1;
}

int Win32ComboBox::Count() const { return static_cast<int>(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0)); }

std::string Win32ComboBox::ItemText(int index) const {
    const LRESULT n = SendMessageW(hwnd_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    SendMessageW(hwnd_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(n));
    return Utf8(text);
}

void Win32ComboBox::SetToolTip(const std::string& tip) {
    tipText_ = Wide(tip);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(hwnd_, &info);
    // The mouse over the text part is over the edit, a window of its own.
    const HWND parts[] = {hwnd_, info.hwndItem};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(hwnd_);
    if (!tip_) {
        tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                               0, tool.hwnd, nullptr, nullptr, nullptr);
        SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 600);  // lines break at "\n"
        for (HWND part : parts) {
            if (!part) continue;
            tool.uId = reinterpret_cast<UINT_PTR>(part);
            tool.lpszText = tipText_.data();
            SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        return;
    }
    for (HWND part : parts) {
        if (!part) continue;
        tool.uId = reinterpret_cast<UINT_PTR>(part);
        tool.lpszText = tipText_.data();
        SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void Win32ComboBox::Repaint() { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

void Win32ComboBox::Picked() {
    const auto index = static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
    if (index < 0) return;
    selected_ = index;
    // The edit takes the item's text only after the notification.
    SetWindowTextW(hwnd_, Wide(ItemText(index)).c_str());
}

void Win32RadioGroup::SetItemIndex(int index) {
    const int count = static_cast<int>(buttons_.size());
    index = std::clamp(index, -1, count - 1);
    index_ = index;
    for (int i = 0; i < count; ++i)
        SendMessageW(buttons_[static_cast<std::size_t>(i)], BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32RadioGroup::Clicked(HWND button) {
    const auto it = std::find(buttons_.begin(), buttons_.end(), button);
    const auto index = static_cast<int>(it - buttons_.begin());
    if (it == buttons_.end() || index == index_) return false;
    index_ = index;
    return true;
}

bool Win32CheckBox::Checked() const { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Win32CheckBox::SetChecked(bool checked) {
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32ListBox::Clear() { SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

void Win32ListBox::Add(const std::string& line) {
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
}

Win32FileDialog::Win32FileDialog(HWND owner, Kind kind, const std::string& filter, const std::string& defaultExt)
    : owner_(owner), kind_(kind), filter_(DialogFilter(filter)), defaultExt_(Wide(defaultExt)) {}

bool Win32FileDialog::Execute() {
    std::wstring name(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = filter_.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrDefExt = defaultExt_.c_str();
    // No OFN_FILEMUSTEXIST: a name that doesn't exist is taken, and the
    // handler says so.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (kind_ == Kind::Save) ofn.Flags |= OFN_OVERWRITEPROMPT;
    const BOOL chosen = kind_ == Kind::Save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) return false;
    name.resize(wcslen(name.c_str()));
    fileName_ = PathBytes(name);
    return true;
}

void Win32View::Show() {
    for (HWND h : controls_) ShowWindow(h, SW_SHOWNA);
}

void Win32View::Hide() {
    for (HWND h : controls_) ShowWindow(h, SW_HIDE);
}

void Win32StatusBar::SetText(const std::string& text) {
    text_ = text;
    SendMessageW(hwnd_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void Win32StatusBar::Repaint() {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    platform::WhileWaiting();
}

HFONT UiFont(int pixels, int dpi) {
    const wchar_t* face = dpi == 96 ? L"MS Sans Serif" : L"Microsoft Sans Serif";
    return CreateFontW(-MulDiv(pixels, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

HWND CreateStaBar(HWND parent, HINSTANCE instance, HFONT font, int height, int id) {
    HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int parts[] = {-1};
    SendMessageW(bar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    // The minimum height leaves out borders the bar doesn't tell exactly:
    // measured once and made up.
    SendMessageW(bar, SB_SETMINHEIGHT, static_cast<WPARAM>(height), 0);
    SendMessageW(bar, WM_SIZE, 0, 0);
    RECT barRect;
    GetWindowRect(bar, &barRect);
    const int extra = static_cast<int>(barRect.bottom - barRect.top) - height;
    SendMessageW(bar, SB_SETMINHEIGHT, static_cast<WPARAM>(height - extra), 0);
    return bar;
}

}  // namespace win32ui
