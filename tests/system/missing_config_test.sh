#!/usr/bin/env bash
# Without a "system.data_logger" document the service waits silently, and
# SIGINT ends it cleanly without restoring or starting the agent.
. "$(dirname "$0")/lib.sh"

make_vehicle 2
start_service --systemctl ok
wait_log "Getting archive config"
sleep 2
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
[ "$(count_log "Getting archive config")" = 1 ] || fail "the wait was not silent"
for absent in "Updating archive config (stats)" "Restoring archive (stats)" \
  "Current power state:2 Prev power state:0"; do
  [ "$(count_log "$absent")" = 0 ] || fail "'$absent' logged while waiting"
done
grep -q 'systemctl: start' "$SYSLOG" && fail "the agent was started"
[ "$(service_log | tail -n 1)" = "KVO Archiver shutting down..." ] \
  || fail "no shutdown message"
echo "missing config: ok"
