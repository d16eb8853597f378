// File layer failures on Windows carry the system's message for the cause.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/textfile.h"
#include "support/recorders.h"

namespace {

std::string SystemMessage(DWORD code) {
    char buf[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                             sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) --n;
    return std::string(buf, n);
}

template <typename Open>
std::string FailureText(Open open) {
    try {
        open();
    } catch (const platform::FileError& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(FileErrorText, NamesTheCauseTheSystemReported) {
    testsupport::TempDir dir;
    const std::string missing = dir.File("missing.hex");
    const std::string noDir = dir.File("no/such/out.bin");
    ASSERT_FALSE(SystemMessage(ERROR_FILE_NOT_FOUND).empty());
    EXPECT_EQ(FailureText([&] { platform::TextReader r(missing); }),
              SystemMessage(ERROR_FILE_NOT_FOUND) + ": " + missing);
    // Both fold into ENOENT; the text still tells a missing folder apart.
    EXPECT_EQ(FailureText([&] { platform::BinaryWriter w(noDir); }), SystemMessage(ERROR_PATH_NOT_FOUND) + ": " + noDir);
    EXPECT_EQ(FailureText([&] { platform::TextWriter w(noDir); }), SystemMessage(ERROR_PATH_NOT_FOUND) + ": " + noDir);
}

TEST(FileErrorText, FolderOpenedAsFileIsRefusedWithAccessText) {
    testsupport::TempDir dir;
    const std::string text = FailureText([&] { platform::TextWriter w(dir.path()); });
    EXPECT_EQ(text, SystemMessage(ERROR_ACCESS_DENIED) + ": " + dir.path());
}

}  // namespace
