#include "settings/startup.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/ports.h"
#include "platform/textfile.h"
#include "settings/inifile.h"
#include "settings/konfig.h"

namespace {

class NoList : public TChipList {
    void AddItem(const std::string&) override {}
};

// Extension of the file name, after its last ".", in upper case.
std::string UpperExtension(const std::string& path) {
    const std::string name = platform::FileNameOf(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return ext;
}

void TakeArgument(const std::string& path) {
    if (path.empty()) return;
    const std::string ext = UpperExtension(path);
    if (platform::FileExists(path) && ext == "CFP") LoadKonfig(path);
    if (platform::FileExists(path) && ext == "HEX") Ini.HexDatei = path;
}

}  // namespace

TStarted StartUp(const TStartUp& how) {
    // Each file is a step of its own: one that can't be read leaves the others.
    const auto step = [&](auto&& body) {
        if (!how.report) return body();
        try {
            body();
        } catch (const std::exception& e) {
            how.report(e.what());
        }
    };
    TStarted out;
    std::memset(FlashImage, 0xFF, kImageSize);
    ClearIni();
    out.files = platform::FindProgramFiles(how.exeDir.empty() ? platform::ExecutableDir() : how.exeDir);
    platform::SetPortsDir(out.files.portsDir);

    step([&] {
        NoList none;
        if (platform::FileExists(out.files.targetsFile)) LoadTargets(out.files.targetsFile, how.chips ? *how.chips : none);
    });
    SetIniDefaults(out.files.userDir);
    step([&] {
        if (how.konfigFile) {
            out.konfigMissing = !platform::FileExists(*how.konfigFile);
            if (!out.konfigMissing) LoadKonfig(*how.konfigFile);
        } else if (platform::FileExists(Ini.KonfigDatei)) {
            LoadKonfig(Ini.KonfigDatei);
        } else if (how.writeKonfig) {
            platform::CreateUserDir(out.files);
            SaveKonfig(Ini.KonfigDatei);
        }
    });
    if (out.konfigMissing) return out;
    step([&] { TakeArgument(how.argument); });
    ApplyBaudRule();
    return out;
}
