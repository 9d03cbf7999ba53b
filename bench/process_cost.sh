#!/usr/bin/env bash
# Whole-process cost: runs the real service in the sandbox on a simulated
# vehicle in power state 2 for a while and reports its CPU time and peak
# memory, read from /proc.
#   bench/process_cost.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "${1:?usage: process_cost.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-30}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "$build/process-cost.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sim"

sim() { "$build/kvo-sim" --dir "$work/sim" "$@" >/dev/null; }
sim init
sim power 2
sim config - <<'JSON'
{"list": [{"name": "VEH_ODOMETER", "save_to_db": true, "period": 1,
           "send_to_log": 1, "log_period": 10},
          {"name": "GPS_LAST_VALID_LAT", "save_to_db": true, "period": 1}]}
JSON

"$source_dir/scripts/sandbox" --sim "$work/sim" --pidfile "$work/pid" \
  --systemctl ok -- "$build/kvo-data-logger" &
sandbox=$!
until [ -s "$work/pid" ]; do sleep 0.05; done
pid=$(cat "$work/pid")
sleep "$seconds"
ticks=$(getconf CLK_TCK)
read -r utime stime < <(awk '{print $14, $15}' "/proc/$pid/stat")
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
kill -INT "$pid"
wait "$sandbox" || true

cpu_ms=$(( (utime + stime) * 1000 / ticks ))
echo "run: ${seconds}s in power state 2: 22 stats keys every 900 s, 2 archive keys every second"
echo "cpu: ${cpu_ms} ms total ($(awk "BEGIN{printf \"%.2f\", $cpu_ms / ($seconds * 10)}")% of one core)"
echo "memory: peak RSS ${hwm} kB, RSS at end ${rss} kB"
