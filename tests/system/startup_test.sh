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
has_prio_line "local0.alert GPS_LAST_VALID_LAT=59.334591" \
  || fail "forwarded value not at alert priority"
stop_service INT
[ "$STATUS" = 0 ] || fail "SIGINT: exit status $STATUS"
# Both configurations applied and sampled: every key of the built-in list in
# "stats", the configured one in "archive".
[ "$(sqlite3 "$VOLATILE/stats.db" 'SELECT count(DISTINCT key) FROM data')" = 22 ] \
  || fail "stats did not sample its keys"
[ "$(sqlite3 "$VOLATILE/archive.db" 'SELECT DISTINCT key FROM data')" = \
  VEH_ODOMETER ] || fail "archive did not sample its key"
[ "$(service_log | tail -n 1)" = "KVO Archiver shutting down..." ] \
  || fail "the shutdown message is not the last line"
has_prio_line "local0.alert KVO Data Logger started" \
  || fail "start message not at alert priority"
[ "$(grep -c 'systemctl: start stats-agent' "$SYSLOG")" = 1 ] \
  || fail "the agent was not started exactly once"
[ "$(count_log "Error starting kvo-stats")" = 0 ] || fail "agent error logged"

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
