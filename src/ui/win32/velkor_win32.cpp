// The program start of the Windows window.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/win32/main_form_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // The runtime's arguments are in the ANSI code page: the bytes the file
    // layer opens.
    std::vector<std::string> arguments;
    for (int i = 1; i < __argc; ++i) arguments.emplace_back(__argv[i]);
    win32ui::TMainFormWin32 MainForm(instance, std::move(arguments));
    MainForm.Show(showCommand);
    return MainForm.Run();
}
