#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite with the
# offscreen Qt platform. Exits non-zero on any failure.
#
#   scripts/test.sh            the normal build (build/), warnings as errors
#   scripts/test.sh scalar     the data file tests with the reader's portable scan
#                              instead of SSE2 (build-scalar/, those tests only)
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   scripts/test.sh tsan       ThreadSanitizer, tests labelled "threads" only (build-tsan/)
#   scripts/test.sh fuzz       libFuzzer targets built with clang, about 60 s each (build-fuzz/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-plain}
"$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
case "$mode" in
plain)
    "$root/scripts/build.sh" build -DZEP_WERROR=ON
    cd "$root/build"
    ctest --output-on-failure --parallel "$jobs"
    ;;
scalar)
    # Only what the data file tests need: the library and the two tests.
    dir="$root/build-scalar"
    generator=()
    if command -v ninja >/dev/null 2>&1 && [[ ! -f "$dir/CMakeCache.txt" ]]; then
        generator=(-G Ninja)
    fi
    cmake -S "$root" -B "$dir" "${generator[@]}" -DZEP_DATAFILE_SCALAR=ON -DZEP_BUILD_TOOLS=OFF \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$dir" --parallel "$jobs" --target tst_datafile tst_datafile_reference
    cd "$dir"
    ctest --output-on-failure --parallel "$jobs" -R '^tst_datafile'
    ;;
asan)
    "$root/scripts/build.sh" build-asan -DZEP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    cd "$root/build-asan"
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    common=halt_on_error=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
    # Leaks are checked wherever no window system is involved.
    ASAN_OPTIONS=$common:detect_leaks=1 ctest --output-on-failure --parallel "$jobs" -LE widgets
    ASAN_OPTIONS=$common:detect_leaks=0 ctest --output-on-failure --parallel "$jobs" -L widgets
    ;;
tsan)
    "$root/scripts/build.sh" build-tsan -DZEP_TSAN=ON
    cd "$root/build-tsan"
    # Qt's libraries are not instrumented, so ThreadSanitizer cannot see the
    # synchronisation inside them (their mutexes are futexes, not pthread
    # calls). ignore_noninstrumented_modules keeps it from judging the pthread
    # calls Qt makes internally on that partial view; our own code is checked
    # in full, and our locks around Qt's are announced to it (see
    # realtime/signaldata.cpp).
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
        ctest --output-on-failure --parallel "$jobs" -L threads
    ;;
fuzz)
    # Everything is instrumented for coverage and checked by ASan and UBSan;
    # only the fuzz targets link libFuzzer's main.
    dir="$root/build-fuzz"
    sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    generator=()
    if command -v ninja >/dev/null 2>&1 && [[ ! -f "$dir/CMakeCache.txt" ]]; then
        generator=(-G Ninja)
    fi
    cmake -S "$root" -B "$dir" "${generator[@]}" -DZEP_FUZZ=ON -DZEP_BUILD_TOOLS=OFF \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS="$sanitizers -fsanitize=fuzzer-no-link" \
        -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >/dev/null
    cmake --build "$dir" --parallel "$jobs" --target fuzz_datafile fuzz_appconfig
    seconds=${ZEP_FUZZ_SECONDS:-60}
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    for target in datafile appconfig; do
        corpus="$dir/corpus/$target"
        mkdir -p "$corpus" "$dir/artifacts"
        # The corpus grows across runs in the same build directory; the
        # seeds in the source tree are read but never written.
        "$dir/tests/data/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=8192 -timeout=20 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
            "$corpus" "$root/tests/data/fuzz/seeds/$target"
    done
    ;;
*)
    echo "unknown mode: $mode" >&2
    exit 2
    ;;
esac
