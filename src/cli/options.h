// What a velkor-cli command line asks for: the commands in their order and
// the options that override single settings. Parsing only; nothing here
// reads a file or touches a port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class CommandKind {
    Info, Erase, Blank, Program, Verify, Read, Go, Protect, Reset, Settings, Targets, Ports, BootPin
};

struct Command {
    CommandKind kind;
    std::vector<std::string> words;       // as typed, the command's own options included, for a child's command line
    std::string file;                     // program, verify, read
    bool erase = false;                   // program --erase: the pages the image touches first
    std::vector<std::uint16_t> pages;     // erase --pages LIST; empty: the whole chip
    std::optional<std::uint32_t> address; // go ADDR
    const std::string& Word() const { return words.front(); }
    bool NeedsChip() const {
        return kind != CommandKind::Settings && kind != CommandKind::Targets && kind != CommandKind::Ports;
    }
    // Erases by pages, and so needs pages.cfi.
    bool ByPages() const { return erase || !pages.empty(); }
};

// A board to run on: a port number, or a device path that gets bound to a
// spare number.
struct PortChoice {
    std::int32_t number = 0;
    std::string device;
    // "COM 3" as the window writes it, or the device path.
    std::string Label() const;
    // For file names: "COM3", or the device's file name.
    std::string FileTag() const;
};

// How a child of a parallel run writes its status texts.
enum class ChildMode { None, Log, Lines };

struct Request {
    std::vector<Command> commands;
    std::vector<PortChoice> ports;
    std::optional<std::int32_t> baud;
    std::optional<std::int32_t> resetMode;
    std::optional<std::int32_t> bootMode;
    std::optional<std::string> chip;
    std::optional<std::uint32_t> flashStart;
    std::optional<std::uint32_t> flashLen;
    std::optional<std::string> config;
    std::optional<std::string> log;  // --log: one JSON line per board and run appended
    std::optional<std::uint32_t> bootDelayMs;
    std::optional<std::uint32_t> netMarginMs;  // network ports only
    std::optional<std::uint32_t> address;  // where a binary file goes
    bool json = false;
    bool help = false;
    bool version = false;
    ChildMode child = ChildMode::None;
    // Every option but the ports, as "--name=value", for a child's command line.
    std::vector<std::string> passOn;
};

inline constexpr std::int32_t kMaxPortNumber = 255;
inline constexpr std::int32_t kFirstSparePort = 256;  // --device bindings
inline constexpr std::int32_t kMinBaud = 2400;
inline constexpr std::int32_t kMaxBaud = 115200;
inline constexpr std::uint32_t kMaxFlashLen = 0x200000;  // what ReadImage holds
inline constexpr std::uint32_t kMaxBootDelayMs = 60000;
inline constexpr std::uint32_t kMaxNetMarginMs = 10000;
inline constexpr std::string_view kPortPlaceholder = "{port}";

// False with a message for the user when the command line is not usable.
bool ParseCommandLine(const std::vector<std::string>& args, Request& request, std::string& error);

// Decimal or "0x" hexadecimal, the whole text, at most 32 bits.
bool ParseNumber(std::string_view text, std::uint32_t& value);
// A line choice by label ("DTR hi", also "dtr-hi") or index 0..4.
bool ParseLineChoice(std::string_view text, std::int32_t& choice);
// "0-3,8,0x10": page numbers, ascending, each once.
bool ParsePageList(std::string_view text, std::vector<std::uint16_t>& pages);

// The read file name for one board: "{port}" replaced by its tag.
std::string ExpandPort(const std::string& fileName, const PortChoice& port);

// The command line of the child that runs the same commands on one board.
std::vector<std::string> ChildArguments(const Request& request, const PortChoice& port, ChildMode mode);

}  // namespace cli
