// Texts between the program's bytes and the wide strings of the Win32 API.
#pragma once

#include <string>

namespace win32ui {

// The program's own texts are UTF-8.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);
// Paths travel as the bytes the file layer opens: the ANSI code page (UTF-8
// where the manifest's code page is honoured).
std::wstring WidePath(const std::string& bytes);
std::string PathBytes(const std::wstring& path);

// "description|pattern|description|pattern" as the common file dialogs take
// it: each part ended by a NUL, the whole by a second one. An odd part at the
// end has no pattern and is left out.
std::wstring DialogFilter(const std::string& pairs);

}  // namespace win32ui
