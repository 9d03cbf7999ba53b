#!/usr/bin/env bash
# Start-up restore: working databases left by an earlier run give the
# youngest value of each restorable key back to the system database, with
# the JSON type the key asks for.
. "$(dirname "$0")/lib.sh"


make_vehicle 0  # Switched off: nothing is sampled over the restored rows.
sim set VEH_VIN '"none"' --type 4 --db VEH >/dev/null
install_config <<'JSON'
{"list": [{"name": "VEH_VIN", "restore": true},
          {"name": "GPS_LAST_VALID_LAT", "restore": true}]}
JSON

TABLE="CREATE TABLE IF NOT EXISTS data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB)"
sqlite3 "$VOLATILE/stats.db" "$TABLE; INSERT into data (key,value) VALUES \
  ('VEH_ODOMETER',48000.500000),('GPIO_PULSE_TOTAL1',100.000000),\
  ('VEH_ODOMETER',48250.000000),('GPIO_PULSE_TOTAL1',120.000000),\
  ('GPS_LAST_VALID_LAT',51.507400)"
sqlite3 "$VOLATILE/archive.db" "$TABLE; INSERT into data (key,value) VALUES \
  ('VEH_VIN','older'),('VEH_VIN','O''Neil 7'),\
  ('GPS_LAST_VALID_LAT',59.3346)"

start_service --systemctl ok
wait_log "Finished restoring archive (archive:0)"

expect_value() {  # expect_value KEY JSON
  local got
  got=$(sim get "$1") || fail "cannot read $1"
  [ "$got" = "$2" ] || fail "$1 is $got, expected $2"
}
expect_value VEH_ODOMETER 48250.0          # double key: a JSON real
expect_value GPIO_PULSE_TOTAL1 120         # integer key: a JSON integer
expect_value GPS_LAST_VALID_LAT 59.3346    # "archive" restores after "stats"
expect_value VEH_VIN "\"O'Neil 7\""        # text key: a JSON string

# Nothing went wrong: the start message is the one line a user reads.
[ "$(service_log_prio | grep -v '^local0\.\(info\|debug\) ')" = \
  "local0.alert KVO Data Logger started" ] || fail "unexpected notices"

stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
# The earlier rows are still there, now in a file that gives back freed pages.
[ "$(sqlite3 "$VOLATILE/stats.db" 'SELECT count(*) FROM data')" = 5 ] \
  || fail "stats rows lost"
[ "$(sqlite3 "$VOLATILE/stats.db" 'PRAGMA auto_vacuum')" = 1 ] \
  || fail "auto-vacuum not switched on"
echo "restore: ok"
