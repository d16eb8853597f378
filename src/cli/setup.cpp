#include "cli/setup.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli/messages.h"
#include "platform/locations.h"
#include "platform/net_serial.h"
#include "platform/ports.h"
#include "platform/textfile.h"
#include "settings/inifile.h"
#include "settings/konfig.h"
#include "settings/startup.h"
#include "settings/targets.h"

namespace cli {

namespace {

class ItemCollector : public TChipList {
public:
    explicit ItemCollector(std::vector<std::string>& items) : items_(items) {}
    void AddItem(const std::string& text) override { items_.push_back(text); }

private:
    std::vector<std::string>& items_;
};

bool TakeChip(const std::string& name, std::string& error) {
    const int i = FindTargetByName(name);
    if (i < 0)
        return Fail(error, "--chip: no chip " + Quoted(name) + " in " + kTargetsFileName +
                               " (velkor-cli targets lists them)");
    const TTargetRec& t = Targets[i];
    if (t.FlashEnd < t.FlashStart || t.FlashEnd - t.FlashStart >= kMaxFlashLen)
        return Fail(error, "--chip: the flash range of " + Quoted(t.Name) + " in " + kTargetsFileName +
                               " is not 1 byte to 2 MiB");
    TakeTarget(t, t.Name);
    return true;
}

bool LoadFirmwareFile(const Request& r, const std::string& file, Inputs& inputs, std::string& error) {
    TFirmwareOptions options;
    options.flashStart = Ini.FlashStart;
    options.binaryAddress = r.address;
    if (!platform::FileExists(file)) return Fail(error, file + ": no such file");
    TFirmware firmware;
    std::string message;
    if (!LoadFirmware(file, options, firmware, message)) return Fail(error, file + ": " + message);
    inputs.firmware[file] = std::move(firmware);
    return true;
}

bool LoadPages(Inputs& inputs, std::string& error) {
    const std::string file = platform::FindProgramFiles(platform::ExecutableDir()).pagesFile;
    if (!platform::FileExists(file))
        return Fail(error, "erasing by pages needs the page table " + file + ", which is missing");
    std::string message;
    if (!LoadPageTable(file, inputs.pages, message)) return Fail(error, file + ": " + message);
    return true;
}

// Without the table a board is known by its product ID alone, which is no
// reason to refuse the run; a table that is there but broken is.
bool LoadIdentities(Inputs& inputs, std::string& error) {
    const std::string file = platform::FindProgramFiles(platform::ExecutableDir()).identityFile;
    if (!platform::FileExists(file)) return true;
    std::string message;
    if (!LoadIdentityTable(file, inputs.identity, message)) return Fail(error, file + ": " + message);
    return true;
}

// A stream gives its bytes once, to the first process that reads it.
bool CheckNoStream(const std::string& what, const std::string& file, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec) || !std::filesystem::exists(file, ec)) return true;
    return Fail(error, what + " " + file + ": with several boards each reads it itself, and a stream " +
                           "reads only once: give a file");
}

bool CheckReadFile(const std::string& file, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(file, ec)) return Fail(error, file + ": is a folder");
    fs::path folder = fs::path(file).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) return Fail(error, file + ": no folder " + Quoted(folder.string()));
    return true;
}

}  // namespace

bool SetUpSettings(const Request& r, const PortChoice* port, std::vector<std::string>& targetItems,
                   std::string& error) {
    ItemCollector items(targetItems);
    TStartUp how;
    how.chips = &items;
    how.konfigFile = r.config;
    how.writeKonfig = false;
    try {
        if (StartUp(how).konfigMissing) return Fail(error, "--config: no file " + Quoted(*r.config));
    } catch (const platform::FileError& e) {
        return Fail(error, e.what());
    }
    // The window's first activation reads the choices back from its radio
    // groups of 0..4 (files hold no negative numbers); without this the start
    // value BOOT 5 would leave BOOT0 alone.
    Ini.ResetMode = std::min<std::int32_t>(Ini.ResetMode, 4);
    Ini.BootMode = std::min<std::int32_t>(Ini.BootMode, 4);

    if (port) {
        if (port->device.empty()) {
            Ini.ComNr = port->number;
        } else {
            Ini.ComNr = kFirstSparePort;
            platform::BindPort(Ini.ComNr, port->device);
        }
    }
    if (r.baud) Ini.Baud = *r.baud;
    if (r.resetMode) Ini.ResetMode = *r.resetMode;
    if (r.bootMode) Ini.BootMode = *r.bootMode;
    if (r.netMarginMs) platform::SetNetWaitMargin(*r.netMarginMs);
    if (r.chip && !TakeChip(*r.chip, error)) return false;
    if (r.flashStart) Ini.FlashStart = *r.flashStart;
    if (r.flashLen) Ini.FlashLen = *r.flashLen;
    if ((r.chip || r.flashStart || r.flashLen) && Ini.FlashLen > 0 &&
        Ini.FlashStart > 0xFFFFFFFFu - (Ini.FlashLen - 1))
        return Fail(error, "the flash range runs past address 0xFFFFFFFF");
    ApplyBaudRule();
    return true;
}

bool CheckFiles(const Request& r, Inputs& inputs, std::string& error) {
    const bool several = r.ports.size() > 1;
    if (several && r.config && !CheckNoStream("--config", *r.config, error)) return false;
    try {
        bool byPages = false;
        for (const auto& c : r.commands) {
            byPages = byPages || c.ByPages();
            if (c.kind == CommandKind::Program || c.kind == CommandKind::Verify) {
                if (several && !CheckNoStream(c.Word(), c.file, error)) return false;
                // program fw.hex verify fw.hex: read once
                if (!inputs.firmware.count(c.file) && !LoadFirmwareFile(r, c.file, inputs, error)) return false;
            } else if (c.kind == CommandKind::Read) {
                if (several && c.file.find(kPortPlaceholder) == std::string::npos)
                    return Fail(error, "read " + c.file + ": every board would write this one file; put " +
                                           std::string(kPortPlaceholder) + " in its name, e.g. flash-" +
                                           std::string(kPortPlaceholder) + ".bin");
                std::set<std::string> names;
                const std::vector<PortChoice> boards =
                    r.ports.empty() ? std::vector<PortChoice>{PortChoice{Ini.ComNr, {}}} : r.ports;
                for (const auto& p : boards) {
                    const std::string name = ExpandPort(c.file, p);
                    if (!CheckReadFile(name, error)) return false;
                    if (!names.insert(name).second)
                        return Fail(error, "read " + c.file + ": two boards would both write " + name);
                }
            }
        }
        if (byPages && !LoadPages(inputs, error)) return false;
        if (r.commands.end() != std::find_if(r.commands.begin(), r.commands.end(),
                                             [](const Command& c) { return c.NeedsChip(); }) &&
            !LoadIdentities(inputs, error))
            return false;
        if (r.log) {
            // Found out now, not after the board was programmed.
            std::FILE* f = std::fopen(r.log->c_str(), "ab");
            if (!f || std::fclose(f) != 0) return Fail(error, "--log: cannot append to " + *r.log);
        }
    } catch (const platform::FileError& e) {
        return Fail(error, e.what());
    }
    return true;
}

}  // namespace cli
