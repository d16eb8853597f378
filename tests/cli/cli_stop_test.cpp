// velkor-cli stopped from outside in the middle of a job: it ends at once
// with a status naming the signal, leaves no read-out file that looks whole,
// and the port opens again for a user without privileges, whom a leftover
// exclusive mode would keep out.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "cli_run.h"
#include "support/recorders.h"
#include "support/unprivileged.h"
#include "support/wait_for.h"

namespace {

using testsupport::ProgramDir;
using testsupport::ReadFile;

constexpr int kLimitMs = 60'000;

pid_t Start(const std::vector<std::string>& argv, const std::string& output) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// The exit status, -1 if it didn't end in time or ended by the signal itself.
int Ended(pid_t pid) {
    int status = 0;
    if (!testsupport::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, kLimitMs, 20)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliStop, EachSignalEndsTheJobAndLeavesThePortUsable) {
    const struct {
        int signal;
        const char* command;
        const char* seen;  // in the chip's log once the job is under way
    } cases[] = {
        {SIGINT, "program", "31 Write Memory 08000400"},
        {SIGTERM, "blank", "11 Read Memory 08000400"},
        {SIGHUP, "read", "11 Read Memory 08000400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        testsupport::TempDir tmp;
        tmp.Write("fw.bin", std::string(0x8000, '\x5A'));
        clitest::Background sim(ProgramDir() + "/velkor-sim",
                                {"--wire-time", "--no-flash-time", "--log", tmp.File("sim.log")});
        const std::string port = sim.firstLine();
        ASSERT_FALSE(port.empty());
        const std::string file = tmp.File(c.command == std::string("read") ? "out.bin" : "fw.bin");
        std::vector<std::string> argv{clitest::CliPath(), "--device", port, c.command};
        if (c.command != std::string("blank")) argv.push_back(file);
        const pid_t cli = Start(argv, tmp.File("cli.out"));
        ASSERT_TRUE(testsupport::WaitFor([&] { return ReadFile(tmp.File("sim.log")).find(c.seen) != std::string::npos; },
                                         kLimitMs, 20))
            << ReadFile(tmp.File("cli.out"));
        ::kill(cli, c.signal);
        EXPECT_EQ(Ended(cli), 128 + c.signal) << ReadFile(tmp.File("cli.out"));
        EXPECT_NE(ReadFile(tmp.File("cli.out")).find("stopped by"), std::string::npos);
        if (c.command == std::string("read")) {
            EXPECT_FALSE(std::filesystem::exists(file));
        }

        testsupport::Unprivileged user;
        ASSERT_TRUE(user.Own(port));
        const std::string opened = user.Run([&] {
            const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd < 0) return std::string(std::strerror(errno));
            ::close(fd);
            return std::string("opened");
        });
        if (user.skipped()) GTEST_SKIP() << user.why();
        EXPECT_EQ(opened, "opened");
    }
}

}  // namespace
