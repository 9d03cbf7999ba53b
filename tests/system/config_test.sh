#!/usr/bin/env bash
# A document mixing good and bad entries applies the good ones and keeps
# the service ticking; SIGUSR1 after a fix re-applies without restoring.
. "$(dirname "$0")/lib.sh"

make_vehicle 0
install_config <<'JSON'
{"list": [
  {"name": "VEH_ODOMETER", "send_to_log": 1, "log_period": 60},
  {"name": "VEH_FUELUSED", "period": "ten"},
  "GPS_LAST_VALID_LAT",
  {"name": "CELL_TOTAL_RX", "period": -5, "save_to_db": true},
  {"name": "GPIO_PULSE_TOTAL1", "period": 1.5},
  {"name": "VEH_ENGHOURS", "save_to_db": true, "period": 30}
]}
JSON
start_service --systemctl ok
wait_log "Max size:10485760 Period:1800 (archive)"
wait_log "Current power state:0 Prev power state:0"
expect_in_order "Updating archive config (archive)" \
  "Added key VEH_ODOMETER to the list" \
  "Skipping config entry 1: bad period (archive)" \
  "Skipping config entry 2: bad entry (archive)" \
  "Skipping config entry 3: bad period (archive)" \
  "Skipping config entry 4: bad period (archive)" \
  "Added key VEH_ENGHOURS to the list" \
  "Max size:10485760 Period:1800 (archive)"
has_prio_line "local0.notice Skipping config entry 1: bad period (archive)" \
  || fail "bad entries not reported at notice priority"

install_config <<'JSON'
{"list": [{"name": "VEH_FUELUSED", "period": 10, "save_to_db": true},
          {"name": "GPS_LAST_VALID_LAT", "send_to_log": 2}]}
JSON
signal_service USR1
wait_count "Max size:10485760 Period:1800 (archive)" 2
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
[ "$(count_log "Getting archive config")" = 2 ] || fail "no second configuration pass"
# The second pass applied the fixed document: both entries, no notice.
service_log | sed -n '/^Updating archive config (archive)$/h; //!H; ${x;p}' >"$T/second_pass"
[ "$(grep -c '^Added key' "$T/second_pass")" = 2 ] \
  || fail "the fixed document was not applied: $(cat "$T/second_pass")"
grep -q '^Skipping' "$T/second_pass" && fail "the fixed document had notices"
[ "$(count_log "Updating archive config (stats)")" = 2 ] || fail "stats not re-applied"
[ "$(count_log "Restoring archive (stats)")" = 1 ] || fail "restored more than once"
[ "$(grep -c 'systemctl: start stats-agent' "$SYSLOG")" = 1 ] \
  || fail "the agent was started again"
echo "config: ok"
