#!/usr/bin/env bash
# The packages under a real init (as root): boots a throwaway Debian root
# with systemd (scripts/boot-root --boot) and checks the service under its
# installed unit: folders made at boot, sampling, restore after a restart, a
# clean and quick stop when idle and during the backup of a full database,
# reload, restart after SIGKILL, poweroff.
#
#   tests/boot/boot_test.sh DEB...
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 DEB..." >&2; exit 2; }
T=$(mktemp -d /var/tmp/kvo-boot.XXXXXX)
ROOT=$T/root PID1=""
cleanup() {
  [ -z "$PID1" ] || { kill -KILL "$PID1" 2>/dev/null; until_ok 10 test -e "$ROOT.status"; } || true
  [ -n "${KVO_KEEP_TEST_DIR:-}" ] && echo "kept $T" >&2 || rm -rf "$T"
}
trap cleanup EXIT
journal() { journalctl -D "$ROOT/var/log/journal" -q -o cat "$@" 2>/dev/null || true; }
fail() {
  { echo "FAIL: $*"; tail -n 15 "$ROOT.console" 2>/dev/null || true; journal -t stats | grep -v '^\(Current power\|check_size\|Checking\|Page\)' | tail -n 25; } >&2
  exit 1
}
ctr() { nsenter -t "$PID1" -a "$@"; }
sim() { ctr kvo-sim --dir /run/kvo-sim "$@" >/dev/null; }
unit() { ctr systemctl "$1" kvo-data-logger "${@:2}" || fail "systemctl $* failed"; }
main_pid() { ctr systemctl show -p MainPID --value kvo-data-logger; }
logged() { journal -t stats "_PID=$1" | grep -xF -- "$2" >/dev/null; }  # PID TEXT
until_ok() {  # SECONDS COMMAND...
  local i
  for i in $(seq $(($1 * 5))); do "${@:2}" && return 0; sleep 0.2; done
  return 1
}
started() { pid=$(main_pid); until_ok 20 logged "$pid" "Finished restoring archive (archive:0)" || fail "no start-up"; }
stop() {  # WHAT: stops the service; clean, in well under the unit's 60 s, archives good
  local t0=$EPOCHREALTIME ms
  unit stop
  ms=$(((${EPOCHREALTIME/./} - ${t0/./}) / 1000))
  echo "stop $1: $ms ms"
  logged "$pid" "KVO Archiver shutting down..." || fail "no clean shutdown at the stop $1"
  [ "$(ctr systemctl show -p ExecMainStatus --value kvo-data-logger)" = 0 ] || fail "stop $1: exit status"
  [ "$ms" -lt 30000 ] || fail "the stop $1 took $ms ms"
  ctr sh -c 'kvo-archive verify /var/data/kvo/archive/*/*.tar' >/dev/null || fail "bad archive after the stop $1"
}

PID1=$("$(dirname "$0")/../../scripts/boot-root" --boot "$ROOT" "$@") || fail "cannot boot the root"
[ -d "$ROOT/var/volatile/kvo" ] && [ -d "$ROOT/var/data/kvo/archive" ] || fail "no folders from tmpfiles"
ctr systemctl is-active -q kvo-data-logger || fail "the unit is not active after boot"

# A statistics agent for the service to start through systemctl, under
# its sandbox (no capabilities, /proc hidden), at its first configuration.
printf '[Service]\nExecStart=/bin/sleep infinity\n' >"$ROOT/etc/systemd/system/stats-agent.service"
ctr systemctl daemon-reload
# The vehicle, which the service has been waiting for since boot.
sim init
sim power 2
echo '{"list": [{"name": "VEH_ODOMETER", "save_to_db": true, "period": 60}]}' | sim config -
started
ctr systemctl is-active -q stats-agent || fail "stats-agent not started by the service"
! logged "$pid" "Error starting kvo-stats" || fail "the service could not start stats-agent"
sampled() { [ "$(ctr sqlite3 /var/volatile/kvo/stats.db 'SELECT count(*) FROM data' 2>/dev/null)" -gt 0 ] 2>/dev/null; }
until_ok 20 sampled || fail "no rows in /var/volatile/kvo/stats.db"
sim set VEH_ODOMETER 51234.5
pid=$(main_pid)
sim clock +1900  # past the 30-minute period: both instances back up
until_ok 30 logged "$pid" "Finished backing up archive (archive)" || fail "no periodic backup"
sim set VEH_ODOMETER 0
unit restart
started
odometer=$(ctr kvo-sim --dir /run/kvo-sim get VEH_ODOMETER)
[ "$odometer" = 51234.5 ] || fail "odometer after the restart: $odometer, not the archived 51234.5"
stop "when idle"

# A full 10 MiB database (without an archive, start-up keeps it) and a slow
# tar, so that the stop comes during its backup.
rm -f "$ROOT"/var/data/kvo/archive/archive/*.tar
ctr sqlite3 /var/volatile/kvo/archive.db "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL
  SELECT i + 1 FROM n LIMIT 230000) INSERT INTO data (key, value) SELECT 'VEH_ODOMETER', i FROM n"  # 2498 pages
printf '#!/bin/sh\nsleep 3\nexec /bin/tar "$@"\n' >"$ROOT/usr/local/bin/tar"
chmod +x "$ROOT/usr/local/bin/tar"
unit start
started
unit kill -s USR2
until_ok 30 logged "$pid" "Exec:tar -cf /var/volatile/kvo/archive.tar -C /var/volatile/kvo/ archive_bak.db archive.md5" ||
  fail "no backup of the archive instance"
stop "during a backup"
logged "$pid" "Finished backing up archive (archive)" || fail "the backup did not finish before the stop"
[ "$(stat -c %s "$ROOT/var/data/kvo/archive/archive/0.tar")" -gt $((9 * 1048576)) ] || fail "not the full database"
rm "$ROOT/usr/local/bin/tar"

unit start
started
unit reload
passes() { [ "$(journal -t stats "_PID=$pid" | grep -cxF "Getting archive config")" = 2 ]; }
until_ok 10 passes || fail "no configuration pass after reload"
unit kill -s KILL
restarted() { local now; now=$(main_pid); [ "$now" != 0 ] && [ "$now" != "$pid" ]; }
until_ok 20 restarted || fail "not restarted after SIGKILL"
started

ctr systemctl poweroff || true
until_ok 60 test -s "$ROOT.status" || fail "the container did not power off"
PID1=""
[ "$(cat "$ROOT.status")" = 0 ] || fail "systemd-nspawn ended with status $(cat "$ROOT.status") at poweroff"
logged "$pid" "KVO Archiver shutting down..." || fail "no clean shutdown at poweroff"
echo "boot test: ok in $SECONDS s"
