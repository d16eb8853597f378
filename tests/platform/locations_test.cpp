// Where the programs find default.cfp, targets.cfi, pages.cfi and ports/: in
// a program folder of the user's, beside the executable; installed, in the
// user's configuration folder, with the shipped tables from share/velkor.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/locations.h"
#include "platform/textfile.h"
#include "support/recorders.h"

#ifndef _WIN32
#include <unistd.h>

#include "support/unprivileged.h"
#endif

namespace {

namespace fs = std::filesystem;

TEST(Locations, BesideTheProgramOrInTheUsersFolder) {
    testsupport::TempDir root;
    const auto at = [&](const std::string& rel) { return root.path() + "/" + rel; };
    fs::create_directories(at("build/program"));
    fs::create_directories(at("usr/bin"));
    fs::create_directories(at("usr/share/velkor"));
    fs::create_directories(at("own/velkor"));
    root.Write("own/velkor/targets.cfi", ";mine\n");

    const std::string build = at("build/program/");
    const std::string installed = at("usr/bin/");
    const std::string shipped = at("usr/share/velkor/");
    const struct {
        const char* what;
        std::string exeDir, configHome, home;
        std::string userDir, targetsDir, pagesDir;
    } cases[] = {
        {"build folder", build, at("cfg"), at("home"), build, build, build},
        {"installed, XDG_CONFIG_HOME set", installed, at("cfg"), at("home"), at("cfg/velkor/"), shipped, shipped},
        {"installed, without XDG_CONFIG_HOME", installed, "", at("home"), at("home/.config/velkor/"), shipped, shipped},
        {"installed, a relative XDG_CONFIG_HOME counts as none", installed, "cfg", at("home"),
         at("home/.config/velkor/"), shipped, shipped},
        {"installed, the user's own targets.cfi wins", installed, at("own"), at("home"), at("own/velkor/"),
         at("own/velkor/"), shipped},
        {"installed, no home at all: beside the program", installed, "", "", installed, shipped, shipped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const platform::ProgramFiles f = platform::FindProgramFiles({c.exeDir, c.configHome, c.home});
        EXPECT_EQ(fs::path(f.userDir), fs::path(c.userDir));
        EXPECT_EQ(fs::path(f.konfigFile), fs::path(c.userDir + "default.cfp"));
        EXPECT_EQ(fs::path(f.portsDir), fs::path(c.userDir + "ports"));
        EXPECT_EQ(fs::path(f.targetsFile), fs::path(c.targetsDir + "targets.cfi"));
        EXPECT_EQ(fs::path(f.pagesFile), fs::path(c.pagesDir + "pages.cfi"));
    }
}

TEST(Locations, FirstStartCreatesTheUsersFolder) {
    testsupport::TempDir root;
    fs::create_directories(root.File("usr/bin"));
    fs::create_directories(root.File("usr/share/velkor"));
    const auto f = platform::FindProgramFiles({root.File("usr/bin/"), "", root.File("home")});
    platform::CreateUserDir(f);
    EXPECT_TRUE(fs::is_directory(root.File("home/.config/velkor")));

    // A file where the folder should be: the window shows why it can't save.
    root.Write("blocked", "");
    EXPECT_THROW(platform::CreateUserDir(platform::FindProgramFiles({root.File("usr/bin/"), "", root.File("blocked")})),
                 platform::FileError);
}

#ifndef _WIN32
// An unpacked copy in a folder the user may not write: the settings go to the
// user's folder, the tables still come from beside the program.
TEST(Locations, ReadOnlyProgramFolder) {
    testsupport::TempDir root;
    fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const std::string exeDir = root.File("copy/");
    fs::create_directory(exeDir);
    if (geteuid() != 0) fs::permissions(exeDir, fs::perms::owner_read | fs::perms::owner_exec);
    testsupport::Unprivileged user;
    const std::string found = user.Run([&] {
        const auto f = platform::FindProgramFiles({exeDir, root.File("cfg"), ""});
        return f.userDir + "|" + f.targetsFile;
    });
    fs::permissions(exeDir, fs::perms::owner_all);
    if (user.skipped()) GTEST_SKIP() << user.why();
    EXPECT_EQ(found, root.File("cfg/velkor/") + "|" + exeDir + "targets.cfi");
}
#endif

}  // namespace
