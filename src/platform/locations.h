// Where the program's own files are read and written. A program folder the
// user may write (a build folder, an unpacked copy) holds them all beside the
// executable. An installed program (its data folder <prefix>/share/velkor
// beside <prefix>/bin) or a folder the user may not write keeps the user's
// files in the user's configuration folder and reads the shipped tables from
// the data folder unless the user has a copy of their own.
#pragma once

#include <string>

namespace platform {

struct ProgramFiles {
    std::string userDir;      // default.cfp and ports/ go here; trailing separator
    std::string konfigFile;   // default.cfp: read at start, written at exit
    std::string targetsFile;  // targets.cfi to read
    std::string pagesFile;    // pages.cfi to read
    std::string portsDir;     // the COM<n> links
};

// What the rule looks at, apart from the folders themselves.
struct ProgramPlace {
    std::string exeDir;      // the executable's folder, with its trailing separator
    std::string configHome;  // $XDG_CONFIG_HOME (Windows: %APPDATA%); empty or relative: not set
    std::string home;        // $HOME, for ~/.config when configHome is not set
};

// The rule for this process: its executable's folder and its environment.
ProgramFiles FindProgramFiles(const std::string& exeDir);
ProgramFiles FindProgramFiles(const ProgramPlace& place);

// Creates the user's folder when it is the configuration folder, so that the
// first start can write default.cfp there. Throws FileError when it can't.
void CreateUserDir(const ProgramFiles& files);

// The file name in a path: after the last folder separator this system knows.
std::string FileNameOf(const std::string& path);

}  // namespace platform
