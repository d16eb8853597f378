// The loaders read from a path, so every input goes into one file that is
// rewritten in place: a memfd where there is one, else a file in the
// temporary folder (tmpfs on most systems).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

// A private scratch folder, for files a target writes itself.
inline std::string ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp ? tmp : "/tmp") +
                          "/velkor-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

class InputFile {
public:
    InputFile() {
#ifdef MFD_CLOEXEC
        fd_ = memfd_create("velkor-fuzz", MFD_CLOEXEC);
        if (fd_ >= 0) {
            path_ = "/proc/self/fd/" + std::to_string(fd_);
            if (access(path_.c_str(), R_OK) == 0) return;
            close(fd_);
        }
#endif
        path_ = ScratchDir() + "/input";
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            std::perror(path_.c_str());
            std::abort();
        }
    }

    // The file holds exactly these bytes afterwards.
    const std::string& Set(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(fd_, 0) != 0 || (size && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
            std::perror(path_.c_str());
            std::abort();
        }
        return path_;
    }

private:
    int fd_ = -1;
    std::string path_;
};

// A broken promise of the code under test: stop, so the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                          \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

}  // namespace fuzz
