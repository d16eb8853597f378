// Firmware files for the command line. Besides Intel HEX with offsets from
// the flash start, as the window reads it, the forms that toolchains write:
// Intel HEX with chip addresses, raw binaries placed at an address, and
// Motorola S-records, and ELF executables. The form is found from the
// content; every reader refuses a malformed file with the line and the
// reason.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/image_range.h"

enum class TFirmwareForm { HexOffsets, HexChip, Binary, SRecords, Elf };

// Bytes the file defines from an image offset on.
struct TSpan {
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

struct TFirmware {
    TFirmwareForm form = TFirmwareForm::HexOffsets;
    std::uint32_t flashStart = 0;  // chip address of image offset 0 when the file was read
    std::vector<TSpan> spans;      // ascending, apart from each other
    std::string sha256;            // of the file as read by LoadFirmware
    std::uint32_t Bytes() const;
};

struct TFirmwareOptions {
    std::uint32_t flashStart = 0;
    std::optional<std::uint32_t> binaryAddress;  // where a binary goes; the flash start without one
};

// The bytes of a file at chip addresses (or, for offsets, at file
// addresses), 2 MiB from base on, until they become spans. Kept in 4 KiB
// pieces, made as bytes come: a small file costs little.
class TImageBuilder {
public:
    explicit TImageBuilder(std::uint32_t base);
    ~TImageBuilder();
    std::uint32_t Base() const { return base_; }
    bool Inside(std::uint32_t address) const { return address >= base_ && address - base_ < kSize; }
    void Put(std::uint32_t address, std::uint8_t byte);  // Inside only; a later byte wins
    std::vector<TSpan> Spans() const;

private:
    static constexpr std::uint32_t kSize = 0x200000;
    static constexpr std::uint32_t kPiece = 4096;
    struct Piece;
    std::uint32_t base_;
    std::vector<std::unique_ptr<Piece>> pieces_;
};

// "Intel HEX, chip addresses, 0x08000000–0x0800FFFF, 65536 bytes".
std::string Describe(const TFirmware& firmware);
// "0x08000000–0x081FFFFF": the 2 MiB image from base on.
std::string ImageExtent(std::uint32_t base);

// Lines by the rules of the text file reader: a line ends at LF or CR LF, a
// CR not followed by LF is dropped, 0x1A ends the text.
std::vector<std::string> TextLines(std::string_view content);

// name (its extension) decides only when the content doesn't.
bool ReadFirmware(std::string_view content, std::string_view name, const TFirmwareOptions& options, TFirmware& out,
                  std::string& message);
// Reads the file once, whole: a pipe can't be read twice. False with
// "keine Datei" when there is none; a read that fails throws FileError.
bool LoadFirmware(const std::string& path, const TFirmwareOptions& options, TFirmware& out, std::string& message);

// FlashImage all 0xFF, then the file's bytes at their offsets from
// Ini.FlashStart as it stands now, and the ranges they fill. False when
// chip addresses fall outside the image from there.
bool PlaceFirmware(const TFirmware& firmware, std::vector<TImageRange>& ranges, std::string& message);
