#!/usr/bin/env bash
# Runs the built kvo-sim as a script would and checks its exit codes, its
# output and the files it leaves in the simulated platform's folder.
set -euo pipefail

SIM=${1:?usage: kvo_sim_test.sh PATH_TO_KVO_SIM}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export KVO_SIM_DIR=$WORK/sim
OUT=$WORK/out
ERR=$WORK/err

fail() {
  echo "FAIL (line ${BASH_LINENO[0]}): $*" >&2
  exit 1
}

# expect STATUS ARGUMENTS...: runs kvo-sim, keeping stdout and stderr.
expect() {
  local want=$1 got=0
  shift
  "$SIM" "$@" >"$OUT" 2>"$ERR" || got=$?
  [[ $got == "$want" ]] || fail "kvo-sim $* exited $got, not $want: $(<"$ERR")"
}
output_is() { [[ "$(<"$OUT")" == "$1" ]] || fail "output '$(<"$OUT")', not '$1'"; }
output_has_line() { grep -qFx -- "$1" "$OUT" || fail "no line '$1' in: $(<"$OUT")"; }
error_has() { grep -qF -- "$1" "$ERR" || fail "no '$1' in stderr: $(<"$ERR")"; }
# expect_stderr STATUS TEXT ARGUMENTS...: as expect, and stderr holds TEXT.
expect_stderr() {
  local want=$1 text=$2
  shift 2
  expect "$want" "$@"
  error_has "$text"
}
get_is() {
  expect 0 get "$1"
  output_is "$2"
}

# Help and usage errors.
expect 0 --dir "$KVO_SIM_DIR" -h
grep -q '^Usage: kvo-sim' "$OUT" || fail "no usage text"
expect_stderr 2 "no command"
expect_stderr 2 "unknown command bogus" bogus
expect 2 --dir
expect 2 list extra
expect_stderr 2 "unknown option --bogus" init --bogus
[[ ! -e $KVO_SIM_DIR ]] || fail "a usage error created the folder"

# init: a vehicle with the power state and the 22 keys of the stats list.
expect 0 init
[[ -d $KVO_SIM_DIR/cmd ]] || fail "no cmd folder"
expect 0 list
[[ $(wc -l <"$OUT") == 23 ]] || fail "init made $(wc -l <"$OUT") keys"
output_has_line $'SYS_STATE_INT\tSYS\t2\t0'
for key in VEH_ODOMETER VEH_ODOMETER_GPS VEH_ODOMETER_OBD VEH_FUELLEVEL \
  VEH_FUELUSED VEH_FUELUSED_LVL VEH_FUELUSED_MAF VEH_FUELUSED_RATE \
  VEH_IDLETIME VEH_IDLETIME_IGN VEH_IDLETIME_RPM VEH_ENGHOURS \
  VEH_ENGHOURS_IGN VEH_ENGHOURS_RPM CELL_TOTAL_RX CELL_TOTAL_TX \
  GPS_LAST_VALID_LAT GPS_LAST_VALID_LON GPIO_PULSE_TOTAL1 \
  GPIO_PULSE_TOTAL2 GPIO_PULSE_TOTAL3 GPIO_PULSE_TOTAL4; do
  grep -qE "^$key	[A-Z]+	[23]	-?[0-9.]+$" "$OUT" || fail "no usable $key"
done
expect 0 set VEH_ODOMETER 1.5
expect_stderr 1 "--force" init
get_is VEH_ODOMETER 1.5
expect 0 init --force
get_is VEH_ODOMETER 48213.7

# set and get: existing keys keep type and db; new ones need both.
expect 0 set VEH_ODOMETER 812.25
expect 0 list
output_has_line $'VEH_ODOMETER\tVEH\t3\t812.25'
get_is VEH_ODOMETER 812.25
expect 0 set VEH_ODOMETER 2.0
get_is VEH_ODOMETER 2.0
expect_stderr 2 "give --type and --db" set NEW_KEY 1 --type 2
expect_stderr 1 "unknown key NEW_KEY" get NEW_KEY
expect 0 set NEW_KEY hello --type 4 --db SYS
get_is NEW_KEY '"hello"'
expect 0 set NEW_KEY '{"a": [1, true]}'
get_is NEW_KEY '{"a":[1,true]}'
expect 0 set NEW_KEY 12abc --type=3
get_is NEW_KEY '"12abc"'
expect 0 list
output_has_line $'NEW_KEY\tSYS\t3\t"12abc"'
expect 0 set NO_DB 3 --type=2 --db=null
expect 0 list
output_has_line $'NO_DB\tnull\t2\t3'
expect_stderr 2 "--type needs an integer" set NEW_KEY 1 --type two
expect_stderr 2 "given twice" set NEW_KEY 1 --db A --db B

# power: always SYS_STATE_INT in SYS, created where missing.
expect 0 power 2
get_is SYS_STATE_INT 2
expect 0 --dir "$WORK/fresh" power 3
expect 0 --dir="$WORK/fresh" list
output_is $'SYS_STATE_INT\tSYS\t2\t3'
get_is SYS_STATE_INT 2
expect 2 power two
expect 2 power 2147483648

# config: installed atomically only when it is JSON.
CONFIG=$KVO_SIM_DIR/cmd/system.data_logger.json
echo '{"list": [{"name": "VEH_ODOMETER", "save_to_db": true}]}' >"$WORK/good.json"
expect 0 config "$WORK/good.json"
cmp -s "$WORK/good.json" "$CONFIG" || fail "config not installed as given"
echo '{"list": [' >"$WORK/bad.json"
expect_stderr 1 "not valid JSON" config "$WORK/bad.json"
cmp -s "$WORK/good.json" "$CONFIG" || fail "a bad config replaced the good one"
expect 1 config "$WORK/missing.json"
echo '{"from": "stdin"}' | "$SIM" config - || fail "config - failed"
[[ "$(<"$CONFIG")" == '{"from": "stdin"}' ]] || fail "config - not installed"
expect 2 config
expect 0 config --remove
[[ ! -e $CONFIG ]] || fail "config --remove left the file"
expect 0 config --remove

# clock: relative and absolute offsets seen by fwtime_s.
OFFSET=$KVO_SIM_DIR/clock_offset
expect 0 clock
(($(<"$OUT") - $(date +%s) <= 0 && $(date +%s) - $(<"$OUT") <= 2)) ||
  fail "clock $(<"$OUT") is not now"
expect 0 clock +1000
expect 0 clock -30
[[ "$(<"$OFFSET")" == 970 ]] || fail "offset $(<"$OFFSET"), not 970"
expect 0 clock
((($(<"$OUT") - $(date +%s)) >= 968 && ($(<"$OUT") - $(date +%s)) <= 970)) ||
  fail "clock $(<"$OUT") is not 970 s ahead"
expect 0 clock 9223372036854775807
expect_stderr 1 "overflow" clock +1
echo soon >"$OFFSET"
expect_stderr 1 "no offset" clock +5
expect_stderr 0 "ignores it" clock
expect 0 clock --reset
[[ ! -e $OFFSET ]] || fail "clock --reset left the file"
expect 2 clock 1.5

# fail: only real platform function names.
expect 0 fail
output_is ""
expect 0 fail check_md5
expect 0 fail sync_to_fs
expect 0 fail check_md5
expect 0 fail
output_is $'check_md5\nsync_to_fs'
expect_stderr 2 "no failure value" fail fwtime_s
expect_stderr 2 "one of: sysdb_get_key_type" fail check_md6
expect 0 unfail check_md5
expect 0 fail
output_is "sync_to_fs"
expect 0 fail --clear
[[ ! -e $KVO_SIM_DIR/fail ]] || fail "fail --clear left the file"
expect 2 unfail

# Every write went through a temporary file that is gone now.
FILES=$(cd "$KVO_SIM_DIR" && find . -type f | sort | tr '\n' ' ')
[[ $FILES == "./sysdb.json " ]] || fail "files left: $FILES"

# A bad sysdb.json fails every command that needs it and stays as it is.
SYSDB=$KVO_SIM_DIR/sysdb.json
for text in '{"K": ' '[1, 2]' '{} {}'; do
  printf '%s' "$text" >"$SYSDB"
  for command in "get K" "list" "set K 1" "power 2"; do
    # shellcheck disable=SC2086
    expect 1 $command
    error_has "sysdb.json"
  done
  [[ "$(<"$SYSDB")" == "$text" ]] || fail "a command rewrote a bad sysdb.json"
done
expect 1 init
expect 0 init --force

# Malformed entries are shown, not fatal.
echo '{"BAD": 5, "NV": {"namedb": "D", "type": 2}}' >"$SYSDB"
expect 0 list
output_has_line $'BAD\tmalformed entry 5'
output_has_line $'NV\tD\t2\t(no value)'
expect_stderr 1 "malformed" get BAD
expect_stderr 1 "has no value" get NV

echo "kvo-sim tool tests passed"
