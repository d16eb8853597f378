#include "ui/win32/win32_text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

namespace win32ui {

namespace {

std::wstring ToWide(unsigned codePage, const std::string& bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

std::string FromWide(unsigned codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

}  // namespace

std::wstring Wide(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }
std::string Utf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
std::wstring WidePath(const std::string& bytes) { return ToWide(CP_ACP, bytes); }
std::string PathBytes(const std::wstring& path) { return FromWide(CP_ACP, path); }

std::wstring DialogFilter(const std::string& pairs) {
    std::vector<std::wstring> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t bar = pairs.find('|', from);
        parts.push_back(Wide(pairs.substr(from, bar == std::string::npos ? std::string::npos : bar - from)));
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    std::wstring filter;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        filter += parts[i] + L'\0';
        filter += parts[i + 1] + L'\0';
    }
    return filter + L'\0';
}

}  // namespace win32ui
