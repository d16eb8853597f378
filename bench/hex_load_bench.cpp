// Loading the HEX file of a full 2 MiB image, against srec_cat turning the
// same file into a binary. The goal is to be faster than srec_cat.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "settings/hexfile.h"
#include "settings/inifile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Fixture {
    fs::path dir;
    std::string binary, hex, readBack;
    std::vector<std::uint8_t> image;
};
Fixture g;

// Runs the program, waits for it; its exit status.
int Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SetUpFiles() {
    std::string tmpl = (fs::temp_directory_path() / "velkor-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return false;
    g.dir = tmpl;
    g.binary = (g.dir / "image.bin").string();
    g.hex = (g.dir / "image.hex").string();
    g.readBack = (g.dir / "back.bin").string();

    std::mt19937 gen(2024);
    g.image.resize(kImageSize);
    for (auto& b : g.image) b = static_cast<std::uint8_t>(gen());
    std::ofstream(g.binary, std::ios::binary)
        .write(reinterpret_cast<const char*>(g.image.data()), static_cast<std::streamsize>(g.image.size()));

    if (Spawn({"srec_cat", g.binary, "-binary", "-o", g.hex, "-intel"}) != 0) {
        std::fprintf(stderr, "srec_cat failed or is missing (Debian package srecord, scripts/install-deps.sh)\n");
        return false;
    }
    // The figure only counts if the load is right.
    Ini.FlashStart = 0x08000000;
    platform::NullStatusBar bar;
    std::string message;
    if (!LoadHexFile(bar, g.hex, message) || std::memcmp(FlashImage, g.image.data(), kImageSize) != 0) {
        std::fprintf(stderr, "the HEX file does not load as the image: %s\n", message.c_str());
        return false;
    }
    std::printf("HEX file of a 2 MiB image: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(g.hex)));
    return true;
}

void BM_LoadHexFile(benchmark::State& state) {
    platform::NullStatusBar bar;
    std::string message;
    for (auto _ : state) {
        if (!LoadHexFile(bar, g.hex, message)) state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(FlashImage[kImageSize - 1]);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(g.hex)));
}

void BM_SrecCatToBinary(benchmark::State& state) {
    for (auto _ : state) {
        if (Spawn({"srec_cat", g.hex, "-intel", "-o", g.readBack, "-binary"}) != 0)
            state.SkipWithError("srec_cat failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(g.hex)));
}

// Keeps the real time of each benchmark for the comparison at the end.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs)
            if (!r.error_occurred) ms[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> ms;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
#ifndef __OPTIMIZE__
    std::printf("Built without optimisation: configure with -DCMAKE_BUILD_TYPE=Release for figures that count\n");
#endif
    if (!SetUpFiles()) return 1;
    const char* load = "LoadHexFile/2MiB";
    const char* srec = "srec_cat hex to binary/2MiB";
    benchmark::RegisterBenchmark(load, BM_LoadHexFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
    benchmark::RegisterBenchmark(srec, BM_SrecCatToBinary)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    if (reporter.ms.count(load) && reporter.ms.count(srec)) {
        const double ours = reporter.ms[load], theirs = reporter.ms[srec];
        std::printf("LoadHexFile %.1f ms, srec_cat %.1f ms: %.2f times as fast (goal: faster than srec_cat) - %s\n",
                    ours, theirs, theirs / ours, ours < theirs ? "met" : "NOT met");
    }
    std::error_code ec;
    fs::remove_all(g.dir, ec);
    benchmark::Shutdown();
    return 0;
}
