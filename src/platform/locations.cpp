#include "platform/locations.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/textfile.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

namespace fs = std::filesystem;

// The build sets VELKOR_DATA_FROM_BIN from the install layout: the data
// folder as seen from the folder of the programs, "../share/velkor".
constexpr const char* kDataFromBin = VELKOR_DATA_FROM_BIN;
constexpr const char* kAppFolder = "velkor";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Folder(const fs::path& path) {
    std::string text = path.lexically_normal().make_preferred().string();
    if (text.empty() || text.back() != fs::path::preferred_separator) text += fs::path::preferred_separator;
    return text;
}

bool MayWrite(const std::string& dir) {
#if defined(_WIN32)
    return _access(dir.c_str(), 2) == 0;
#else
    return access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

// Empty when the user has none (no home folder at all).
std::string ConfigDir(const ProgramPlace& place) {
    if (!place.configHome.empty() && fs::path(place.configHome).is_absolute())
        return Folder(fs::path(place.configHome) / kAppFolder);
    if (!place.home.empty()) return Folder(fs::path(place.home) / ".config" / kAppFolder);
    return {};
}

#if !defined(_WIN32)
std::string HomeDir() {
    std::string home = Env("HOME");
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return home;
}
#endif

}  // namespace

ProgramFiles FindProgramFiles(const ProgramPlace& place) {
    std::error_code ec;
    const std::string dataDir = Folder(fs::path(place.exeDir) / kDataFromBin);
    const bool installed = fs::is_directory(dataDir, ec);
    const std::string configDir = ConfigDir(place);

    ProgramFiles files;
    files.userDir = (!installed && MayWrite(place.exeDir)) || configDir.empty() ? place.exeDir : configDir;
    const std::string shippedDir = installed ? dataDir : place.exeDir;
    // A copy in the user's folder is the user's own table and wins.
    const auto table = [&](const char* name) {
        const std::string own = files.userDir + name;
        return FileExists(own) ? own : shippedDir + name;
    };
    files.konfigFile = files.userDir + "default.cfp";
    files.targetsFile = table("targets.cfi");
    files.pagesFile = table("pages.cfi");
    files.portsDir = files.userDir + "ports";
    return files;
}

ProgramFiles FindProgramFiles(const std::string& exeDir) {
#if defined(_WIN32)
    return FindProgramFiles(ProgramPlace{exeDir, Env("APPDATA"), {}});
#else
    return FindProgramFiles(ProgramPlace{exeDir, Env("XDG_CONFIG_HOME"), HomeDir()});
#endif
}

void CreateUserDir(const ProgramFiles& files) {
    std::error_code ec;
    fs::create_directories(files.userDir, ec);
    if (ec) throw FileError(ec.message() + ": " + files.userDir);
}

std::string FileNameOf(const std::string& path) {
#if defined(_WIN32)
    const auto nameStart = path.find_last_of("\\/:");
#else
    const auto nameStart = path.find_last_of('/');
#endif
    return nameStart == std::string::npos ? path : path.substr(nameStart + 1);
}

}  // namespace platform
