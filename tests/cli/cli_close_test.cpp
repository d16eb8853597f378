// velkor-cli reset lets the chip go as the window's close does: boot mode
// off, a reset pulse, and the port closed only after the last line change.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "settings/inifile.h"
#include "support/scripted_device.h"

namespace {

using Op = testsupport::ScriptedDevice::Op;

TEST(CliClose, ResetDrivesTheLinesThenCloses) {
    testsupport::VirtualClock clock;
    testsupport::ScriptedDevice device;
    Ini.ComNr = 3;
    Ini.ResetMode = 1;  // "DTR hi"
    Ini.BootMode = 4;   // "RTS lo"
    cli::Request request;
    cli::Command reset{};
    reset.kind = cli::CommandKind::Reset;
    reset.words = {"reset"};
    request.commands = {reset};
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    {
        cli::TerminalStatusBar bar(sink, cli::TerminalStatusBar::Mode::kLog);
        EXPECT_EQ(cli::RunCommands(request, cli::PortChoice{3, {}}, {}, cli::Inputs{}, bar), cli::kExitOk);
    }
    std::fclose(sink);
    std::string ops;
    for (const auto& e : device.events) {
        switch (e.op) {
            case Op::Open: ops += "open "; break;
            case Op::Close: ops += "close "; break;
            case Op::Dtr: ops += e.on ? "DTR+ " : "DTR- "; break;
            case Op::Rts: ops += e.on ? "RTS+ " : "RTS- "; break;
            default: break;
        }
    }
    // BOOT0 low, reset held, reset released; the lines keep those levels after close.
    EXPECT_EQ(ops, "open RTS+ DTR+ DTR- close ");
    EXPECT_EQ(device.Trace(device.events.front().tick), "RTS+@0 DTR+@0 DTR-@20");
}

}  // namespace
