#!/usr/bin/env bash
# Whole-process footprint of the real service in the sandbox, read from
# /proc, in two runs:
#  1. bounded memory: both databases at their limits (stats 3 MiB, archive
#     10 MiB) and 1,000 archive keys sampled at every state tick; memory
#     after start-up, after a backup and after an hour of simulated
#     sampling (the simulated clock runs a minute per second, which also
#     brings two periodic backups);
#  2. side by side with collectd (load, memory and cpu plugins, CSV, 1 s
#     interval) for SECONDS, the service sampling 50 keys every second in
#     power state 2: memory and the CPU time both spend from 10 s to the end.
# Also prints the flash bytes a day the backups write at the default period,
# from the archive files written in the simulated hour.
#   bench/footprint.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "${1:?usage: footprint.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-60}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "$build/footprint.XXXXXX")
service_pid="" sandbox_pid="" collectd_pid=""
stop_all() {
  # system() ignores SIGINT in the caller while a command runs (a backup's
  # copy, say), so the stop is repeated until it lands.
  local i
  for i in $(seq 100); do
    [ -n "$service_pid" ] && kill -INT "$service_pid" 2>/dev/null || break
    sleep 0.2
  done
  [ -n "$collectd_pid" ] && kill "$collectd_pid" 2>/dev/null || true
  [ -n "$sandbox_pid" ] && wait "$sandbox_pid" 2>/dev/null || true
  [ -n "$collectd_pid" ] && wait "$collectd_pid" 2>/dev/null || true
  service_pid="" sandbox_pid="" collectd_pid=""
}
trap 'stop_all; rm -rf "$work"' EXIT

status_kb() { awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/status"; }
cpu_ms() {
  local utime stime
  read -r utime stime < <(awk '{print $14, $15}' "/proc/$1/stat")
  echo $(( (utime + stime) * 1000 / $(getconf CLK_TCK) ))
}
memory() {  # memory PID LABEL
  printf '  %-34s anonymous %6s kB   RSS %6s kB   peak RSS %6s kB\n' "$2" \
    "$(status_kb "$1" RssAnon)" "$(status_kb "$1" VmRSS)" \
    "$(status_kb "$1" VmHWM)"
}
wait_for() {  # wait_for FILE TEXT SECONDS
  local i
  for i in $(seq $(($3 * 10))); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "footprint: no '$2' in $1 within $3 s" >&2
  exit 1
}

# make_vehicle DIR KEYS PERIOD: the 22 built-in keys plus KEYS double keys
# that the archive instance saves every PERIOD seconds, power state 2.
make_vehicle() {
  local dir=$1 keys=$2 period=$3 i
  "$build/kvo-sim" --dir "$dir" init >/dev/null
  "$build/kvo-sim" --dir "$dir" power 2 >/dev/null
  {
    head -n -1 "$dir/sysdb.json"
    for ((i = 0; i < keys; i++)); do
      printf ',"BENCH_KEY_%04d": {"namedb": "VEH", "type": 3, "value": %d.5}\n' \
        "$i" "$i"
    done
    echo "}"
  } >"$dir/sysdb.new" && mv "$dir/sysdb.new" "$dir/sysdb.json"
  {
    printf '{"list": ['
    for ((i = 0; i < keys; i++)); do
      [ "$i" -gt 0 ] && printf ','
      printf '{"name": "BENCH_KEY_%04d", "save_to_db": true, "period": %d}' \
        "$i" "$period"
    done
    printf ']}\n'
  } | "$build/kvo-sim" --dir "$dir" config - >/dev/null
}

# fill DB ROWS: a working database of the service's form with ROWS rows.
fill() {
  sqlite3 "$1" "PRAGMA auto_vacuum=FULL;
    CREATE TABLE data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB);
    WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n LIMIT $2)
    INSERT INTO data (key, value) SELECT printf('BENCH_KEY_%04d', x % 1000), x * 1.5 FROM n;"
}

start_service() {  # start_service RUN_DIR
  local run=$1
  : >"$run/pid"
  KVO_LOG_LEVEL="" "$source_dir/scripts/sandbox" --sim "$run/sim" \
    --volatile "$run/volatile" --data "$run/data" --syslog "$run/syslog" \
    --pidfile "$run/pid" --systemctl ok -- "$build/kvo-data-logger" &
  sandbox_pid=$!
  until [ -s "$run/pid" ]; do sleep 0.05; done
  service_pid=$(cat "$run/pid")
}

echo "== bounded memory: full databases, 1,000 keys"
run=$work/bounded
mkdir -p "$run/sim" "$run/volatile" "$run/data"
make_vehicle "$run/sim" 1000 1
# Somewhat over each limit, so that size control deletes from the start.
fill "$run/volatile/stats.db" 90000
fill "$run/volatile/archive.db" 290000
start_service "$run"
wait_for "$run/syslog" "Copied 1000 entries" 60
memory "$service_pid" "after start-up"
kill -USR2 "$service_pid"
wait_for "$run/syslog" "Finished backing up archive (archive)" 60
memory "$service_pid" "after a backup"
archives() { find "$run/data/archive" -name '*.tar' -printf '%p %s\n' | sort; }
archives_before=$(archives)
for ((minute = 0; minute < 60; minute++)); do
  "$build/kvo-sim" --dir "$run/sim" clock +60 >/dev/null
  sleep 1
done
memory "$service_pid" "after an hour of sampling"
anonymous=$(status_kb "$service_pid" RssAnon)
# The archive files the hour wrote, by instance: each instance writes one
# every 30 minutes, 48 a day, to flash (the staging copies live in volatile
# storage).
new_archives=$(comm -13 <(echo "$archives_before") <(archives))
pages() { sqlite3 "$1" "PRAGMA page_count"; }
echo "  pages: stats $(pages "$run/volatile/stats.db") (limit 768)," \
  "archive $(pages "$run/volatile/archive.db") (limit 2560)"
stop_all
awk -v kb="$anonymous" 'BEGIN { printf "  anonymous memory / 2 MiB bound: %.2f\n", kb / 2048 }'

awk -v limits=$(( (3 + 10) * 1048576 )) '{
    instance = $1; sub(/\/[^\/]*$/, "", instance); sub(/.*\//, "", instance)
    bytes[instance] += $2; files[instance]++
  } END {
    for (i in bytes) day += 48 * bytes[i] / files[i]
    printf "flash written a day, both databases full, 30 min period: %.0f MiB" \
      " (%.3f x the two size limits a backup of both)\n",
      day / 1048576, day / 48 / limits
  }' <<<"$new_archives"

echo "== side by side with collectd, ${seconds} s, 50 keys every second"
run=$work/peer
mkdir -p "$run/sim" "$run/volatile" "$run/data" "$run/csv"
make_vehicle "$run/sim" 50 1
cat >"$run/collectd.conf" <<CONF
Interval 1
BaseDir "$run"
PIDFile "$run/collectd.pid"
PluginDir "/usr/lib/collectd"
TypesDB "/usr/share/collectd/types.db"
LoadPlugin load
LoadPlugin memory
LoadPlugin cpu
LoadPlugin csv
<Plugin csv>
  DataDir "$run/csv"
</Plugin>
CONF
start_service "$run"
collectd -f -C "$run/collectd.conf" >"$run/collectd.log" 2>&1 &
collectd_pid=$!
sleep 10
service_start=$(cpu_ms "$service_pid") collectd_start=$(cpu_ms "$collectd_pid")
sleep $((seconds - 10))
service_cpu=$(( $(cpu_ms "$service_pid") - service_start ))
collectd_cpu=$(( $(cpu_ms "$collectd_pid") - collectd_start ))
memory "$service_pid" "service"
memory "$collectd_pid" "collectd"
service_anon=$(status_kb "$service_pid" RssAnon)
collectd_anon=$(status_kb "$collectd_pid" RssAnon)
service_rss=$(status_kb "$service_pid" VmRSS)
collectd_rss=$(status_kb "$collectd_pid" VmRSS)
stop_all
awk -v s="$service_cpu" -v c="$collectd_cpu" -v sa="$service_anon" \
  -v ca="$collectd_anon" -v sr="$service_rss" -v cr="$collectd_rss" \
  -v t="$((seconds - 10))" 'BEGIN {
  printf "  CPU from 10 s on (%d s): service %d ms, collectd %d ms, ratio %.2f\n", t, s, c, s / (c ? c : 1)
  printf "  anonymous memory ratio %.2f, RSS ratio %.2f\n", sa / ca, sr / cr }'
