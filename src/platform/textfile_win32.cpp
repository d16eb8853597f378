// The file layer's failure texts on Windows: the system's own message (in the
// user's language), not the C runtime's English one for the errno.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

// System codes as the C runtime folds them into errno values; the first of
// each errno is its usual cause.
struct Fold {
    DWORD code;
    int err;
};
constexpr Fold kFolds[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},    {ERROR_PATH_NOT_FOUND, ENOENT},      {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT},       {ERROR_BAD_NET_NAME, ENOENT},        {ERROR_FILENAME_EXCED_RANGE, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},     {ERROR_SHARING_VIOLATION, EACCES},   {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_WRITE_PROTECT, EACCES},     {ERROR_NETWORK_ACCESS_DENIED, EACCES}, {ERROR_CANNOT_MAKE, EACCES},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_INVALID_HANDLE, EBADF},      {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},  {ERROR_FILE_EXISTS, EEXIST},         {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_INVALID_PARAMETER, EINVAL}, {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
};

DWORD SystemCode(int err) {
    // _doserrno holds the system code of the runtime's last failure. It is
    // this failure's cause only if it folds into err; otherwise it is stale.
    const auto last = static_cast<DWORD>(_doserrno);
    for (const Fold& f : kFolds)
        if (f.err == err && f.code == last) return last;
    for (const Fold& f : kFolds)
        if (f.err == err) return f.code;
    return 0;
}

}  // namespace

// The system's text for a Win32 error code; empty when it has none.
std::string SystemMessage(unsigned long code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = n ? std::string(text, n) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

std::string OsErrorText(int err) {
    const DWORD code = SystemCode(err);
    const std::string message = code == 0 ? std::string() : SystemMessage(code);
    return message.empty() ? std::strerror(err) : message;
}

}  // namespace platform
