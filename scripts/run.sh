#!/usr/bin/env bash
# Installs what is missing, builds, and starts a live demonstration: the meter
# simulator on 127.0.0.1:1502, and zep in a demo working directory whose
# settings poll it once a second, with a day of sample data beside them. The
# simulator stops when zep exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build
build="$root/build"
sim_address=127.0.0.1:1502
work=${ZEP_WORK_DIR:-"${XDG_DATA_HOME:-$HOME/.local/share}/zep/demo"}
mkdir -p "$work"
echo "Working directory: $work"

# The link settings point at the simulator. An existing file keeps every other
# setting the user made; a new one is written by the program's own code, so
# that it holds exactly what zep itself would write.
config="$work/config/config.ini"
if [[ -f "$config" ]]; then
    sed -i -e "s/^comtype=.*/comtype=1/" -e "s/^IP=.*/IP=$sim_address/" -e "s/^interval=.*/interval=1s/" "$config"
    for setting in comtype=1 "IP=$sim_address" interval=1s; do
        grep -q "^${setting%%=*}=" "$config" || echo "$setting" >>"$config"
    done
else
    "$build/tools/zep-demo-config" "$work"
fi

# A day of records at 5 s, ending now, for the review side (打开).
sample="$work/sample-day.txt"
if [[ ! -f "$sample" ]]; then
    "$build/tools/zep-meter-sim" --write-file "$sample.part" --records 17280 --interval 5 \
        --start "$(date -d '-1 day' '+%Y/%m/%d %H:%M:%S')"
    mv "$sample.part" "$sample"
fi
echo "Sample data file: $sample"

sim_pid=
stop_simulator() {
    if [[ -n "$sim_pid" ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=
    fi
}
trap stop_simulator EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

sim_log="$work/zep-meter-sim.log"
if (exec 3<>"/dev/tcp/${sim_address%:*}/${sim_address#*:}") 2>/dev/null; then
    echo "Port $sim_address is already taken: the simulator is not started, and zep will poll whatever listens there." >&2
else
    "$build/tools/zep-meter-sim" --tcp "$sim_address" 2>"$sim_log" &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q "serving Modbus TCP on" "$sim_log" 2>/dev/null && break
        if ! kill -0 "$sim_pid" 2>/dev/null; then
            wait "$sim_pid" 2>/dev/null || true
            sim_pid=
            echo "The simulator did not start on $sim_address (see $sim_log); starting zep anyway." >&2
            break
        fi
        sleep 0.1
    done
    [[ -n "$sim_pid" ]] && echo "Meter simulator on $sim_address (pid $sim_pid, log $sim_log)."
fi
echo "In zep: 采集实时数据(&C), then 开始实时采集(&S) shows the live curves."

cd "$work"
status=0
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "No display found: starting under xvfb-run." >&2
    xvfb-run -a -s "-screen 0 1600x900x24" "$build/zep" "$@" || status=$?
else
    "$build/zep" "$@" || status=$?
fi
exit "$status"
