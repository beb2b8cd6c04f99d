#!/usr/bin/env bash
# Installs what is missing, builds, and starts zep in a working directory of
# its own, where it keeps config/config.ini.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build
work=${ZEP_WORK_DIR:-"${XDG_DATA_HOME:-$HOME/.local/share}/zep/work"}
mkdir -p "$work"
cd "$work"
echo "Working directory: $work"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "No display found: starting under xvfb-run." >&2
    exec xvfb-run -a -s "-screen 0 1600x900x24" "$root/build/zep" "$@"
fi
exec "$root/build/zep" "$@"
