#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan + UBSan and runs each
# for a bounded time, starting from its seed corpus in fuzz/corpus/<target>.
# Installs what it needs (Debian 12).
#   scripts/fuzz.sh [SECONDS per target, default 60] [build dir, default build-fuzz]
#   scripts/fuzz.sh --coverage [build dir]   line coverage of the code under
#                                            test by the corpora found so far
# Exit status 1 when a target crashed or broke one of its checks; the input
# that did it is left in <build dir>/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

coverage=false
if [[ "${1:-}" == "--coverage" ]]; then
  coverage=true
  shift
  set -- 0 "$@"
fi
seconds=${1:-60}
build=${2:-build-fuzz}
targets=(hexfile konfig targets identify firmware srec pages elf net)
jobs=${FUZZ_BUILD_JOBS:-2}
out="$build/fuzz"

# llvm brings llvm-profdata and llvm-cov: only the coverage report needs it.
packages=(cmake ninja-build clang libclang-rt-14-dev libelf-dev libgensio-dev pkg-config)
$coverage && packages+=(llvm)
scripts/install-deps.sh "${packages[@]}"

configure() {  # dir, extra compile flags
  local flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_CXX_FLAGS=$2"
               -DVELKOR_FUZZ=ON -DVELKOR_BUILD_UI=OFF -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF)
  [[ "${CI:-}" == "true" ]] && flags+=(-DVELKOR_WERROR=ON)
  cmake -S . -B "$1" -G Ninja "${flags[@]}" > /dev/null
  cmake --build "$1" -j "$jobs" --target "${targets[@]/#/fuzz_}"
}

if $coverage; then
  # The same targets without sanitizers, instrumented for llvm-cov, replaying
  # the seeds and what the fuzzing runs added to them.
  cov="$build/coverage"
  configure "$cov" "-fsanitize=fuzzer-no-link -fprofile-instr-generate -fcoverage-mapping"
  rm -f "$cov"/*.profraw
  objects=()
  for t in "${targets[@]}"; do
    mkdir -p "$out/corpus/$t"
    LLVM_PROFILE_FILE="$cov/$t.profraw" "$cov/fuzz/fuzz_$t" -runs=0 "$out/corpus/$t" "fuzz/corpus/$t" 2> /dev/null
    objects+=(-object "$cov/fuzz/fuzz_$t")
  done
  llvm-profdata merge -sparse "$cov"/*.profraw -o "$cov/fuzz.profdata"
  llvm-cov report -instr-profile="$cov/fuzz.profdata" "${objects[@]:1}" \
    src/settings/hexfile.cpp src/settings/konfig.cpp src/settings/targets.cpp src/settings/inifile.cpp \
    src/jobs/identify.cpp src/platform/textfile.cpp src/settings/firmware.cpp src/settings/srecord.cpp \
    src/settings/pages.cpp src/settings/hex_records.cpp src/settings/elf.cpp \
    src/platform/net_serial_gensio.cpp
  exit 0
fi

configure "$build" "-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
mkdir -p "$out/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp}
failed=()
for t in "${targets[@]}"; do
  # New inputs go to a working corpus in the build tree; the seeds stay as committed.
  work="$out/corpus/$t"
  mkdir -p "$work"
  echo "== fuzz_$t: ${seconds}s"
  if ! "$out/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$out/artifacts/$t-" -print_final_stats=1 \
        "$work" "fuzz/corpus/$t" 2> "$out/$t.log"; then
    failed+=("$t")
    tail -n 40 "$out/$t.log"
  fi
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)' \
    "$out/$t.log" || true
done

if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]} (inputs in $out/artifacts/)" >&2
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds}s each, no crash"
