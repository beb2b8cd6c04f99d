#!/usr/bin/env bash
# Configures and builds into the given directory (default: build), passing any
# further arguments to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
[[ "$dir" = /* ]] || dir="$root/$dir"
generator=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f "$dir/CMakeCache.txt" ]]; then
    generator=(-G Ninja)
fi
cmake -S "$root" -B "$dir" "${generator[@]}" "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
