// The Windows window against the in-process chip: where its flattened
// controls land, the order Tab takes, the file dialogs' filters, and what
// it lets through while a job waits.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "settings/inifile.h"
#include "settings/targets.h"
#include "sim/rig.h"
#include "support/intel_hex.h"
#include "support/recorders.h"
#include "ui/win32/main_form_win32.h"
#include "ui/win32/win32_controls.h"
#include "ui/win32/win32_text.h"

namespace {

using win32ui::TMainFormWin32;

// The whole literal, its NULs included.
template <std::size_t N>
std::wstring Nuls(const wchar_t (&text)[N]) {
    return std::wstring(text, N - 1);
}

TEST(DialogFilterTest, PairsBecomeNulSeparatedWithAClosingNul) {
    struct Case {
        const char* pairs;
        std::wstring want;
    };
    const Case cases[] = {
        {"Binärdatei (*.bin)|*.bin|alle Dateien (*.*)|*.*",
         Nuls(L"Bin\u00e4rdatei (*.bin)\0*.bin\0alle Dateien (*.*)\0*.*\0\0")},
        {"a|b|dangling", Nuls(L"a\0b\0\0")},
        {"", Nuls(L"\0")},
    };
    for (const Case& c : cases) EXPECT_EQ(win32ui::DialogFilter(c.pairs), c.want) << c.pairs;
}

class WindowWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        for (TTargetRec& t : Targets) t = {};
        TargetLast = 0;
        form = std::make_unique<TMainFormWin32>(GetModuleHandleW(nullptr), std::vector<std::string>{},
                                                dir.path() + "\\");
    }
    HWND Control(const char* name) {
        HWND h = form->Control(name);
        EXPECT_NE(h, nullptr) << name;
        return h;
    }
    RECT Rect(const char* name) {
        RECT r{};
        HWND h = Control(name);
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    std::string Status() {
        wchar_t text[512] = {};
        SendMessageW(Control("StaBar"), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return win32ui::Utf8(text);
    }
    void Click(const char* name) { SendMessageW(Control(name), BM_CLICK, 0, 0); }
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    testsupport::TempDir dir;
    sim::Rig rig;
    std::unique_ptr<TMainFormWin32> form;
};

// A control inside a group box sits at the box's place plus its own.
TEST_F(WindowWin32Test, NestedControlsLandAtTheirParentsPlacePlusTheirOwn) {
    struct Case {
        const char* name;
        RECT want;
    };
    const Case cases[] = {
        {"ComAktuButton", {16, 64, 16 + 97, 64 + 25}},        // PortSetupPanel > PortBox
        {"Normal_Button", {264, 184, 264 + 97, 184 + 25}},    // PortSetupPanel > GroupBox2
        {"KonfigLadeButton", {336, 24, 336 + 33, 24 + 20}},   // MainPanel > GroupBox3
        {"LiBox", {2, 102, 2 + 381, 102 + 209}},              // ChipSetupPanel
        {"StaBar", {0, 320, 520, 350}},
    };
    for (const Case& c : cases) {
        const RECT r = Rect(c.name);
        EXPECT_TRUE(EqualRect(&r, &c.want)) << c.name << ": " << r.left << "," << r.top << " " << r.right << ","
                                            << r.bottom;
    }
}

// Tab follows the creation order: the Linux window's chain, views' controls
// included (hidden ones are passed over by Tab itself). Of a radio group,
// the checked button is the one Tab stops at.
TEST_F(WindowWin32Test, TabGoesThroughTheControlsInTheLinuxWindowsOrder) {
    const std::vector<std::string> chain = {
        "PortComboBox", "BaudrateBox", "ComAktuButton", "ChipresetRadio1", "BootmodeRadio4", "Reset_ein_Button",
        "Reset_aus_Button", "Bootlader_Button", "Normal_Button", "PortSetupButton", "ChipSetupButton",
        "CBManuellTyp", "CBAutoErase", "ChipTypCombo", "TestChipButton", "LiBox", "EraseAllButton",
        "KonfigDateiEdit", "KonfigLadeButton", "HexDateiEdit", "HexLadeButton", "AusleseButton", "ChipAnzeige",
        "ProgStartButton", "VerifyButton", "LeertestButton", "ProgButton"};
    std::vector<std::string> tabStops;
    for (HWND h = GetWindow(form->Handle(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (!(GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP)) continue;
        for (const std::string& name : chain)
            if (form->Control(name) == h) tabStops.push_back(name);
    }
    EXPECT_EQ(tabStops, chain);
}

// Posts, once the job is under way, what a user and Windows might send
// meanwhile; records whether a posted message was handled during the job.
struct DuringTheJob {
    static inline TMainFormWin32* form;
    static inline WNDPROC original;
    static inline bool posted, jobOver, pumpedDuringJob;
    static inline HWND probe;

    static void Post() {
        HWND w = form->Handle();
        auto post = [](HWND h, UINT m, WPARAM wp = 0, LPARAM lp = 0) { PostMessageW(h, m, wp, lp); };
        post(form->Control("CBAutoErase"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        post(form->Control("CBAutoErase"), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        post(form->Control("HexDateiEdit"), WM_CHAR, 'x', 1);
        // Each of these would enter a modal loop of Windows' own, or change the window.
        post(w, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        post(w, WM_SYSKEYDOWN, VK_SPACE, 1 << 29);  // Alt+Space: the system menu
        post(w, WM_SYSCOMMAND, SC_MOVE, 0);
        post(w, WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOMRIGHT, 0);
        post(w, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);  // would maximise
        post(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        post(w, WM_CLOSE);
        post(probe, WM_APP);
    }
    static LRESULT CALLBACK StatusBar(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == SB_SETTEXTW && !posted &&
            win32ui::Utf8(reinterpret_cast<const wchar_t*>(l)) == "programmiere $00000100") {
            posted = true;
            Post();
        }
        return CallWindowProcW(original, h, m, w, l);
    }
    static LRESULT CALLBACK Probe(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_APP) pumpedDuringJob = !jobOver;
        return DefWindowProcW(h, m, w, l);
    }
};

TEST_F(WindowWin32Test, InputDuringAJobIsDroppedAndACloseWaitsForItsEnd) {
    std::vector<std::uint8_t> image(8 * 256);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 5 + 1);
    dir.Write("fw.hex", testsupport::IntelHex(image));
    HWND hexEdit = Control("HexDateiEdit");
    SetWindowTextW(hexEdit, win32ui::WidePath(dir.File("fw.hex")).c_str());  // HWChanged: opens COM 1
    ASSERT_EQ(Ini.HexDatei, dir.File("fw.hex"));
    const std::wstring hexShown = win32ui::WindowText(hexEdit);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DuringTheJob::Probe;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VelkorJobProbe";
    RegisterClassW(&wc);
    DuringTheJob::probe = CreateWindowW(L"VelkorJobProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    DuringTheJob::form = form.get();
    DuringTheJob::posted = DuringTheJob::jobOver = DuringTheJob::pumpedDuringJob = false;
    HWND bar = Control("StaBar");
    DuringTheJob::original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DuringTheJob::StatusBar)));

    Click("ProgStartButton");
    DuringTheJob::jobOver = true;
    SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DuringTheJob::original));

    ASSERT_TRUE(DuringTheJob::posted);
    EXPECT_TRUE(DuringTheJob::pumpedDuringJob);
    EXPECT_EQ(Status(), "..ende, programmiert bis 00000800");
    EXPECT_EQ(win32ui::WindowText(hexEdit), hexShown);
    EXPECT_EQ(SendMessageW(Control("CBAutoErase"), BM_GETCHECK, 0, 0), BST_CHECKED);
    HWND window = form->Handle();
    EXPECT_FALSE(IsZoomed(window));
    EXPECT_FALSE(IsIconic(window));
    ASSERT_TRUE(IsWindow(window)) << "closed during the job";
    Pump();
    EXPECT_FALSE(IsWindow(window)) << "the close was lost";
    EXPECT_NE(dir.Read("default.cfp").find("HEX"), std::string::npos);
    DestroyWindow(DuringTheJob::probe);
}

}  // namespace
