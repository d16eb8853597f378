// velkor-cli: the window's jobs for scripts, CI rigs and production lines.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/parallel.h"
#include "cli/setup.h"
#include "cli/terminal_status.h"
#include "platform/console.h"
#include "platform/stop.h"
#include "platform/version.h"
#include "settings/inifile.h"

namespace {

constexpr const char* kHelp = R"(Usage: velkor-cli [options] command [command ...]

Programs STM32F chips through the USART bootloader in their system memory,
over a serial adapter whose DTR and RTS lines drive NRST and BOOT0. The
commands run in the order given, on one connection: the chip is reset into
the bootloader once, and again only after a command that resets it or
fails. The first command that fails ends the run.

Commands:
  info              identify the chip: bootloader version, commands, option
                    bytes, product ID, and the unique ID and flash size the
                    chip reports (identity.cfi). A chip listed in targets.cfi
                    becomes the current chip: its flash range holds for the
                    commands after this one.
  erase             remove read-out and write protection, erase the whole chip
  erase --pages LIST  erase only these pages or sectors, e.g. 0-3,8
  blank             check that the flash is blank
  program [--erase] FILE
                    write the firmware file into the flash; with --erase the
                    pages or sectors it touches are erased first (pages.cfi).
                    A file larger than the flash the chip reports is refused
                    before anything is erased.
  verify FILE       compare the flash with the firmware file
  read FILE.bin     read the flash into a binary file: the size the chip
                    reports, or the flash length with --chip or --flash-len;
                    "{port}" in the name becomes the port, e.g. COM3
  go [ADDR]         start the program at ADDR (default: the flash start)
  protect           set read-out protection; the chip resets
  reset             boot mode off and a reset pulse: the chip starts its own
                    program
  boot-pin          clear nBOOT_SEL in the option bytes (G0, C0), so that the
                    BOOT0 pin chooses the boot source again; the chip resets.
                    As delivered these chips choose by option bits, and once
                    programmed they no longer start the bootloader after
                    power-on. No other command does this.
  settings          print the settings in effect, as a .cfp file holds them
  targets           print the chip list of targets.cfi, one chip a line
  ports             list the port numbers that have a device, with its path
                    and /dev/serial/by-id name, or the network port mapped
                    to them (opens none of them)
  settings, targets and ports need no chip.

Firmware files, told apart by their content:
  Intel HEX         with offsets from the flash start (as the window reads
                    it) or with chip addresses (as compilers write it): data
                    from the flash start up to 2 MiB above it are chip
                    addresses
  S-records         .s19, .s28, .s37, .srec: chip addresses
  ELF               executables as linked: each loadable segment's file bytes
                    at its load address (.data goes to flash, .bss is
                    passed over); Linux builds only
  binary            anything else: placed at --address, or the flash start
  The form found is printed before the command runs.

Options:
  --port N          the COM port number, 1 to 255 ("COM3" works as well).
                    On Linux a link ports/COM<N> beside the program (once
                    installed: in ~/.config/velkor) names its device; else
                    COM1-32 are /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31,
                    COM65-96 /dev/ttyACM0-31.
  --device PATH     a serial device by its path, e.g. /dev/serial/by-id/...;
                    it takes the spare port number 256. A port on another
                    machine: rfc2217://HOST:PORT (ser2net), or a gensio
                    connection string such as
                    telnet(rfc2217),ssl(CA=ca.pem),tcp,HOST,PORT
  --net-margin MS   added to each wait for the chip's answer on a network
                    port, for the round trip; default 50
  --baud RATE       the line speed, 2400 to 115200 bit/s
  --reset LINE      the line that drives the chip's reset,
  --boot LINE       the line that drives BOOT0; LINE is one of "aus", "DTR hi",
                    "DTR lo", "RTS hi", "RTS lo" (any case, "dtr-hi" too) or
                    its index 0 to 4
  --boot-delay MS   the wait between releasing reset and the sync byte,
                    default 1500; 100 suits a board without a slow reset
  --chip NAME       a chip of targets.cfi: takes its name and flash range
  --flash-start A   the chip address of the flash start (decimal or 0x hex)
  --flash-len N     the flash length in bytes, at most 0x200000
  --address A       where a binary file goes (decimal or 0x hex)
  --config FILE     read this configuration file instead of default.cfp
  --json            one JSON object a line on standard output for each
                    command and one for the run, instead of the texts
  --log FILE        append one JSON line per board and run to FILE: time,
                    port, unique ID, product ID, firmware files with their
                    SHA-256, each command's outcome, duration
  --version         the program's version
  --help            this text
  --port and --device can be given several times: see Several boards.

Settings: the start values (28800 Bd, COM 1, reset "DTR hi", flash 256 KiB
from 0x08000000), then default.cfp beside the program (once installed: in
~/.config/velkor) when it exists or the --config file, then the options.
Configuration files are read, never written. As in the window, a reset or
boot choice above 4 counts as 4 ("RTS lo"): so the start value BOOT 5 drives
BOOT0 through RTS (boot mode on = RTS cleared). A rate below 2400 or above
115200 in the file becomes 38400. The line runs at 8 data bits, even parity,
1 stop bit.

Output: the jobs' status texts on standard error as they come; on a terminal
the per-block texts make one line with a bar, bytes done, rate and time left.
Each command's closing text goes to standard output (info: the summary of
the replies, the list lines, and last the chip found or its ID).

Several boards: with several --port or --device the same commands run on
each board at once, in a process of its own. Every line of output starts with
its port; a table of port, board (its unique ID), result, time and last
closing text ends the run.
A read FILE then needs "{port}" in its name.

Exit status: 0 every command succeeded, 1 a command failed (on any board),
2 a usage error: nothing was sent to a chip.

Examples:
  velkor-cli --port 33 erase program fw.hex verify fw.hex reset
  velkor-cli --port 33 --boot-delay 100 program --erase fw.hex verify fw.hex go
  velkor-cli --device /dev/serial/by-id/usb-FTDI_FT232R-if00-port0 info
  velkor-cli --port 33 --chip "STM32F10x medium density" --baud 115200 read flash.bin
  velkor-cli --port 33 --address 0x08004000 program --erase app.bin verify app.bin
  velkor-cli --port 33 --port 34 --port 35 erase program fw.hex verify fw.hex
  velkor-cli --port 33 --port 34 read flash-{port}.bin
  velkor-cli --device rfc2217://rack1:4001 --device rfc2217://rack1:4002 info
  velkor-cli --config line3.cfp --boot "DTR lo" settings > effective.cfp
)";

int Usage(const std::string& error) {
    std::fprintf(stderr, "velkor-cli: %s\nTry 'velkor-cli --help'.\n", error.c_str());
    return cli::kExitUsage;
}

// A full disk or a closed pipe leaves the output cut off: that is no success.
int CheckedOutput(int code) {
    if (std::fflush(stdout) != 0)  // else an earlier flush failed and took the reason with it
        std::fprintf(stderr, "velkor-cli: cannot write the output: %s\n", std::strerror(errno));
    else if (std::ferror(stdout))
        std::fputs("velkor-cli: cannot write the output\n", stderr);
    else
        return code;
    return cli::kExitFailed;
}

cli::TerminalStatusBar::Mode StatusMode(cli::ChildMode child) {
    using Mode = cli::TerminalStatusBar::Mode;
    switch (child) {
        case cli::ChildMode::Log: return Mode::kLog;
        case cli::ChildMode::Lines: return Mode::kLines;
        case cli::ChildMode::None: break;
    }
    return platform::IsTerminal(stderr) ? Mode::kLive : Mode::kLog;
}

int Run(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        cli::Request request;
        std::string error;
        if (!cli::ParseCommandLine(args, request, error)) return Usage(error);
        if (request.help) {
            std::fputs(kHelp, stdout);
            return cli::kExitOk;
        }
        if (request.version) {
            std::printf("velkor-cli %s\n", platform::Version());
            return cli::kExitOk;
        }
        platform::CatchStopSignals();
        const cli::PortChoice* first = request.ports.empty() ? nullptr : &request.ports.front();
        std::vector<std::string> targetItems;
        if (!cli::SetUpSettings(request, first, targetItems, error)) return Usage(error);
        cli::Inputs inputs;
        if (!cli::CheckFiles(request, inputs, error)) return Usage(error);
        if (request.ports.size() > 1) return cli::RunParallel(request);

        const cli::PortChoice board = first ? *first : cli::PortChoice{Ini.ComNr, {}};
        cli::TerminalStatusBar bar(stderr, StatusMode(request.child));
        return cli::RunCommands(request, board, targetItems, inputs, bar);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velkor-cli: %s\n", e.what());
        return cli::kExitFailed;
    }
}

}  // namespace

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    return CheckedOutput(Run(argc, argv));
}
