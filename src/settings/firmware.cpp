#include "settings/firmware.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/hex_text.h"
#include "platform/textfile.h"
#include "settings/hex_records.h"
#include "settings/inifile.h"
#include "settings/srecord.h"

namespace {

// A HEX file of a full image with one byte per record has some 30 MB.
constexpr std::size_t kMaxFileSize = 64u << 20;

std::string Address(std::uint64_t a) { return "0x" + platform::Hex8(static_cast<std::uint32_t>(a)); }

class VectorLines : public THexLines {
public:
    explicit VectorLines(const std::vector<std::string>& lines) : lines_(lines) {}
    bool Next(std::string& line) override {
        if (next_ == lines_.size()) return false;
        line = lines_[next_++];
        return true;
    }

private:
    const std::vector<std::string>& lines_;
    std::size_t next_ = 0;
};

// The first data address decides the form: inside the 2 MiB from the flash
// start it is chip addresses, anything else offsets as the window takes
// them. Every later address must fit the same form.
class EitherForm : public THexTarget {
public:
    explicit EitherForm(std::uint32_t flashStart) : flashStart_(flashStart) {}

    std::string Refuse(std::uint32_t a) override {
        if (!image_) {
            chip_ = a >= flashStart_ && a - flashStart_ < kImageSize;
            first_ = a;
            image_ = std::make_unique<TImageBuilder>(chip_ ? flashStart_ : 0);
        }
        // Offsets below the flash start only, as in the window.
        const bool fits = image_->Inside(a) && (chip_ || a < flashStart_);
        if (fits) return {};
        const std::uint64_t end = chip_ ? std::uint64_t{flashStart_} + kImageSize
                                        : std::min<std::uint64_t>(flashStart_, kImageSize);
        refusal_ = Address(a) + " is outside " + Address(image_->Base()) + "–" + Address(end - 1) +
                   ": the file was read as " +
                   (chip_ ? std::string("chip addresses") : "offsets from the flash start " + Address(flashStart_)) +
                   ", as its first data address " + Address(first_) + " is one";
        return refusal_;
    }
    void Store(std::uint32_t a, std::uint8_t b) override { image_->Put(a, b); }

    bool Chip() const { return chip_; }
    std::vector<TSpan> Spans() const { return image_ ? image_->Spans() : std::vector<TSpan>{}; }

private:
    std::uint32_t flashStart_;
    std::unique_ptr<TImageBuilder> image_;
    bool chip_ = false;
    std::uint32_t first_ = 0;
    std::string refusal_;
};

bool ReadIntelHex(const std::vector<std::string>& lines, std::uint32_t flashStart, TFirmware& out,
                  std::string& message) {
    VectorLines source(lines);
    EitherForm target(flashStart);
    int lineNo = 0;
    if (const THexStop stop = ReadHexRecords(source, target, message, lineNo); stop != THexStop::End) {
        // The window's texts, each with the line it stopped at.
        const std::string at = std::to_string(lineNo);
        if (stop == THexStop::Refused)
            message = "line " + at + ": " + message;
        else if (stop == THexStop::Digit)
            message += " auf Zeile " + at;
        else if (stop == THexStop::MissingDigits)
            message += " " + at;
        return false;
    }
    out.form = target.Chip() ? TFirmwareForm::HexChip : TFirmwareForm::HexOffsets;
    out.spans = target.Spans();
    return true;
}

bool ReadBinary(std::string_view content, const TFirmwareOptions& o, TFirmware& out, std::string& message) {
    const std::uint32_t at = o.binaryAddress.value_or(o.flashStart);
    TImageBuilder image(o.flashStart);
    const std::string extent = ImageExtent(o.flashStart);
    if (content.empty()) {
        message = "the file is empty";
        return false;
    }
    if (!image.Inside(at)) {
        message = "--address " + Address(at) + " lies outside the flash image " + extent;
        return false;
    }
    if (content.size() > kImageSize - (at - o.flashStart)) {
        message = "a binary of " + std::to_string(content.size()) + " bytes at " + Address(at) +
                  " runs past the flash image " + extent;
        return false;
    }
    out.form = TFirmwareForm::Binary;
    out.spans = {TSpan{at - o.flashStart, std::vector<std::uint8_t>(content.begin(), content.end())}};
    return true;
}

std::string Extension(std::string_view name) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const std::size_t dot = file.rfind('.');
    std::string ext(dot == std::string_view::npos ? std::string_view() : file.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// What the first line says: ':' Intel HEX, 'S' and a digit S-records, if it
// is plain text. A binary's first bytes are the stack pointer, with a zero
// byte among them.
TFirmwareForm FormOf(std::string_view content, std::string_view name) {
    const std::string_view first = content.substr(0, content.find_first_of("\r\n"));
    const bool text = !first.empty() && std::all_of(first.begin(), first.end(), [](char c) {
        return (c >= 0x20 && c < 0x7F) || c == '\t';
    });
    if (text && first[0] == ':') return TFirmwareForm::HexOffsets;
    if (text && first.size() > 1 && first[0] == 'S' && first[1] >= '0' && first[1] <= '9')
        return TFirmwareForm::SRecords;
    const std::string ext = Extension(name);
    for (const char* e : {"hex", "ihx", "ihex"})
        if (ext == e) return TFirmwareForm::HexOffsets;
    for (const char* e : {"s19", "s28", "s37", "srec", "mot"})
        if (ext == e) return TFirmwareForm::SRecords;
    return TFirmwareForm::Binary;
}

}  // namespace

std::uint32_t TFirmware::Bytes() const {
    std::uint32_t n = 0;
    for (const auto& s : spans) n += static_cast<std::uint32_t>(s.bytes.size());
    return n;
}

struct TImageBuilder::Piece {
    std::array<std::uint8_t, kPiece> bytes;
    std::bitset<kPiece> defined;
};

TImageBuilder::TImageBuilder(std::uint32_t base) : base_(base), pieces_(kSize / kPiece) {}
TImageBuilder::~TImageBuilder() = default;

void TImageBuilder::Put(std::uint32_t address, std::uint8_t byte) {
    const std::uint32_t at = address - base_;
    auto& piece = pieces_[at / kPiece];
    if (!piece) piece = std::make_unique<Piece>();
    piece->bytes[at % kPiece] = byte;
    piece->defined.set(at % kPiece);
}

std::vector<TSpan> TImageBuilder::Spans() const {
    std::vector<TSpan> spans;
    bool open = false;  // the last span reaches up to here
    for (std::uint32_t p = 0; p < pieces_.size(); ++p) {
        if (!pieces_[p]) {
            open = false;
            continue;
        }
        const Piece& piece = *pieces_[p];
        for (std::uint32_t k = 0; k < kPiece; ++k) {
            if (!piece.defined[k]) {
                open = false;
                continue;
            }
            if (!open) spans.push_back({p * kPiece + k, {}});
            open = true;
            spans.back().bytes.push_back(piece.bytes[k]);
        }
    }
    return spans;
}

std::string ImageExtent(std::uint32_t base) {
    return Address(base) + "–" + Address(std::uint64_t{base} + kImageSize - 1);
}

std::string Describe(const TFirmware& f) {
    std::string form;
    switch (f.form) {
        case TFirmwareForm::HexOffsets: form = "Intel HEX, offsets from the flash start"; break;
        case TFirmwareForm::HexChip: form = "Intel HEX, chip addresses"; break;
        case TFirmwareForm::Binary: form = "binary"; break;
        case TFirmwareForm::SRecords: form = "Motorola S-records"; break;
    }
    if (f.spans.empty()) return form + ", no data";
    const std::uint64_t first = std::uint64_t{f.flashStart} + f.spans.front().offset;
    const std::uint64_t last = std::uint64_t{f.flashStart} + f.spans.back().offset + f.spans.back().bytes.size() - 1;
    return form + ", " + Address(first) + "–" + Address(last) + ", " + std::to_string(f.Bytes()) + " bytes";
}

std::vector<std::string> TextLines(std::string_view content) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (char c : content) {
        if (c == '\x1A') break;
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            open = false;
        } else if (c != '\r') {  // before an LF it ends nothing; alone it is dropped
            line += c;
            open = true;
        }
    }
    if (open) lines.push_back(std::move(line));
    return lines;
}

bool ReadFirmware(std::string_view content, std::string_view name, const TFirmwareOptions& o, TFirmware& out,
                  std::string& message) {
    out = TFirmware{};
    out.flashStart = o.flashStart;
    const TFirmwareForm form = FormOf(content, name);
    if (form != TFirmwareForm::Binary && o.binaryAddress) {
        message = "--address places a binary; this file carries its own addresses";
        return false;
    }
    switch (form) {
        case TFirmwareForm::Binary: return ReadBinary(content, o, out, message);
        case TFirmwareForm::SRecords: {
            out.form = TFirmwareForm::SRecords;
            TImageBuilder image(o.flashStart);
            if (!ReadSRecords(TextLines(content), image, message)) return false;
            out.spans = image.Spans();
            return true;
        }
        default: return ReadIntelHex(TextLines(content), o.flashStart, out, message);
    }
}

bool LoadFirmware(const std::string& path, const TFirmwareOptions& o, TFirmware& out, std::string& message) {
    message = "keine Datei";
    if (!platform::FileExists(path)) return false;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) throw platform::FileError(std::strerror(errno) + std::string(": ") + path);
    std::string content;
    char buf[64 * 1024];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) {
        content.append(buf, n);
        if (content.size() > kMaxFileSize) {
            message = "larger than " + std::to_string(kMaxFileSize >> 20) + " MiB: no firmware file";
            return false;
        }
    }
    if (std::ferror(f.get())) throw platform::FileError(std::strerror(errno) + std::string(": ") + path);
    return ReadFirmware(content, path, o, out, message);
}

bool PlaceFirmware(const TFirmware& f, std::vector<TImageRange>& ranges, std::string& message) {
    std::memset(FlashImage, 0xFF, sizeof FlashImage);
    ranges.clear();
    // Offsets follow the flash start; chip addresses stay where they are.
    const bool chip = f.form != TFirmwareForm::HexOffsets;
    const std::int64_t shift = chip ? std::int64_t{f.flashStart} - Ini.FlashStart : 0;
    for (const TSpan& s : f.spans) {
        const std::int64_t at = std::int64_t{s.offset} + shift;
        if (at < 0 || at + static_cast<std::int64_t>(s.bytes.size()) > std::int64_t{kImageSize}) {
            message = Address(std::uint64_t{f.flashStart} + s.offset) + " lies outside the flash image " +
                      ImageExtent(Ini.FlashStart);
            return false;
        }
        std::copy(s.bytes.begin(), s.bytes.end(), FlashImage + at);
        const auto begin = static_cast<std::uint32_t>(at);
        ranges.push_back({begin, begin + static_cast<std::uint32_t>(s.bytes.size())});
    }
    return true;
}
