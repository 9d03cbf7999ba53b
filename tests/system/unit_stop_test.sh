#!/usr/bin/env bash
# The unit's stop during a slow backup command: the command finishes, the
# archive is complete and the service shuts down cleanly with status 0.
. "$(dirname "$0")/lib.sh"

make_vehicle 2
echo '{}' | install_config
# A tar that takes its time, found first on the service's search path.
mkdir "$T/slow"
printf '#!/bin/sh\nsleep 2\nexec %s "$@"\n' "$(command -v tar)" >"$T/slow/tar"
chmod +x "$T/slow/tar"
PATH=$T/slow:$PATH start_service --systemctl ok
wait_log "Copied 22 entries"
signal_service USR2
wait_log "Exec:tar -cf /var/volatile/kvo/stats.tar"

# What systemd runs, with the service's process id as MAINPID.
stop=$(sed -n 's/^ExecStop=//p' "$KVO_BUILD_DIR/kvo-data-logger.service")
[ -n "$stop" ] || fail "the unit has no ExecStop="
MAINPID=$(service_pid)
timeout 20 bash -c "${stop//'${MAINPID}'/$MAINPID}" || fail "ExecStop= failed"
# Past the stop, systemd would kill what is left.
kill -0 "$MAINPID" 2>/dev/null && fail "still running after ExecStop="
STATUS=0
wait "$SANDBOX_PID" || STATUS=$?
SANDBOX_PID=""
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
expect_in_order "Exec:tar -cf /var/volatile/kvo/stats.tar -C /var/volatile/kvo/ stats_bak.db stats.md5" \
  "Finished backing up archive (stats)" "KVO Archiver shutting down..."
tar -tf "$DATA/archive/stats/0.tar" >/dev/null || fail "archive 0 of stats is not complete"
echo "unit stop: ok"
