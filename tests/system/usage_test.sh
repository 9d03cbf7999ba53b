#!/usr/bin/env bash
# Any option prints the usage text and exits 0 before anything is logged.
. "$(dirname "$0")/lib.sh"

expected=$'Usage: kvo-data-logger [Options]\nOptions:\n -h, --help\tThis help'
for args in "-h" "--help" "-v" "--bogus" "-x" "extra -h"; do
  # shellcheck disable=SC2086
  out=$("$SANDBOX" --sim "$SIM" --syslog "$SYSLOG" -- "$SERVICE" $args 2>/dev/null) \
    || fail "'$args' exited with $?"
  [ "$out" = "$expected" ] || fail "'$args' printed: $out"
done
[ -z "$(service_log)" ] || fail "usage runs logged something"

# Arguments that are not options are ignored: the service runs.
make_vehicle 0
echo '{}' | install_config
"$SANDBOX" --sim "$SIM" --volatile "$VOLATILE" --data "$DATA" --syslog "$SYSLOG" \
  --pidfile "$PIDFILE" --systemctl ok -- "$SERVICE" extra words &
SANDBOX_PID=$!
wait_log "Current power state:0 Prev power state:0"
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
echo "usage: ok"
