// The line reader under the three text files, in particular where a line
// or its CR LF straddles the reader's blocks.
#include <gtest/gtest.h>

#include <vector>

#include "platform/textfile.h"
#include "support/recorders.h"

namespace {

using testsupport::TempDir;

std::vector<std::string> Lines(const std::string& content) {
    TempDir dir;
    dir.Write("f.txt", content);
    platform::TextReader in(dir.File("f.txt"));
    std::vector<std::string> lines;
    while (!in.Eof()) lines.push_back(in.ReadLine());
    in.Close();
    return lines;
}

using L = std::vector<std::string>;

TEST(TextReader, LineEnds) {
    EXPECT_EQ(Lines(""), L{});
    EXPECT_EQ(Lines("a\n"), L{"a"});
    EXPECT_EQ(Lines("a\r\nb"), (L{"a", "b"}));
    EXPECT_EQ(Lines("a\rb\r\n\n"), (L{"ab", ""}));  // a lone CR is dropped
    EXPECT_EQ(Lines("a\x1A" "b\nc\n"), L{"a"});     // 0x1A ends the file
    EXPECT_EQ(Lines("\x1A"), L{});
    EXPECT_EQ(Lines(std::string("a\0b\n", 4)), L{std::string("a\0b", 3)});
}

TEST(TextReader, LinesAcrossBlocks) {
    // The CR, the LF or the 0x1A falls on every block boundary of a power of two.
    for (std::size_t block = 0x1000; block <= 0x40000; block *= 2) {
        for (std::size_t len = block - 3; len <= block + 1; ++len) {
            SCOPED_TRACE(len);
            const std::string line(len, 'x');
            EXPECT_EQ(Lines(line + "\r\ny\n"), (L{line, "y"}));
            EXPECT_EQ(Lines(line + "\x1A" "y\n"), L{line});
        }
    }
}

TEST(TextReader, MissingFileRaises) {
    TempDir dir;
    EXPECT_THROW(platform::TextReader(dir.File("none")), platform::FileError);
}

}  // namespace
