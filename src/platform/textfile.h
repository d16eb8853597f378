// File layer. Every failure throws FileError carrying the platform's text;
// nothing below the window catches it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace platform {

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);

// 8-bit text, line by line: a line ends at LF or CR LF (not part of the
// line), a CR not followed by LF is dropped, a 0x1A ends the file.
class TextReader {
public:
    explicit TextReader(const std::string& path);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    bool Eof();
    std::string ReadLine();
    void Close();

private:
    int Peek();
    bool Fill();
    std::FILE* file_ = nullptr;
    std::string path_;
    bool ended_ = false;
    // Read in blocks: a HEX file of a full image has some 5 MB.
    std::unique_ptr<char[]> buf_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
};

// How a TextWriter puts its file in place.
enum class WriteMode {
    kTruncate,  // create or empty the file and write straight into it
    // Write a temporary file beside it, with the old file's owner and mode,
    // and rename that over the file at Close; without a successful Close the
    // old file stays as it was. Where no such temporary file can be made (a
    // folder the user may not write), the file is written in place.
    kReplace,
};

// Creates (empties) the file. Lines end with CR LF.
class TextWriter {
public:
    explicit TextWriter(const std::string& path);
    TextWriter(const std::string& path, WriteMode mode);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void Write(const std::string& text);
    void WriteLine(const std::string& text);
    void Close();

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string target_;    // kReplace only: the file the rename replaces, a link's target
    std::string tempPath_;  // kReplace by rename only: where the lines go until Close
};

class BinaryWriter {
public:
    explicit BinaryWriter(const std::string& path);
    ~BinaryWriter();
    BinaryWriter(const BinaryWriter&) = delete;
    BinaryWriter& operator=(const BinaryWriter&) = delete;

    void Write(const std::uint8_t* data, std::size_t n);
    void Close();

private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

}  // namespace platform
