#!/usr/bin/env bash
# Start-up restore: working databases left by an earlier run give the
# youngest value of each restorable key back to the system database, with
# the JSON type the key asks for; keys without rows keep their values.
. "$(dirname "$0")/lib.sh"


make_vehicle 0  # Switched off: nothing is sampled over the restored rows.
sim set VEH_VIN '"none"' --type 4 --db VEH >/dev/null
sim set VEH_PLATE '"ABC 123"' --type 4 --db VEH >/dev/null
install_config <<'JSON'
{"list": [{"name": "VEH_VIN", "restore": true},
          {"name": "VEH_PLATE", "restore": false}]}
JSON

TABLE="CREATE TABLE IF NOT EXISTS data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB)"
sqlite3 "$VOLATILE/stats.db" "$TABLE; INSERT into data (key,value) VALUES \
  ('VEH_ODOMETER',48000.500000),('GPIO_PULSE_TOTAL1',100.000000),\
  ('VEH_ODOMETER',48250.000000),('GPIO_PULSE_TOTAL1',120.000000),\
  ('GPS_LAST_VALID_LAT',51.507400)"
sqlite3 "$VOLATILE/archive.db" "$TABLE; INSERT into data (key,value) VALUES \
  ('VEH_VIN','older'),('VEH_VIN','O''Neil 7'),('VEH_PLATE','XYZ 9')"

start_service --systemctl ok
wait_log "Finished restoring archive (archive:0)"

expect_value() {  # expect_value KEY JSON
  local got
  got=$(sim get "$1") || fail "cannot read $1"
  [ "$got" = "$2" ] || fail "$1 is $got, expected $2"
}
expect_value VEH_ODOMETER 48250.0          # double key: a JSON real
expect_value GPIO_PULSE_TOTAL1 120         # integer key: a JSON integer
expect_value GPS_LAST_VALID_LAT 51.5074
expect_value VEH_VIN "\"O'Neil 7\""        # text key: a JSON string
expect_value CELL_TOTAL_RX 184320512       # no rows: untouched
expect_value VEH_PLATE '"ABC 123"'         # not restored: untouched

# The first open applies its settings before the restore reads anything;
# each write is reported; every restorable key in byte order, those of stats
# before those of archive.
expect_in_order "Restoring archive (stats)" "Setting max page count:2816" \
  "Setting disabling sync" "Copying archive to sysdb" \
  "Restoring GPIO_PULSE_TOTAL1" "Val:120 (0)" \
  "Restoring VEH_ODOMETER" "Val:48250.000000 (0)" \
  "Finished copying archive to sysdb" "Finished restoring archive (stats:0)" \
  "Restoring archive (archive)" "Restoring VEH_VIN" "Val:O'Neil 7 (0)" \
  "Finished restoring archive (archive:0)"
order=$(service_log | sed -n 's/^Restoring \([A-Z][A-Z0-9_]*\)$/\1/p')
[ "$(wc -l <<<"$order")" = 23 ] && [ "$(tail -n 1 <<<"$order")" = VEH_VIN ] &&
  head -n 22 <<<"$order" | LC_ALL=C sort -c || fail "restore order: $order"

stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
# The earlier rows are still there, now in a file that gives back freed pages.
[ "$(sqlite3 "$VOLATILE/stats.db" 'SELECT count(*) FROM data')" = 5 ] \
  || fail "stats rows lost"
[ "$(sqlite3 "$VOLATILE/stats.db" 'PRAGMA auto_vacuum')" = 1 ] \
  || fail "auto-vacuum not switched on"
echo "restore: ok"
