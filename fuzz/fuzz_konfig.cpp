// Configuration reader: any file loads, and what it loaded survives a save
// and a second load unchanged (the writer's own output reads back exactly,
// once the reader has dropped signs, big numbers and leading blanks).
#include <string>

#include "fuzz_input.h"
#include "settings/inifile.h"
#include "settings/konfig.h"

namespace {

bool SameSettings(const TIniRec& a, const TIniRec& b) {
    return a.Baud == b.Baud && a.ComNr == b.ComNr && a.ResetMode == b.ResetMode && a.BootMode == b.BootMode &&
           a.ManuellTyp == b.ManuellTyp && a.AutoErase == b.AutoErase && a.ChipName == b.ChipName &&
           a.FlashStart == b.FlashStart && a.FlashLen == b.FlashLen && a.HexDatei == b.HexDatei;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::InputFile input;
    static const std::string saved = fuzz::ScratchDir() + "/saved.cfp";
    const std::string& path = input.Set(data, size);

    ClearIni();
    SetIniDefaults("");
    FUZZ_CHECK(LoadKonfig(path));
    FUZZ_CHECK(Ini.KonfigDatei == path);
    FUZZ_CHECK(Ini.Baud >= 0 && Ini.ComNr >= 0 && Ini.ResetMode >= 0 && Ini.BootMode >= 0);
    const TIniRec loaded = Ini;

    FUZZ_CHECK(SaveKonfig(saved));
    ClearIni();
    FUZZ_CHECK(LoadKonfig(saved));
    FUZZ_CHECK(SameSettings(Ini, loaded));
    return 0;
}
