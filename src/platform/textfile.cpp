#include "platform/textfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32
std::string OsErrorText(int err);  // textfile_win32.cpp: the system's message
#else
static std::string OsErrorText(int err) { return std::strerror(err); }
#endif

namespace {
[[noreturn]] void Fail(const std::string& path, int err) { throw FileError(OsErrorText(err) + ": " + path); }
constexpr int kEndOfFileChar = 0x1A;
constexpr std::size_t kReadBlock = 64 * 1024;

// The data must be on the disk before the rename makes it the file.
bool SyncToDisk(std::FILE* f) {
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

// Whatever failed first, the flush, the sync or the close, is the error.
void CloseOrFail(std::FILE* f, const std::string& path, bool sync) {
    const bool flushed = std::fflush(f) == 0 && (!sync || SyncToDisk(f));
    const int err = errno;
    if (std::fclose(f) != 0 || !flushed) Fail(path, flushed ? errno : err);
}

// A link is kept a link: its target is what gets replaced.
std::string ReplaceTarget(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    const auto resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved.string();
}

// The temporary file that will replace target, with target's owner and mode.
// Null where the folder takes no new file, or where the owner can't be kept
// (the rename would hand someone else's file to us): then the file is
// written in place.
std::FILE* OpenReplacement(const std::string& target, const std::string& temp) {
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return nullptr;
#ifndef _WIN32
    struct stat old {};
    struct stat now {};
    const int fd = fileno(f);
    if (::stat(target.c_str(), &old) == 0 && ::fstat(fd, &now) == 0) {
        // The owner first: a change of owner clears the set-id bits of the mode.
        const bool sameOwner = now.st_uid == old.st_uid && now.st_gid == old.st_gid;
        if (!(sameOwner || ::fchown(fd, old.st_uid, old.st_gid) == 0) || ::fchmod(fd, old.st_mode & 07777) != 0) {
            std::fclose(f);
            std::remove(temp.c_str());
            return nullptr;
        }
    }
#else
    (void)target;
#endif
    return f;
}
}  // namespace

// A pipe or a character device reads as a stream: only a missing name or a
// folder is no file.
bool FileExists(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !path.empty() && !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

TextReader::TextReader(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) Fail(path, errno);
    buf_ = std::make_unique<char[]>(kReadBlock);
}

TextReader::~TextReader() {
    if (file_) std::fclose(file_);
}

bool TextReader::Fill() {
    pos_ = 0;
    len_ = std::fread(buf_.get(), 1, kReadBlock, file_);
    if (len_ == 0 && std::ferror(file_)) Fail(path_, errno ? errno : EIO);
    return len_ != 0;
}

int TextReader::Peek() {
    if (ended_) return EOF;
    if (pos_ == len_ && !Fill()) {
        ended_ = true;
        return EOF;
    }
    const int c = static_cast<unsigned char>(buf_[pos_]);
    if (c == kEndOfFileChar) {
        ended_ = true;
        return EOF;
    }
    return c;
}

// A CR ends no line: a lone one is dropped, one before LF leaves the LF to
// end it. Skipping them here keeps CRs after the last line from making one.
bool TextReader::Eof() {
    if (!file_) Fail(path_, EBADF);
    while (Peek() == '\r') ++pos_;
    return Peek() == EOF;
}

std::string TextReader::ReadLine() {
    if (!file_) Fail(path_, EBADF);
    std::string line;
    while (!ended_) {
        if (pos_ == len_ && !Fill()) {
            ended_ = true;
            break;
        }
        const char* const block = buf_.get();
        std::size_t end = pos_;
        while (end < len_ && block[end] != '\n' && block[end] != '\r' && block[end] != kEndOfFileChar) ++end;
        line.append(block + pos_, end - pos_);
        pos_ = end;
        if (pos_ == len_) continue;
        const char c = block[pos_];
        if (c == kEndOfFileChar) {
            ended_ = true;
            break;
        }
        ++pos_;
        if (c == '\n') break;
        // a CR before LF ends nothing; a lone CR is dropped
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

TextWriter::TextWriter(const std::string& path) : TextWriter(path, WriteMode::kTruncate) {}

TextWriter::TextWriter(const std::string& path, WriteMode mode) : path_(path) {
    if (mode == WriteMode::kReplace) {
        target_ = ReplaceTarget(path);
        tempPath_ = target_ + ".tmp";
        file_ = OpenReplacement(target_, tempPath_);
        if (file_) return;
        tempPath_.clear();
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) Fail(path, errno);
}

TextWriter::~TextWriter() {
    if (file_) std::fclose(file_);
    if (!tempPath_.empty()) std::remove(tempPath_.c_str());
}

void TextWriter::Write(const std::string& text) {
    if (!file_) Fail(path_, EBADF);
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) Fail(path_, errno);
}

void TextWriter::WriteLine(const std::string& text) { Write(text + "\r\n"); }

// On any failure the destructor removes the temporary file.
void TextWriter::Close() {
    if (!file_) return;
    CloseOrFail(std::exchange(file_, nullptr), path_, !tempPath_.empty());
    if (tempPath_.empty()) return;
    std::error_code ec;
    std::filesystem::rename(tempPath_, target_, ec);
    if (ec) throw FileError(ec.message() + ": " + path_);
    tempPath_.clear();
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
    if (file_) CloseOrFail(std::exchange(file_, nullptr), path_, false);
}

}  // namespace platform
