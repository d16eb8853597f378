// The programs as a user meets them once installed: cmake --install of this
// build into a scratch DESTDIR under /usr, then velkor-cli and the window run
// as a user without privileges (root drops to nobody through setpriv) with a
// home folder of its own. The settings must land in that user's
// configuration folder, survive the next start, and nothing may be written
// under the install prefix. Also: the desktop files pass their validators and
// the manual pages name every command and option that --help lists.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "sim/sim_process.h"
#include "support/recorders.h"
#include "support/unprivileged.h"
#include "support/wait_for.h"
#include "support/x_session.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLimitMs = 60'000;
const std::string kAppId = "org.velkor.Programmer";

using testsupport::ReadFile;

// Every path under root with its size and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        out[e.path().string()] = std::to_string(st.st_size) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                                 std::to_string(st.st_mtim.tv_nsec);
    }
    return out;
}

std::string RunProgram(const std::vector<std::string>& argv, int* code = nullptr) {
    std::string out;
    const int rc = simtest::Run(argv, out, 120);
    if (code) *code = rc;
    return out;
}

class InstalledTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The user must reach every folder on the way.
        fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        int rc = 0;
        const std::string out = RunProgram({"/usr/bin/env", "DESTDIR=" + Dest(), VELKOR_CMAKE_COMMAND, "--install",
                                     VELKOR_BINARY_DIR, "--prefix", "/usr"},
                                    &rc);
        ASSERT_EQ(rc, 0) << out;
        fs::create_directory(Home());
        ASSERT_TRUE(user.Own(Home()));
        root.Write("lsan.supp", "leak:libdbus-1.so\nleak:libfontconfig.so\n");
    }

    std::string Dest() const { return root.File("dest"); }
    std::string Bin(const std::string& name) const { return Dest() + "/usr/bin/" + name; }
    std::string Share(const std::string& rel) const { return Dest() + "/usr/share/" + rel; }
    std::string Home() const { return root.File("home"); }
    std::string Config(const std::string& name) const { return Home() + "/.config/velkor/" + name; }

    // argv as the user, with nothing of this process's environment but the
    // display and the sanitizers' leak list.
    std::vector<std::string> AsUser(const std::vector<std::string>& argv) const {
        std::vector<std::string> cmd{"/usr/bin/env", "-i", "HOME=" + Home(), "PATH=/usr/bin:/bin",
                                     "LSAN_OPTIONS=suppressions=" + root.File("lsan.supp")};
        if (const char* d = std::getenv("DISPLAY")) cmd.push_back(std::string("DISPLAY=") + d);
        cmd.insert(cmd.end(), argv.begin(), argv.end());
        return user.Command(cmd);
    }

    std::string Cli(const std::vector<std::string>& args, int* code) const {
        std::vector<std::string> argv{Bin("velkor-cli")};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(AsUser(argv), code);
    }

    // Starts the installed window as the user and closes it as a window
    // manager would, once it shows.
    void StartAndCloseWindow(const std::string& xdotool) {
        testsupport::Child window(AsUser({Bin("velkor")}), root.File("velkor.out"), root.File("lsan.supp"));
        std::string id;
        testsupport::WaitFor(
            [&] {
                int rc = 0;
                std::istringstream(RunProgram({xdotool, "search", "--onlyvisible", "--name", "^Velkor Programmer$"}, &rc)) >>
                    id;
                return rc == 0 && !id.empty();
            },
            kLimitMs, 50);
        ASSERT_FALSE(id.empty()) << "the window did not show: " << ReadFile(root.File("velkor.out"));
        ASSERT_TRUE(testsupport::SendClose(id));
        EXPECT_EQ(window.Wait(kLimitMs), 0) << ReadFile(root.File("velkor.out"));
    }

    testsupport::TempDir root;
    testsupport::Unprivileged user;
};

TEST_F(InstalledTest, SettingsLiveInTheUsersConfigurationFolder) {
    user.Run([] { return std::string(); });
    if (user.skipped()) GTEST_SKIP() << user.why();
    const std::string xdotool = testsupport::Which("xdotool");
    if (testsupport::Which("Xvfb").empty() || xdotool.empty())
        GTEST_SKIP() << "needs Xvfb and xdotool (scripts/install-deps.sh installs them)";
    testsupport::Xvfb xvfb(root.File("xvfb.log"));
    ASSERT_FALSE(xvfb.display().empty()) << ReadFile(root.File("xvfb.log"));
    ::setenv("DISPLAY", xvfb.display().c_str(), 1);
    const auto installed = Snapshot(Dest());

    // velkor-cli reads the user's folder and writes nothing there; the
    // shipped chip table comes from share/velkor.
    int rc = -1;
    std::string out = Cli({"settings"}, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("INI     " + Config("default.cfp") + "\r\n"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(Config("default.cfp")));
    out = Cli({"targets"}, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("STM32F10x medium density (128 K Flash ab $08000000)"), std::string::npos) << out;

    // The first start creates default.cfp there, as the user's own file.
    StartAndCloseWindow(xdotool);
    ASSERT_TRUE(fs::exists(Config("default.cfp"))) << ReadFile(root.File("velkor.out"));
    struct stat st {};
    ASSERT_EQ(::stat(Config("default.cfp").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, user.uid());

    // A setting the user changed survives the next start and close, and the
    // command line sees it too.
    std::string saved = ReadFile(Config("default.cfp"));
    const std::size_t baud = saved.find("BAUD    28800");
    ASSERT_NE(baud, std::string::npos) << saved;
    saved.replace(baud, 13, "BAUD    57600");
    { std::ofstream(Config("default.cfp"), std::ios::binary | std::ios::trunc) << saved; }
    StartAndCloseWindow(xdotool);
    EXPECT_NE(ReadFile(Config("default.cfp")).find("BAUD    57600\r\n"), std::string::npos);
    out = Cli({"settings"}, &rc);
    EXPECT_EQ(out.rfind("BAUD    57600\r\n", 0), 0u) << out;

    EXPECT_EQ(Snapshot(Dest()), installed) << "something was written under the install prefix";
}

TEST_F(InstalledTest, LayoutAndDesktopFilesValidate) {
    // Nothing but the programs in bin.
    std::set<std::string> bin;
    for (const auto& e : fs::directory_iterator(Dest() + "/usr/bin")) bin.insert(e.path().filename().string());
    EXPECT_EQ(bin, (std::set<std::string>{"velkor", "velkor-cli", "velkor-sim"}));
    for (const std::string& rel : std::vector<std::string>{"velkor/targets.cfi", "applications/" + kAppId + ".desktop", "metainfo/" + kAppId + ".metainfo.xml",
          "mime/packages/" + kAppId + ".xml", "icons/hicolor/scalable/apps/" + kAppId + ".svg",
          "icons/hicolor/48x48/apps/" + kAppId + ".png", "man/man1/velkor.1.gz", "man/man1/velkor-cli.1.gz",
          "man/man1/velkor-sim.1.gz", "doc/velkor/README.md"})
        EXPECT_TRUE(fs::exists(Share(rel))) << rel;

    int rc = -1;
    EXPECT_EQ(RunProgram({Bin("velkor"), "--version"}, &rc), std::string("velkor ") + VELKOR_VERSION + "\n");
    EXPECT_EQ(rc, 0);

    const std::string validate = testsupport::Which("desktop-file-validate");
    const std::string appstream = testsupport::Which("appstreamcli");
    if (validate.empty() || appstream.empty())
        GTEST_SKIP() << "needs desktop-file-validate and appstreamcli (desktop-file-utils, appstream)";
    std::string out = RunProgram({validate, Share("applications/" + kAppId + ".desktop")}, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "");
    out = RunProgram({appstream, "validate", "--no-net", Share("metainfo/" + kAppId + ".metainfo.xml")}, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("W:"), std::string::npos) << out;
}

// The manual pages are written by hand from --help: what --help lists must
// be there, or a new command or option went undocumented.
TEST(ManualPages, NameEveryCommandAndOptionOfHelp) {
    const std::string programs = testsupport::ProgramDir();
    for (const std::string page : {"velkor", "velkor-cli", "velkor-sim"}) {
        SCOPED_TRACE(page);
        int rc = -1;
        std::string help = RunProgram({programs + "/" + page, "--help"}, &rc);
        ASSERT_EQ(rc, 0) << help;
        const std::string man = ReadFile(std::string(VELKOR_BINARY_DIR) + "/man/" + page + ".1");
        ASSERT_FALSE(man.empty());
        std::set<std::string> words;
        const std::regex option("(^|[ ,(])(--[a-z][a-z-]*)");
        for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
            words.insert((*it)[2]);
        // The commands: the first word of each entry under "Commands:".
        const std::size_t commands = help.find("\nCommands:\n");
        if (commands != std::string::npos) {
            std::istringstream in(help.substr(commands + 11));
            for (std::string line; std::getline(in, line) && !line.empty();)
                if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] != ' ')
                    words.insert(std::regex_replace(line.substr(2, line.find(' ', 2) - 2), std::regex("[,.]$"), ""));
        }
        // The choices an option lists, as "--preset NAME   f103 (default), f407".
        const std::regex choices(R"(\n +--[a-z-]+ [A-Z]+ +([a-z0-9]+(?: \(default\))?(?:, [a-z0-9]+)+)\n)");
        for (auto it = std::sregex_iterator(help.begin(), help.end(), choices); it != std::sregex_iterator(); ++it) {
            const std::string list = std::regex_replace((*it)[1].str(), std::regex(R"( \(default\)|,)"), "");
            std::istringstream names(list);
            for (std::string n; names >> n;) words.insert(n);
        }
        // Every word of the bold macros (.B, .BI, .BR) of the page, as text.
        std::set<std::string> bold;
        std::istringstream in(man);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(".B", 0) != 0) continue;
            // Quotes, brackets and font changes around a word don't count.
            std::string text = std::regex_replace(line.substr(line.find(' ') + 1), std::regex(R"(\\-)"), "-");
            text = std::regex_replace(text, std::regex(R"(\\f[A-Z]|["\[\]])"), " ");
            std::istringstream tokens(text);
            for (std::string t; tokens >> t;) bold.insert(t);
        }
        EXPECT_FALSE(words.empty());
        for (const std::string& w : words) EXPECT_TRUE(bold.count(w)) << w << " is not in " << page << ".1";
    }
}

}  // namespace
