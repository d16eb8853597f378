#include "platform/textfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {

namespace {
[[noreturn]] void Fail(const std::string& path, int err) {
    throw FileError(std::string(std::strerror(err)) + ": " + path);
}
constexpr int kEndOfFileChar = 0x1A;
}  // namespace

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

TextReader::TextReader(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) Fail(path, errno);
}

TextReader::~TextReader() {
    if (file_) std::fclose(file_);
}

int TextReader::Peek() {
    if (ended_) return EOF;
    const int c = std::fgetc(file_);
    if (c == EOF) {
        if (std::ferror(file_)) Fail(path_, errno ? errno : EIO);
        ended_ = true;
        return EOF;
    }
    if (c == kEndOfFileChar) {
        ended_ = true;
        return EOF;
    }
    std::ungetc(c, file_);
    return c;
}

bool TextReader::Eof() {
    if (!file_) Fail(path_, EBADF);
    return Peek() == EOF;
}

std::string TextReader::ReadLine() {
    if (!file_) Fail(path_, EBADF);
    std::string line;
    for (;;) {
        const int c = Peek();
        if (c == EOF) break;
        std::fgetc(file_);
        if (c == '\n') break;
        if (c == '\r') continue;  // a CR before LF ends nothing; a lone CR is dropped
        line.push_back(static_cast<char>(c));
    }
    return line;
}

void TextReader::Close() {
    if (file_) {
        std::FILE* f = file_;
        file_ = nullptr;
        if (std::fclose(f) != 0) Fail(path_, errno);
    }
}

TextWriter::TextWriter(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) Fail(path, errno);
}

TextWriter::~TextWriter() {
    if (file_) std::fclose(file_);
}

void TextWriter::Write(const std::string& text) {
    if (!file_) Fail(path_, EBADF);
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) Fail(path_, errno);
}

void TextWriter::WriteLine(const std::string& text) { Write(text + "\r\n"); }

void TextWriter::Close() {
    if (file_) {
        std::FILE* f = file_;
        file_ = nullptr;
        const bool flushed = std::fflush(f) == 0;
        const int err = errno;
        if (std::fclose(f) != 0 || !flushed) Fail(path_, flushed ? errno : err);
    }
}

BinaryWriter::BinaryWriter(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) Fail(path, errno);
}

BinaryWriter::~BinaryWriter() {
    if (file_) std::fclose(file_);
}

void BinaryWriter::Write(const std::uint8_t* data, std::size_t n) {
    if (!file_) Fail(path_, EBADF);
    if (n && std::fwrite(data, 1, n, file_) != n) Fail(path_, errno);
}

void BinaryWriter::Close() {
    if (file_) {
        std::FILE* f = file_;
        file_ = nullptr;
        const bool flushed = std::fflush(f) == 0;
        const int err = errno;
        if (std::fclose(f) != 0 || !flushed) Fail(path_, flushed ? errno : err);
    }
}

}  // namespace platform
