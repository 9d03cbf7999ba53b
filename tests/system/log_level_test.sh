#!/usr/bin/env bash
# KVO_LOG_LEVEL=info: no debug line reaches syslog; the lines up to info do.
. "$(dirname "$0")/lib.sh"

make_vehicle 2
echo '{"list": [{"name": "VEH_ODOMETER", "save_to_db": true, "period": 1}]}' \
  | install_config
KVO_LOG_LEVEL=info start_service --systemctl ok
wait_count "Copied 1 entries" 4
stop_service INT
has_prio_line "local0.info Copied 1 entries" || fail "no info line"
[ "$(service_log_prio | grep -c '^local0\.debug')" = 0 ] || fail "debug lines"
