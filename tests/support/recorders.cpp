#include "support/recorders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

std::vector<std::string> RecordingStatusBar::Texts() const {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.text);
    return out;
}

TempDir::TempDir() {
#if defined(_WIN32)
    // No mkdtemp: a fresh name is ours once create_directory made it.
    const auto base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int i = 0; i < 100 && path_.empty(); ++i) {
        const auto dir = base / ("velkor-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) path_ = dir.string();
    }
    if (path_.empty()) throw std::runtime_error("no temporary directory");
#else
    std::string tmpl = (std::filesystem::temp_directory_path() / "velkor-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    std::ofstream f(File(name), std::ios::binary);
    f << content;
}

std::string ProgramDir() {
    const char* dir = std::getenv("VELKOR_PROGRAM_DIR");
    return dir && *dir ? dir : VELKOR_PROGRAM_DIR;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace testsupport
