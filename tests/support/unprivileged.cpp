#include "support/unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace testsupport {

Unprivileged::Unprivileged() {
    drop_ = ::geteuid() == 0;
    if (!drop_) {
        uid_ = ::geteuid();
        gid_ = ::getegid();
        return;
    }
    const passwd* pw = ::getpwnam("nobody");
    uid_ = pw ? pw->pw_uid : 65534;
    gid_ = pw ? pw->pw_gid : 65534;
}

bool Unprivileged::Own(const std::string& path) const { return !drop_ || ::chown(path.c_str(), uid_, gid_) == 0; }

std::vector<std::string> Unprivileged::Command(const std::vector<std::string>& argv) const {
    std::vector<std::string> out;
    if (drop_)
        out = {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
               "--clear-groups", "--"};
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
}

std::string Unprivileged::Run(const std::function<std::string()>& body) {
    int p[2];
    if (::pipe(p) != 0) {
        why_ = "no pipe";
        return {};
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(p[0]);
        ::close(p[1]);
        why_ = "no fork";
        return {};
    }
    if (pid == 0) {
        ::close(p[0]);
        std::string out;
        if (drop_ && (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0)) {
            out = "\1can't drop root's privileges here (no other user id in this namespace?)";
        } else {
            try {
                out = body();
            } catch (const std::exception& e) {
                out = e.what();
            }
        }
        for (std::size_t done = 0; done < out.size();) {
            const ssize_t n = ::write(p[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(p[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = ::read(p[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    ::close(p[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!out.empty() && out[0] == '\1') {
        why_ = out.substr(1);
        out.clear();
    }
    return out;
}

}  // namespace testsupport
