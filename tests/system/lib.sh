# Shared steps of the system tests: a private simulated vehicle, the real
# service in the sandbox, and waits on what it writes to the syslog.
# Expects KVO_BUILD_DIR and KVO_SOURCE_DIR (ctest sets both).
set -euo pipefail

: "${KVO_BUILD_DIR:?KVO_BUILD_DIR must name the build folder}"
: "${KVO_SOURCE_DIR:?KVO_SOURCE_DIR must name the source folder}"
# KVO_BIN_DIR: where the programs are run from (a cross build's wrappers
# that run them under the emulator); KVO_SERVICE: another service binary
# (a device build's, scripts/device-test).
SERVICE=${KVO_SERVICE:-${KVO_BIN_DIR:-$KVO_BUILD_DIR}/kvo-data-logger}
KVO_SIM=${KVO_BIN_DIR:-$KVO_BUILD_DIR}/kvo-sim
SANDBOX=$KVO_SOURCE_DIR/scripts/sandbox
# A missing precondition is a failure that names it, never a skip.
for need in "$SERVICE" "$KVO_SIM" "$SANDBOX"; do
  [ -x "$need" ] || { echo "FAIL: missing $need (build first)" >&2; exit 1; }
done
for need in bwrap busybox; do
  command -v $need >/dev/null ||
    { echo "FAIL: missing $need (scripts/setup installs it)" >&2; exit 1; }
done

# A fresh folder for the test, removed at exit unless KVO_KEEP_TEST_DIR is set.
T=$(mktemp -d "$KVO_BUILD_DIR/systest.XXXXXX")
SIM=$T/sim VOLATILE=$T/volatile DATA=$T/data SYSLOG=$T/syslog PIDFILE=$T/pid
mkdir -p "$SIM" "$VOLATILE" "$DATA"
: >"$SYSLOG"
SANDBOX_PID=""
cleanup() {
  # A test that failed may leave the service running: stop it by its own
  # process id (a background job of this script ignores SIGINT).
  if [ -n "$SANDBOX_PID" ] && kill -0 "$SANDBOX_PID" 2>/dev/null; then
    [ -s "$PIDFILE" ] && kill -KILL "$(cat "$PIDFILE")" 2>/dev/null
    wait "$SANDBOX_PID" 2>/dev/null || true
  fi
  if [ -n "${KVO_KEEP_TEST_DIR:-}" ]; then echo "kept $T" >&2; else rm -rf "$T"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- syslog ---" >&2
  cat "$SYSLOG" >&2
  exit 1
}

sim() { "$KVO_SIM" --dir "$SIM" "$@"; }

# The service's own lines ("stats: ..."), without syslog's prefix.
service_log() { sed -n 's/^.* stats: //p' "$SYSLOG"; }
# Lines with their facility.priority: "local0.info Added key ...".
service_log_prio() { sed -n 's/^.* \(local0\.[a-z]*\) stats: /\1 /p' "$SYSLOG"; }

# has_prio_line "local0.notice TEXT": the service logged TEXT at that level.
# (grep -q would quit early and fail the pipe under pipefail.)
has_prio_line() { service_log_prio | grep -xF -- "$1" >/dev/null; }

# start_service [sandbox options...]: the service in the background.
start_service() {
  : >"$PIDFILE"
  "$SANDBOX" --sim "$SIM" --volatile "$VOLATILE" --data "$DATA" \
    --syslog "$SYSLOG" --pidfile "$PIDFILE" "$@" -- "$SERVICE" 2>"$T/sandbox.err" &
  SANDBOX_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$PIDFILE" ] && return 0
    kill -0 "$SANDBOX_PID" 2>/dev/null || break
    sleep 0.05
  done
  fail "the service did not start: $(cat "$T/sandbox.err")"
}

service_pid() { cat "$PIDFILE"; }
signal_service() { kill "-$1" "$(service_pid)"; }

# wait_log TEXT [SECONDS]: until a service line holds TEXT.
wait_log() {
  local text=$1 seconds=${2:-10} i
  for i in $(seq $((seconds * 20))); do
    service_log | grep -F -- "$text" >/dev/null && return 0
    sleep 0.05
  done
  fail "no log line with '$text' within ${seconds}s"
}

# count_log TEXT: how many service lines are exactly TEXT.
count_log() { service_log | grep -cxF -- "$1" || true; }

# stop_service SIGNAL: sends it and waits; the exit status lands in STATUS.
STATUS=""
stop_service() {
  signal_service "$1"
  STATUS=0
  wait "$SANDBOX_PID" || STATUS=$?
  SANDBOX_PID=""
}

# expect_in_order LINE...: each line occurs, exactly, after the one before.
expect_in_order() {
  local log line n=0
  log=$(service_log)
  for line in "$@"; do
    n=$(awk -v n="$n" -v line="$line" 'NR > n && $0 == line { print NR; exit }' \
      <<<"$log")
    [ -n "$n" ] || fail "'$line' missing or out of order"
  done
}

# wait_count TEXT N [SECONDS]: until N service lines are exactly TEXT.
wait_count() {
  local text=$1 count=$2 seconds=${3:-10} i
  for i in $(seq $((seconds * 20))); do
    [ "$(count_log "$text")" -ge "$count" ] && return 0
    sleep 0.05
  done
  fail "fewer than $count lines '$text' within ${seconds}s"
}

# A vehicle in power state 2 and a "system.data_logger" document from stdin.
make_vehicle() {
  sim init >/dev/null
  sim power "${1:-2}" >/dev/null
}
install_config() { sim config - >/dev/null; }
