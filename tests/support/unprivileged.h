// Running a piece of a test as a user without privileges, where root's
// would hide the fault (root writes into any folder). Tests run as root in
// CI: there the piece runs in a child process as "nobody"; run by any other
// user it runs as that user.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class Unprivileged {
public:
    Unprivileged();

    // Hands a file or folder the test set up to the user the piece runs as.
    bool Own(const std::string& path) const;
    unsigned uid() const { return uid_; }
    // Runs body in a child process as that user. What body returns (or the
    // text of what it threw) comes back; skipped says why it could not run.
    std::string Run(const std::function<std::string()>& body);
    // argv, to be run as that user: behind setpriv where root drops to it.
    std::vector<std::string> Command(const std::vector<std::string>& argv) const;
    bool skipped() const { return !why_.empty(); }
    const std::string& why() const { return why_; }

private:
    bool drop_ = false;
    unsigned uid_ = 0;
    unsigned gid_ = 0;
    std::string why_;
};

}  // namespace testsupport
