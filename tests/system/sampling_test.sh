#!/usr/bin/env bash
# An active vehicle: every state tick samples the due keys of each instance
# into its working database and forwards the due logged keys to syslog at
# their priority; a text that looks like SQL is stored as one plain value.
. "$(dirname "$0")/lib.sh"


make_vehicle 2
sim set VEH_VIN "\"it's'); DROP TABLE data; --\"" --type 4 --db VEH >/dev/null
install_config <<'JSON'
{"list": [
  {"name": "VEH_ODOMETER", "save_to_db": true, "period": 1,
   "send_to_log": 2, "log_period": 3600},
  {"name": "GPIO_PULSE_TOTAL1", "save_to_db": true, "period": 3600,
   "send_to_log": 1, "log_period": 0},
  {"name": "VEH_VIN", "save_to_db": true, "period": 3600}
]}
JSON
start_service --systemctl ok
wait_log "Copied 22 entries"  # stats: its first cycle samples every key
wait_log "Copied 3 entries"
sim set VEH_ODOMETER 48214.5 >/dev/null
wait_log "Saving VEH_ODOMETER = 48214.500000"
wait_log "Copied 1 entries"
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"

# Read whole: grep -q would quit early and fail the pipe under pipefail.
LOG=$(service_log_prio)
grep -qxF "local0.alert VEH_ODOMETER=48213.700000" <<<"$LOG" \
  || fail "mode 2 key not forwarded at alert priority"
[ "$(count_log "VEH_ODOMETER=48214.500000")" = 0 ] \
  || fail "VEH_ODOMETER forwarded again within its log period"
[ "$(grep -cxF "local0.notice GPIO_PULSE_TOTAL1=120348" <<<"$LOG")" -ge 2 ] \
  || fail "integer key with log period 0 not forwarded at every update"

rows() { sqlite3 -separator '|' "$1" "$2"; }
[ "$(rows "$VOLATILE/stats.db" "SELECT count(DISTINCT key) FROM data")" = 22 ] \
  || fail "stats did not sample its 22 keys"
[ "$(rows "$VOLATILE/archive.db" \
  "SELECT key, typeof(value), value FROM data WHERE key<>'VEH_ODOMETER' ORDER BY rowid")" \
  = "GPIO_PULSE_TOTAL1|real|120348.0
VEH_VIN|text|it's'); DROP TABLE data; --" ] || fail "archive rows: $(rows "$VOLATILE/archive.db" "SELECT * FROM data")"
[ "$(rows "$VOLATILE/archive.db" \
  "SELECT value FROM data WHERE key='VEH_ODOMETER' ORDER BY rowid DESC LIMIT 1")" \
  = 48214.5 ] || fail "the new odometer value was not sampled"
echo "sampling: ok"
