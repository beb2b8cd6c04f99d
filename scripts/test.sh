#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite with the
# offscreen Qt platform. Exits non-zero on any failure.
#
#   scripts/test.sh            the normal build (build/)
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-plain}
"$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
case "$mode" in
plain)
    "$root/scripts/build.sh" build
    cd "$root/build"
    ctest --output-on-failure --parallel "$jobs"
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
*)
    echo "unknown mode: $mode" >&2
    exit 2
    ;;
esac
