#include "settings/konfig.h"

#include "platform/textfile.h"
#include "settings/inifile.h"

namespace {

const char* BoolText(bool value) { return value ? "TRUE" : "FALSE"; }

// Cuts the line in place, so whatever follows is tested on what is left:
// stored files rely on a chip name such as "HEX ..." also setting HexDatei.
std::string TextValue(std::string& line) {
    line.erase(0, 7);
    const std::size_t first = line.find_first_not_of(' ');
    line.erase(0, first == std::string::npos ? line.size() : first);
    return line;
}

}  // namespace

std::vector<std::string> KonfigLines() {
    return {
        "BAUD    " + std::to_string(Ini.Baud),
        "COM     " + std::to_string(Ini.ComNr),
        "RESET   " + std::to_string(Ini.ResetMode),
        "BOOT    " + std::to_string(Ini.BootMode),
        std::string("MANU    ") + BoolText(Ini.ManuellTyp),
        std::string("AUTOERA ") + BoolText(Ini.AutoErase),
        "CHIPNAM " + Ini.ChipName,
        "FLASH   " + std::to_string(Ini.FlashStart),
        "FLENG   " + std::to_string(Ini.FlashLen),
        "INI     " + Ini.KonfigDatei,
        "HEX     " + Ini.HexDatei,
    };
}

bool SaveKonfig(const std::string& fileName) {
    if (fileName.empty()) return false;
    // A failed save must not cost the user the settings saved last time.
    platform::TextWriter out(fileName, platform::WriteMode::kReplace);
    for (const std::string& line : KonfigLines()) out.WriteLine(line);
    out.Close();
    return true;
}

bool LoadKonfig(const std::string& fileName) {
    if (fileName.empty()) return false;
    platform::TextReader in(fileName);
    while (!in.Eof()) {
        std::string line = in.ReadLine();
        // Every key is tried in turn; none of them is an else-branch.
        if (line.starts_with("BAUD ")) Ini.Baud = DigitsToInt(line);
        if (line.starts_with("FLASH ")) Ini.FlashStart = static_cast<std::uint32_t>(DigitsToInt(line));
        if (line.starts_with("FLENG ")) Ini.FlashLen = static_cast<std::uint32_t>(DigitsToInt(line));
        if (line.starts_with("COM ")) Ini.ComNr = DigitsToInt(line);
        if (line.starts_with("RESET ")) Ini.ResetMode = DigitsToInt(line);
        if (line.starts_with("BOOT ")) Ini.BootMode = DigitsToInt(line);
        if (line.starts_with("MANU ")) Ini.ManuellTyp = line.find("TRUE") != std::string::npos;
        if (line.starts_with("AUTOERA ")) Ini.AutoErase = line.find("TRUE") != std::string::npos;
        if (line.starts_with("CHIPNAM ")) Ini.ChipName = TextValue(line);
        if (line.starts_with("HEX ")) Ini.HexDatei = TextValue(line);
    }
    in.Close();
    Ini.KonfigDatei = fileName;
    return true;
}
