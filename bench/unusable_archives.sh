#!/usr/bin/env bash
# Unusable archives: what the real service does when the newest archive of
# the instance `archive` matches its checksum but cannot serve, and when
# volatile storage is nearly full at start-up. One markdown table row per
# case:
#   not-sqlite  2.tar holds 8 KiB of random bytes
#   key-only    2.tar holds SQLite with only "data (key TEXT)" and a row
#   view        2.tar holds SQLite where "data" is a view (TOTAL 77)
#   trigger     2.tar holds the service's table (TOTAL 333) and a trigger
#               that fails every insert
#   empty       2.tar holds a 0-byte database
#   store-full  no 2.tar; both instances hold two good 1.6 MiB archives and
#               volatile storage has 256 KiB free at the first start; the
#               filler is removed ("room returns") halfway to the first stop
# In every case archive/0.tar and 1.tar are good (youngest TOTAL 111, 222),
# made with sqlite3, md5sum and tar as the service makes them.
#
#   bench/unusable_archives.sh [BUILD_DIR [HOURS [CASE...]]]
#
# BUILD_DIR (default: $KVO_BUILD_DIR) gives kvo-data-logger and kvo-sim;
# the sandbox is this checkout's scripts/sandbox. HOURS simulated hours per
# case (default 2, at least 1); no CASE: all six. A case takes about HOURS
# minutes, since the clock runs a minute per second (kvo-sim clock +60).
#
# Each case runs in a sandbox of its own (volatile storage a 16 MiB tmpfs,
# the archive folder a temporary folder) in which this script starts and
# stops the service itself, as the torture run does, so that volatile
# storage survives a crash restart even on a tmpfs. With M = 60 * HOURS
# simulated minutes: minute 2 power 4 then 2 (a backup), 4 SIGUSR2 (a
# backup), 6 SIGUSR1 (a reload: the periodic backup falls due 30 minutes
# later); K1 = max(M/2, 40) SIGKILL of the process group and a restart
# keeping volatile storage; (K1 + M)/2 SIGINT, volatile storage emptied,
# restart; M SIGINT. The clock stands still while the script waits for a
# line. TOTAL is set to 0 before each start and read once "Finished
# restoring archive (archive:0)" is logged; in store-full it is also read
# just before the first stop (after room returned).
# Columns: TOTAL restored at the three starts; bytes of the service's syslog
# lines (" stats: ") per simulated hour, all of them and those at notice or
# more urgent (what KVO_LOG_LEVEL=notice keeps); lines "Error backing up archive",
# "Error creating tar", "Error adding entry" (both instances); lines
# "Finished backing up archive (archive)"; archives left at the end, each
# as N:V, V the youngest TOTAL (GPIO_PULSE_TOTAL1 for stats) it holds, "-"
# when none can be read.
# KVO_KEEP_TEST_DIR=1 keeps each case's folder (syslog, sim, archives).
set -uo pipefail
ALL=(not-sqlite key-only view trigger empty store-full) CASES=()
TABLE="CREATE TABLE IF NOT EXISTS data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB)"
self=$(realpath "$0")

# ---- inside the sandbox: one case, the service started and stopped here
V=/var/volatile/kvo A=/var/data/kvo/archive
sim() { "$B/kvo-sim" "$@" >/dev/null; }
seen() { tail -n +$((mark + 1)) "$LOG" | grep -cF "stats: $1"; }  # since the start
wait_line() {  # wait_line TEXT N: until N lines since the start hold TEXT (30 s at most)
  local end=$((SECONDS + 30))
  until [ "$(seen "$1")" -ge "$2" ]; do [ $SECONDS -lt $end ] || return 1; sleep 0.05; done
}
after() {  # after TEXT COMMAND...: runs COMMAND, waits for one more line with TEXT
  local n; n=$(seen "$1"); "${@:2}"; wait_line "$1" $((n + 1))
}
start() {  # TOTAL at 0, the service in a process group of its own, its restore
  mark=$(wc -l <"$LOG"); sim set TOTAL 0
  set -m; "$B/kvo-data-logger" 2>/dev/null & spid=$!; set +m
  if wait_line "Finished restoring archive (archive:0)" 1; then
    restored+=("$("$B/kvo-sim" get TOTAL)"); else restored+=("?"); fi
}
stop() {  # stop KILL|INT; a SIGINT is ignored while a backup command runs
  if [ "$1" = KILL ]; then kill -KILL -- "-$spid" 2>/dev/null
  else for _ in $(seq 300); do kill -INT "$spid" 2>/dev/null || break; sleep 0.2; done; fi
  wait "$spid" 2>/dev/null
}
run_to() {  # run_to MINUTE: the clock moves a minute a second up to MINUTE
  while [ "$m" -lt "$1" ]; do sleep 1; sim clock +60; m=$((m + 1)); done
}
count() { grep -c " stats: $1" "$LOG"; }
left() {  # left NAME KEY: "N:V" per archive left, V the youngest KEY in it or -
  local n v out=""
  for n in $(find "$A/$1" -maxdepth 1 -name '*.tar' -printf '%f\n' | sed 's/\.tar$//' | sort -n); do
    rm -rf /tmp/left && mkdir /tmp/left && tar -xf "$A/$1/$n.tar" -C /tmp/left 2>/dev/null
    v=$(sqlite3 -readonly "/tmp/left/$1_bak.db" \
      "SELECT CAST(value AS INTEGER) FROM data WHERE key='$2' ORDER BY rowid DESC LIMIT 1" 2>/dev/null)
    out="$out $n:${v:--}"
  done
  echo "${out# }"
}
inside() {  # inside CASE HOURS BUILD_DIR
  local name=$1 hours=$2 total=$(($2 * 60)) k1 k2 room="" bytes notices
  B=$3 LOG=$KVO_BENCH_LOG m=0 mark=0 restored=()
  k1=$((total / 2)); [ $k1 -ge 40 ] || k1=40
  k2=$(((k1 + total) / 2))
  if [ "$name" = store-full ]; then
    dd if=/dev/zero of=$V/filler bs=64k status=none 2>/dev/null; truncate -s -256K $V/filler
  fi
  start
  run_to 2; after "Backing up archive (archive)" sim power 4; sim power 2
  run_to 4; after "Backing up archive (archive)" kill -USR2 "$spid"
  run_to 6; after "Getting archive config" kill -USR1 "$spid"
  if [ "$name" = store-full ]; then
    run_to $((k1 / 2)); rm -f $V/filler
  fi
  run_to "$k1"; [ "$name" = store-full ] && room=$("$B/kvo-sim" get TOTAL)
  stop KILL; start
  run_to "$k2"; stop INT; find $V -mindepth 1 -delete; start
  run_to "$total"; stop INT
  bytes=$(grep -F " stats: " "$LOG" | wc -c)
  notices=$(grep -E " local0\.(emerg|alert|crit|err|warning|notice) stats: " "$LOG" | wc -c)
  printf '| %s | %s | %d | %d | %d / %d / %d | %d | %s |\n' "$name" \
    "${restored[0]}, ${room:+room returned: $room, }${restored[1]}, ${restored[2]}" \
    $((bytes / hours)) $((notices / hours)) "$(count "Error backing up archive (")" "$(count "Error creating tar$")" \
    "$(count "Error adding entry (")" "$(count "Finished backing up archive (archive)")" \
    "$(left archive TOTAL)$([ "$name" = store-full ] && echo "; stats $(left stats GPIO_PULSE_TOTAL1)")"
}
if [ "${1:-}" = --inside ]; then shift; inside "$@"; exit; fi

# ---- on the host: archives and vehicle of each case, then its sandbox
build=$(cd "${1:-${KVO_BUILD_DIR:-}}" 2>/dev/null && pwd) ||
  { echo "usage: unusable_archives.sh [BUILD_DIR [HOURS [CASE...]]]" >&2; exit 2; }
hours=${2:-2}; shift $(($# < 2 ? $# : 2))
CASES=("$@"); [ $# -gt 0 ] || CASES=("${ALL[@]}")
SANDBOX=$(dirname "$self")/../scripts/sandbox
[[ $hours =~ ^[1-9][0-9]*$ ]] || { echo "HOURS must be a whole number, at least 1" >&2; exit 2; }
for need in "$build/kvo-data-logger" "$build/kvo-sim" "$SANDBOX"; do
  [ -x "$need" ] || { echo "missing $need (build first)" >&2; exit 2; }
done
for need in sqlite3 md5sum tar bwrap busybox; do
  command -v $need >/dev/null || { echo "missing $need" >&2; exit 2; }
done
for c in "${CASES[@]}"; do
  [[ " ${ALL[*]} " == *" $c "* ]] || { echo "unknown case $c; one of: ${ALL[*]}" >&2; exit 2; }
done

good_db() {  # good_db FILE KEY VALUE PAD: PAD rows of 1 KiB, then KEY VALUE-1, VALUE
  sqlite3 "$1" "$TABLE; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $4)
    INSERT INTO data (key, value) SELECT 'PADDING', randomblob(1024) FROM n WHERE $4 > 0;
    INSERT INTO data (key, value) VALUES ('$2', $3 - 1), ('$2', $3);"
}
pack() {  # pack NAME DB TAR: as the service packs NAME's copy of DB
  local s=$t/stage
  rm -rf "$s" && mkdir -p "$s" && cp "$2" "$s/${1}_bak.db"
  echo "$(md5sum <"$s/${1}_bak.db" | cut -c1-32)  /var/volatile/kvo/${1}_bak.db" >"$s/$1.md5"
  tar -cf "$3" -C "$s" "${1}_bak.db" "$1.md5"
}
unusable_db() {  # unusable_db CASE FILE
  case $1 in
    not-sqlite) head -c 8192 /dev/urandom >"$2" ;;
    key-only) sqlite3 "$2" "CREATE TABLE data (key TEXT); INSERT INTO data VALUES ('TOTAL')" ;;
    view) sqlite3 "$2" "CREATE VIEW data AS SELECT 'TOTAL' AS key, 77 AS value, CURRENT_TIMESTAMP AS ts" ;;
    trigger) good_db "$2" TOTAL 333 0
      sqlite3 "$2" "CREATE TRIGGER no BEFORE INSERT ON data BEGIN SELECT RAISE(ABORT,'no'); END" ;;
    empty) : >"$2" ;;
  esac
}
archives() {  # archives CASE: the archive folders as the case starts
  local pad=0 a=$t/data/archive n
  mkdir -p "$a/archive" "$a/stats"
  [ "$1" = store-full ] && pad=1600
  for n in 0 1; do
    good_db "$t/$n.db" TOTAL $((111 * (n + 1))) $pad && pack archive "$t/$n.db" "$a/archive/$n.tar"
    if [ "$1" = store-full ]; then
      good_db "$t/s$n.db" GPIO_PULSE_TOTAL1 $((1111 * (n + 1))) $pad && pack stats "$t/s$n.db" "$a/stats/$n.tar"
    fi
  done
  [ "$1" = store-full ] || { unusable_db "$1" "$t/2.db" && pack archive "$t/2.db" "$a/archive/2.tar"; }
}
run_case() {  # run_case CASE: a vehicle that saves and restores TOTAL, the run
  local kvo_sim=("$build/kvo-sim" --dir "$t/sim")
  "${kvo_sim[@]}" init >/dev/null && "${kvo_sim[@]}" power 2 >/dev/null &&
    "${kvo_sim[@]}" set TOTAL 0 --type 2 --db VEH >/dev/null || return
  echo '{"list":[{"name":"TOTAL","save_to_db":true,"period":1,"restore":true}]}' |
    "${kvo_sim[@]}" config - >/dev/null || return
  archives "$1" || return
  : >"$t/syslog"
  KVO_BENCH_LOG=$t/syslog "$SANDBOX" --volatile-size 16m --data "$t/data" --sim "$t/sim" \
    --syslog "$t/syslog" --systemctl ok -- bash "$self" --inside "$1" "$hours" "$build"
}

echo "| case | TOTAL restored at the starts | syslog B / sim h | notice+ B / sim h | errors: backing up / creating tar / adding entry | backups (archive) | archives left |"
echo "|---|---|---|---|---|---|---|"
for c in "${CASES[@]}"; do
  t=$(mktemp -d "${TMPDIR:-/tmp}/kvo-unusable.XXXXXX")
  run_case "$c" || echo "| $c | (the run failed) | | | | | |"
  if [ -n "${KVO_KEEP_TEST_DIR:-}" ]; then echo "kept $t" >&2; else rm -rf "$t"; fi
done
