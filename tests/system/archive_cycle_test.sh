#!/usr/bin/env bash
# The whole cycle: samples become numbered archives on request, on the
# archive period and on the way into power state 4, and after a restart the
# archived values come back and the numbering goes on.
. "$(dirname "$0")/lib.sh"

make_vehicle 2
install_config <<'JSON'
{"list": [{"name": "CELL_TOTAL_RX", "save_to_db": true, "period": 5,
           "restore": true}]}
JSON
ARCHIVES=$DATA/archive
finished() { count_log "Finished backing up archive ($1)"; }
# wait_archive NAME N: archive N of NAME is complete. Waits for the log line
# written after the move, since a move across mounts shows the file early;
# this run of the service began with archive number FIRST.
FIRST=0
wait_archive() {
  local i
  for i in $(seq 200); do
    [ "$(finished "$1")" -gt $(($2 - FIRST)) ] && break
    sleep 0.05
  done
  [ -f "$ARCHIVES/$1/$2.tar" ] || fail "no archive $1/$2.tar"
}
wait_state() { wait_log "Current power state:$1 Prev power state:$2"; }

start_service --systemctl ok
wait_log "Copied 22 entries"

# An archive request: both instances write archive 0.
signal_service USR2
wait_archive stats 0
wait_archive archive 0
[ "$(tar -tf "$ARCHIVES/stats/0.tar" | tr '\n' ' ')" = "stats_bak.db stats.md5 " ] \
  || fail "0.tar holds: $(tar -tf "$ARCHIVES/stats/0.tar")"

# The archive period runs out when the clock jumps past it.
sim clock +1900 >/dev/null
wait_archive stats 1
wait_archive archive 1

# 2 -> 0 -> 4 backs up at once; 4 -> 6 -> 4 does not.
sim set VEH_ODOMETER 50000.5 >/dev/null
sim set CELL_TOTAL_RX 200000000 >/dev/null
sim power 0 >/dev/null
wait_state 0 2
sim power 4 >/dev/null
wait_state 4 0
wait_archive stats 2
wait_archive archive 2
sim power 6 >/dev/null
wait_state 6 4
sim power 4 >/dev/null
wait_state 4 6
wait_state 4 4
[ "$(finished stats)" = 3 ] || fail "stats backed up $(finished stats) times, not 3"
[ -f "$ARCHIVES/stats/3.tar" ] && fail "6 -> 4 made a backup"

# The tick that sees a change never samples; the next state tick does.
sim power 3 >/dev/null
wait_state 3 4
wait_state 3 3
wait_log "Checking sampling sysdb"
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
service_log | awk '
  /^Current power state:/ { split($0, a, /[: ]+/); changed = (a[4] != a[8]); next }
  /^Checking sampling sysdb$/ && changed { bad = 1 }
  END { exit bad }' || fail "sampled on a power-state change tick"

# Restart with changed values: the totals of archive 2 come back, and the
# next archive is number 3.
sim set VEH_ODOMETER 1 >/dev/null
sim set CELL_TOTAL_RX 7 >/dev/null
: >"$SYSLOG"
FIRST=3
start_service --systemctl ok
wait_log "Finished restoring archive (archive:0)"
expect_in_order "Loading archive (/var/data/kvo/archive/stats/2.tar)" \
  "Finished initializing archive (stats)"
[ "$(sim get VEH_ODOMETER)" = 50000.5 ] || fail "VEH_ODOMETER is $(sim get VEH_ODOMETER)"
[ "$(sim get CELL_TOTAL_RX)" = 200000000 ] || fail "CELL_TOTAL_RX is $(sim get CELL_TOTAL_RX)"
signal_service USR2
wait_archive stats 3
wait_archive archive 3
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
echo "archive cycle: ok"
