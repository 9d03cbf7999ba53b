#!/usr/bin/env bash
# Torture run: the real service in one sandbox with volatile storage and
# archive folder on small file systems of their own, killed, power-cut and fed
# damaged and hostile archives in a seeded order. After every restart each
# restored total is the youngest value of the newest intact archive, never
# older than the last one synced, and exactly the right archives are kept.
#   torture.sh [CYCLES [SEED]]   (a short round: 20 cycles, seed 2;
#                                KVO_BUILD_DIR and KVO_SOURCE_DIR set)
set -uo pipefail
: "${KVO_BUILD_DIR:?}" "${KVO_SOURCE_DIR:?}"
B=${KVO_BIN_DIR:-$KVO_BUILD_DIR}
cycles=${1:-20} seed=${2:-2}
if [ -z "${KVO_TORTURE_LOG:-}" ]; then
  t=$(mktemp -d "${TMPDIR:-/tmp}/kvo-torture.XXXXXX") && trap 'rm -rf "$t"' EXIT
  "$B/kvo-sim" --dir "$t/sim" init >/dev/null && : >"$t/syslog" || exit 2
  KVO_TORTURE_LOG=$t/syslog "$KVO_SOURCE_DIR/scripts/sandbox" --volatile-size 16m \
    --data-size 24m --sim "$t/sim" --syslog "$t/syslog" -- bash "$(realpath "$0")" "$@"
  exit
fi

V=/var/volatile/kvo A=/var/data/kvo/archive J=/tmp/torture LOG=$KVO_TORTURE_LOG SVC=$B/kvo-data-logger
sim() { "$B/kvo-sim" "$@" >/dev/null; }
RANDOM=$seed cycle=0 kind=start restarts=0 checked=0 failures=0 v=1000 spid=0 hpid=0
declare -A kinds floor floor_n want keep
fail() { failures=$((failures + 1)); echo "FAIL cycle $cycle ($kind, seed $seed): $*" >&2; }
ms() { sleep "0.$(printf %03d $((RANDOM % $1)))"; }

# Lines of this run of the service holding TEXT; waits for N of them.
seen() { tail -n +$((mark + 1)) "$LOG" | grep -cF "stats: $1"; }
wait_for() {  # wait_for TEXT [N] [SECONDS]
  local end=$((SECONDS + ${3:-15}))
  until [ "$(seen "$1")" -ge "${2:-1}" ]; do [ $SECONDS -lt $end ] || return 1; sleep 0.02; done
}
start() {
  mark=$(wc -l <"$LOG")
  # spid as signals here see it, hpid as the host's /proc shows it.
  set -m; sh -c 'read -r p r </proc/self/stat; echo "$p" >"$0"; exec "$@"' \
    "$J.pid" "$SVC" 2>/dev/null & spid=$!; set +m
  restarts=$((restarts + 1))
  wait_for "Finished restoring archive (archive:0)" || fail "no restore after start"
  read -r hpid <"$J.pid"
}
stop() { kill -KILL -- "-$spid" 2>/dev/null; wait "$spid" 2>/dev/null; }
wipe() { find "$V" -mindepth 1 -delete; }
drive() {  # the vehicle moves on: every total grows
  v=$((v + 1 + RANDOM % 50))
  sim set GPIO_PULSE_TOTAL1 "$v" && sim set VEH_ODOMETER "$v.5" && sim set TORTURE_TOTAL "$v"
}
backup() {  # a requested backup of both instances completes
  local n m
  n=$(seen "Finished backing up archive (archive)") m=$(seen "Finished backing up archive (stats)")
  kill -USR2 "$spid"
  wait_for "Finished backing up archive (archive)" $((n + 1)) && [ "$(seen "Finished backing up archive (stats)")" -gt "$m" ] && return 0
  fail "backup did not succeed"; return 1
}
numbers() { ls "$A/$1" 2>/dev/null | sed -n 's/^\([0-9]*\)\.tar$/\1/p' | sort -rn; }

# judge NAME FILE: the archive is intact as start-up judges it: regular,
# bare-named members, among them the copy and a checksum naming it that
# matches. Leaves the copy in $J.
judge() {
  rm -rf "$J" && mkdir -p "$J"
  local list sum
  list=$(tar -tvf "$2" 2>/dev/null) || return 1
  grep -qv '^-' <<<"$list" && return 1
  tar -tf "$2" 2>/dev/null | grep -q -e / -e '^\.\.$' && return 1
  tar -xf "$2" -C "$J" "$1_bak.db" "$1.md5" 2>/dev/null || return 1
  sum=$(md5sum <"$J/$1_bak.db" | cut -c1-32)
  [ "$(cat "$J/$1.md5")" = "$sum  $V/$1_bak.db" ]
}
youngest() {  # youngest KEY: its youngest value in the judged copy, else 0
  local x
  x=$(sqlite3 -readonly "$J/$2_bak.db" \
    "SELECT value FROM data WHERE key='$1' ORDER BY rowid DESC LIMIT 1" 2>/dev/null)
  echo "${x:-0}"
}
# expect: what the next start must restore and keep, from the files now.
expect() {
  local name n m k kept
  for name in stats archive; do
    m="" kept=""; for n in $(numbers $name); do
      if [ -z "$m" ]; then judge $name "$A/$name/$n.tar" && m=$n kept=$n
      elif [ "$(wc -w <<<"$kept")" -lt 3 ]; then kept="$kept $n"; fi
    done
    keep[$name]=$kept
    for k in $( [ $name = stats ] && echo GPIO_PULSE_TOTAL1 VEH_ODOMETER || echo TORTURE_TOTAL); do
      if [ -n "$m" ]; then judge $name "$A/$name/$m.tar"; want[$k]=$(youngest $k $name)
      else want[$k]=0; fi
    done
  done
  sim set GPIO_PULSE_TOTAL1 0 && sim set VEH_ODOMETER 0 && sim set TORTURE_TOTAL 0
}
# check [nofloor]: after a start, values and archive folders are as expected.
check() {
  local k got name
  for k in "${!want[@]}"; do
    got=$("$B/kvo-sim" get $k) checked=$((checked + 1))
    awk -v a="$got" -v b="${want[$k]}" 'BEGIN { exit !(a == b) }' \
      || fail "$k restored as $got, newest intact archive holds ${want[$k]}"
    [ -n "${1:-}" ] || awk -v a="$got" -v b="${floor[$k]}" 'BEGIN { exit !(a >= b) }' \
      || fail "$k restored as $got, older than the synced ${floor[$k]}"
  done
  for name in stats archive; do
    [ "$(numbers $name | tr '\n' ' ')" = "$(tr ' ' '\n' <<<"${keep[$name]}" | sed '/^$/d' | tr '\n' ' ')" ] \
      || fail "$name archives $(numbers $name | tr '\n' ' ')kept, expected ${keep[$name]}"
  done
  ls -A "$V" | grep -q kvo-extract && fail "extraction left its staging folder"
  kill -0 "$spid" 2>/dev/null || fail "service died"
}
restart() {  # restart keep|wipe [nofloor]
  stop; [ "$1" = wipe ] && wipe; expect; start; check "${2:-}"
}
synced() {  # a completed backup: what no later start may go back behind
  drive && backup || return
  floor[GPIO_PULSE_TOTAL1]=$v floor[VEH_ODOMETER]=$v.5 floor[TORTURE_TOTAL]=$v
  floor_n[stats]=$(numbers stats | head -1) floor_n[archive]=$(numbers archive | head -1)
}
damage() {  # what unsynced flash may hold after a power cut
  local name n how
  for name in stats archive; do
    n=$(numbers $name | head -1)
    [ -n "$n" ] && [ "$n" -gt "${floor_n[$name]}" ] || continue
    how=$((RANDOM % 3)); kinds[damage$how]=$((${kinds[damage$how]:-0} + 1))
    case $how in
      0) truncate -s $((RANDOM % 4096)) "$A/$name/$n.tar" ;;
      1) dd if=/dev/zero of="$A/$name/$n.tar" bs=512 count=$(($(stat -c %s "$A/$name/$n.tar") / 512)) conv=notrunc status=none ;;
      2) dd if=/dev/zero of="$A/$name/$n.tar" bs=4096 count=1 conv=notrunc status=none ;;
    esac
  done
}
nskill() {  # nskill PID: SIGKILL the process the host's /proc calls PID
  local k v
  while read -r k v; do
    [ "$k" = NSpid: ] && kill -KILL "${v##*[[:space:]]}" && return 0
  done </proc/$1/status
  return 1
}
kill_child() {  # kill_child NAME: SIGKILL the backup's child running NAME
  local end=$((SECONDS + 5)) kids k g c
  while [ $SECONDS -lt $end ] && [ -e /proc/$hpid ]; do
    kids="" && read -r kids </proc/$hpid/task/$hpid/children
    for k in $kids; do
      c="" && read -r c </proc/$k/comm
      [ "$c" = "$1" ] && nskill "$k" && return 0
      [ "$c" = sh ] || continue
      g="" && read -r g </proc/$k/task/$k/children
      for g in $g; do c="" && read -r c </proc/$g/comm
        [ "$c" = "$1" ] && nskill "$g" && return 0; done
    done
  done 2>/dev/null
  return 1
}
plant() {  # plant NAME FILE: a foreign archive as the newest of NAME
  local n; n=$(numbers $1 | head -1); stop; cp "$2" "$A/$1/$((${n:--1} + 1)).tar"
}

# A vehicle whose totals both instances restore.
sim power 2 && sim set TORTURE_TOTAL 0 --type 2 --db VEH
echo '{"list":[{"name":"TORTURE_TOTAL","save_to_db":true,"period":1,"restore":true}]}' \
  | sim config -
start; synced
for cycle in $(seq "$cycles"); do
  mode=keep; [ $((RANDOM % 3)) = 0 ] && mode=wipe
  synced; drive
  case $((RANDOM % 7)) in
    0) kind=kill; ms 999; stop ;;
    1) kind=usr2-kill; kill -USR2 "$spid"; ms 300; stop ;;
    2) c=(sqlite3 md5sum tar mv); kind=child-${c[RANDOM % 4]}; kill -USR2 "$spid"
       kill_child "${kind#child-}" || kind=child-missed; ms 300; stop ;;
    3|4) kind=crash-damage mode=keep; [ $((RANDOM % 7)) -lt 4 ] && kind=power-cut mode=wipe
       kill -USR2 "$spid"
       if [ $((RANDOM % 2)) = 0 ]; then ms 300; else wait_for "Finished backing up archive (archive)" $(($(seen "Finished backing up archive (archive)") + 1)); fi
       stop; damage ;;
    5) kind=hot-journal mode=keep; sleep 1.2; ms 999; stop
       for name in stats archive; do [ -s "$V/$name.db" ] && { sqlite3 "$V/$name.db" \
         "PRAGMA synchronous=0; BEGIN; DELETE FROM data;" ".system kill -KILL \$PPID"; } 2>/dev/null; done ;;
    6) kind=md5-names-other mode=keep; mkdir -p "$J.h" && sqlite3 "$J.h/stats_bak.db" \
         "CREATE TABLE data (ts, key TEXT, value BLOB); INSERT INTO data(key,value) VALUES ('GPIO_PULSE_TOTAL1',999999999.0)"
       cp "$J.h/stats_bak.db" "$V/stats_old.db"  # Named as long as the own copy.
       md5sum "$V/stats_old.db" >"$J.h/stats.md5" && tar -cf "$J.h.tar" -C "$J.h" stats_bak.db stats.md5
       plant stats "$J.h.tar"; rm -rf "$J.h" "$J.h.tar" ;;
  esac
  kinds[$kind]=$((${kinds[$kind]:-0} + 1))
  wait "$spid" 2>/dev/null
  restart $mode
done

# Full storage: backups fail, nothing intact is lost, and they recover.
for dir in "$V" /var/data/kvo; do
  kind=full-$dir cycle=$((cycle + 1)); kinds[full]=$((${kinds[full]:-0} + 1)); drive
  n=$(seen "Backing up archive (archive)")
  dd if=/dev/zero of="$dir/filler" bs=64k status=none 2>/dev/null
  kill -USR2 "$spid"; wait_for "Backing up archive (archive)" $((n + 1)); sleep 1
  for name in stats archive; do for n in $(numbers $name); do
    judge $name "$A/$name/$n.tar" || fail "$name/$n.tar not intact while $dir is full"
  done; done
  rm -f "$dir/filler"; synced; restart keep
done

# Hostile archives: refused, nothing written outside volatile storage.
hostile() {  # hostile KIND: builds $J.x.tar whose stats_bak.db is hostile
  local h=$J.x; rm -rf "$h" && mkdir -p "$h" && cd "$h" || return
  case $1 in
    traversal) echo x >f; tar -cf "$h.tar" --transform 's,^f,../escaped,' f ;;
    absolute) echo x >/tmp/kvo-escaped; tar -cPf "$h.tar" /tmp/kvo-escaped; rm /tmp/kvo-escaped ;;
    symlink) ln -s /etc/hostname stats_bak.db; tar -cf "$h.tar" stats_bak.db ;;
    hardlink) echo x >a; ln a stats_bak.db; tar -cf "$h.tar" a stats_bak.db ;;
    device) : >stats_bak.db; tar -cf "$h.tar" stats_bak.db
       printf 3 | dd of="$h.tar" bs=1 seek=156 conv=notrunc status=none
       printf '        ' | dd of="$h.tar" bs=1 seek=148 conv=notrunc status=none
       printf '%06o\0 ' "$(od -An -tu1 -v -N512 "$h.tar" | tr -s ' ' '\n' | awk '{s += $1} END {print s}')" \
         | dd of="$h.tar" bs=1 seek=148 conv=notrunc status=none ;;
    huge) truncate -s 64M stats_bak.db; tar -Scf "$h.tar" stats_bak.db ;;
    not-sqlite) head -c 20000 /dev/urandom >stats_bak.db
       echo "$(md5sum <stats_bak.db | cut -c1-32)  $V/stats_bak.db" >stats.md5
       tar -cf "$h.tar" stats_bak.db stats.md5 ;;
    mismatch) sqlite3 stats_bak.db "CREATE TABLE data (ts, key TEXT, value BLOB); INSERT INTO data(key,value) VALUES ('GPIO_PULSE_TOTAL1',999999999.0)" && echo "d41d8cd98f00b204e9800998ecf8427e  $V/stats_bak.db" >stats.md5 && tar -cf "$h.tar" stats_bak.db stats.md5 ;;
  esac
  cd / && rm -rf "$h"
} 2>/dev/null
for kind in traversal absolute symlink hardlink device huge not-sqlite mismatch; do
  cycle=$((cycle + 1)); kinds[hostile]=$((${kinds[hostile]:-0} + 1))
  synced; hostile $kind; plant stats "$J.x.tar"; touch "$J.mark"
  expect; start; sleep 1; if [ $kind = not-sqlite ]; then check nofloor; else check; fi
  out=$(find /var /tmp -newer "$J.mark" -not -path "$V*" -not -path "$A*" \
    -not -path "$J*" -not -path /var/data/kvo -not -path /tmp -not -path "${LOG%/*}*")
  [ -z "$out" ] || fail "written outside volatile storage: $out"
  [ $kind = not-sqlite ] && { stop; rm -f "$A/stats/$(numbers stats | head -1).tar" "$V/stats.db"; start; }
done

# A storm of reload and backup requests, then a stop.
kind=signal-storm cycle=$((cycle + 1)); kinds[storm]=1; synced
for i in $(seq 500); do kill -USR1 "$spid"; kill -USR2 "$spid"; done
kill -INT "$spid"
# A SIGINT while a backup command runs is ignored, as system() ignores it.
for i in $(seq 50); do kill -0 "$spid" 2>/dev/null || break; sleep 0.2; kill -INT "$spid" 2>/dev/null; done
wait "$spid"; status=$?
[ $status = 0 ] || fail "exit status $status after SIGINT"
[ "$(seen "KVO Archiver shutting down...")" = 1 ] || fail "no shutdown line"
expect; start; check; stop

summary=""; for k in $(printf '%s\n' "${!kinds[@]}" | sort); do summary="$summary $k ${kinds[$k]},"; done
echo "faults:${summary%,}"
echo "cycles $cycles, restarts $restarts, values checked $checked, failures $failures"
[ $failures = 0 ]
