#!/usr/bin/env bash
# Start-up, the first configuration, ticking and the two ways to end.
. "$(dirname "$0")/lib.sh"

make_vehicle 2
echo '{"list": [{"name": "VEH_ODOMETER", "save_to_db": true, "period": 1}]}' \
  | install_config

start_service --systemctl ok
wait_log "Current power state:2 Prev power state:2"
wait_log "Checking sampling sysdb"
# SIGUSR1 applies the document anew, restoring nothing and starting nothing.
echo '{"list": [{"name": "GPS_LAST_VALID_LAT", "send_to_log": 2}]}' \
  | install_config
signal_service USR1
wait_log "GPS_LAST_VALID_LAT=59.334591"
stop_service INT
[ "$STATUS" = 0 ] || fail "SIGINT: exit status $STATUS"
expect_in_order "KVO Data Logger started" \
  "Getting archive config" \
  "Updating archive config (stats)" \
  "Added key VEH_ODOMETER to the list" \
  "Added key GPIO_PULSE_TOTAL4 to the list" \
  "Max size:3145728 Period:1800 (stats)" \
  "Updating archive config (archive)" \
  "Added key VEH_ODOMETER to the list" \
  "Max size:10485760 Period:1800 (archive)" \
  "Current power state:2 Prev power state:0" \
  "Current power state:2 Prev power state:2" \
  "Checking sampling sysdb"
[ "$(service_log | tail -n 1)" = "KVO Archiver shutting down..." ] \
  || fail "the shutdown message is not the last line"
has_prio_line "local0.alert KVO Data Logger started" \
  || fail "start message not at alert priority"
[ "$(grep -c 'systemctl: start stats-agent' "$SYSLOG")" = 1 ] \
  || fail "the agent was not started exactly once"
[ "$(count_log "Error starting kvo-stats")" = 0 ] || fail "agent error logged"
[ "$(count_log "Restoring archive (stats)")" = 1 ] || fail "restored on reload"

# A failing agent start is reported; SIGTERM ends without the shutdown line.
: >"$SYSLOG"
start_service --systemctl fail
wait_log "Current power state:2 Prev power state:0"
has_prio_line "local0.notice Error starting kvo-stats" \
  || fail "agent failure not reported"
stop_service TERM
[ "$STATUS" = 143 ] || fail "SIGTERM: exit status $STATUS"
[ "$(count_log "KVO Archiver shutting down...")" = 0 ] \
  || fail "SIGTERM ran the shutdown sequence"
echo "startup: ok"
