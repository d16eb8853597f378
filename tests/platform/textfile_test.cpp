// The file layer: line rules of 8-bit text files, also where a line or its
// CR LF straddles the reader's blocks, line ends written, and failures raised
// with the platform's text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/textfile.h"
#include "support/recorders.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "support/unprivileged.h"
#endif

namespace {

using platform::FileError;

std::vector<std::string> ReadAll(const std::string& path) {
    platform::TextReader r(path);
    std::vector<std::string> lines;
    while (!r.Eof()) lines.push_back(r.ReadLine());
    r.Close();
    return lines;
}

TEST(TextReader, LineRules) {
    using L = std::vector<std::string>;
    const struct {
        const char* what;
        std::string content;
        L lines;
    } cases[] = {
        {"LF", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR dropped", "a\rb\n\rc\r", {"ab", "c"}},
        {"CR CR LF", "a\r\r\nb", {"a", "b"}},
        {"empty lines", "\n\r\nx\n\n", {"", "", "x", ""}},
        {"last line without end", "first\nlast", {"first", "last"}},
        {"empty file", "", {}},
        {"0x1A ends the file", "a\nb\x1A" "c\nd\n", {"a", "b"}},
        {"0x1A first", "\x1A" "a\n", {}},
        {"0x1A after a line end", "a\r\n\x1A\r\n", {"a"}},
        {"8-bit bytes kept", std::string("\xE4\xFF\x00\x7F\x19\x1B", 6) + "\n", {std::string("\xE4\xFF\x00\x7F\x19\x1B", 6)}},
        {"one line", "a\n", {"a"}},
        {"CR LF, last without end", "a\r\nb", {"a", "b"}},
        {"lone CR before CR LF", "a\rb\r\n\n", {"ab", ""}},
        {"0x1A inside a line", "a\x1A" "b\nc\n", {"a"}},
        {"0x1A alone", "\x1A", {}},
        {"NUL inside a line", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
        {"a single CR is no line", "\r", {}},
        {"nothing but CRs", "\r\r\r", {}},
        {"lone CR after the last LF", "a\n\r", {"a"}},
        {"lone CR before 0x1A", "a\n\r\x1A" "b\n", {"a"}},
        {"CRs before the LF of an empty line", "\r\r\n", {""}},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        dir.Write("t.txt", c.content);
        EXPECT_EQ(ReadAll(dir.File("t.txt")), c.lines) << c.what;
    }
}

// The CR, the LF or the 0x1A falls on every block boundary of a power of two.
TEST(TextReader, LinesAcrossBlocks) {
    using L = std::vector<std::string>;
    testsupport::TempDir dir;
    const auto lines = [&](const std::string& content) {
        dir.Write("t.txt", content);
        return ReadAll(dir.File("t.txt"));
    };
    for (std::size_t block = 0x1000; block <= 0x40000; block *= 2) {
        for (std::size_t len = block - 3; len <= block + 1; ++len) {
            SCOPED_TRACE(len);
            const std::string line(len, 'x');
            EXPECT_EQ(lines(line + "\r\ny\n"), (L{line, "y"}));
            EXPECT_EQ(lines(line + "\x1A" "y\n"), L{line});
            EXPECT_EQ(lines(line + "\n\r"), L{line});
        }
    }
}

TEST(TextReader, ReadPastTheEndGivesEmptyLines) {
    testsupport::TempDir dir;
    dir.Write("t.txt", "only\x1A" "hidden\n");
    platform::TextReader r(dir.File("t.txt"));
    EXPECT_EQ(r.ReadLine(), "only");
    EXPECT_TRUE(r.Eof());
    EXPECT_EQ(r.ReadLine(), "");
    EXPECT_TRUE(r.Eof());
}

TEST(TextWriter, LinesEndWithCrLf) {
    testsupport::TempDir dir;
    {
        platform::TextWriter w(dir.File("out.txt"));
        w.WriteLine("Baudrate=28800");
        w.Write("no end");
        w.WriteLine("");
        w.WriteLine(std::string("\xE4\n", 2));
        w.Close();
    }
    EXPECT_EQ(dir.Read("out.txt"), std::string("Baudrate=28800\r\nno end\r\n\xE4\n\r\n"));

    // Creating empties an existing file.
    platform::TextWriter w(dir.File("out.txt"));
    w.Close();
    EXPECT_EQ(dir.Read("out.txt"), "");
}

#ifndef _WIN32
// Root writes into any folder and keeps no owner from changing: the saves run
// as a user without privileges.
TEST(TextWriter, ReplaceKeepsOwnerAndModeAndWritesInPlaceWhereItMust) {
    namespace fs = std::filesystem;
    testsupport::Unprivileged user;
    const bool root = geteuid() == 0;
    const struct {
        const char* what;
        bool folderWritable;
        bool usersFile;  // else root's: only where the test runs as root
        mode_t mode;
        bool saved;
        bool renamed;
    } cases[] = {
        {"writable folder: renamed over, mode kept", true, true, 0640, true, true},
        {"folder not writable, file writable: in place", false, true, 0664, true, false},
        {"another user's file in a writable folder: in place, owner kept", true, false, 0666, true, false},
        {"neither folder nor file writable: raises, file kept", false, true, 0444, false, false},
    };
    testsupport::TempDir dir;
    fs::permissions(dir.path(), fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    int n = 0;
    for (const auto& c : cases) {
        if (!c.usersFile && !root) continue;
        SCOPED_TRACE(c.what);
        const std::string folder = dir.File(std::to_string(++n));
        const std::string file = folder + "/k.cfp";
        fs::create_directory(folder);
        dir.Write(std::to_string(n) + "/k.cfp", "old\r\n");
        ASSERT_TRUE(!c.folderWritable || user.Own(folder));
        ASSERT_TRUE(!c.usersFile || user.Own(file));
        fs::permissions(file, static_cast<fs::perms>(c.mode));
        if (!c.folderWritable && !root) fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        struct stat before {};
        ASSERT_EQ(stat(file.c_str(), &before), 0);

        const std::string error = user.Run([&] {
            platform::TextWriter w(file, platform::WriteMode::kReplace);
            w.WriteLine("new");
            w.Close();
            return std::string();
        });
        if (user.skipped()) GTEST_SKIP() << user.why();
        fs::permissions(folder, fs::perms::owner_all);

        struct stat after {};
        ASSERT_EQ(stat(file.c_str(), &after), 0);
        EXPECT_EQ(error.empty(), c.saved) << error;
        EXPECT_EQ(testsupport::ReadFile(file), c.saved ? "new\r\n" : "old\r\n");
        EXPECT_EQ(after.st_mode & 07777, c.mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_ino != before.st_ino, c.renamed);
        EXPECT_FALSE(fs::exists(file + ".tmp"));
    }
}
#endif

TEST(BinaryWriter, WritesBytesUnchanged) {
    testsupport::TempDir dir;
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 512; ++i) data.push_back(static_cast<std::uint8_t>(i * 7));
    data.push_back(0x0A);
    data.push_back(0x1A);
    platform::BinaryWriter w(dir.File("out.bin"));
    w.Write(data.data(), 300);
    w.Write(data.data() + 300, data.size() - 300);
    w.Write(data.data(), 0);
    w.Close();
    const std::string got = dir.Read("out.bin");
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.end()), data);
}

TEST(FileLayer, ExistsOnlyForFiles) {
    testsupport::TempDir dir;
    dir.Write("f", "x");
    EXPECT_TRUE(platform::FileExists(dir.File("f")));
    EXPECT_FALSE(platform::FileExists(dir.File("missing")));
    EXPECT_FALSE(platform::FileExists(dir.path()));
    EXPECT_FALSE(platform::FileExists(""));
}

TEST(FileLayer, FailuresCarryThePlatformText) {
    testsupport::TempDir dir;
    const std::string missing = dir.File("missing.cfp");
    const std::string noDir = dir.File("no/such/dir.bin");
    const std::string notFound = std::strerror(ENOENT);
    try {
        platform::TextReader r(missing);
        FAIL() << "opened a missing file";
    } catch (const FileError& e) {
#ifndef _WIN32  // Windows gives the system's message instead (tests/win32)
        EXPECT_NE(std::string(e.what()).find(notFound), std::string::npos) << e.what();
#endif
        EXPECT_NE(std::string(e.what()).find("missing.cfp"), std::string::npos) << e.what();
    }
    EXPECT_THROW(platform::TextReader r(missing), FileError);
    EXPECT_THROW(platform::TextWriter w(noDir), FileError);
    EXPECT_THROW(platform::BinaryWriter w(noDir), FileError);
}

// Data that never reaches the disk is an error, not a quiet success.
TEST(FileLayer, FullDiskIsReportedAtClose) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string noSpace = std::strerror(ENOSPC);
    {
        platform::BinaryWriter w("/dev/full");
        const std::uint8_t block[256] = {};
        try {
            w.Write(block, sizeof block);
            w.Close();
            FAIL() << "a full disk went unnoticed";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find(noSpace), std::string::npos) << e.what();
        }
    }
    platform::TextWriter t("/dev/full");
    t.WriteLine("Baudrate=28800");
    EXPECT_THROW(t.Close(), FileError);
}

}  // namespace
