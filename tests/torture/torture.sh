#!/usr/bin/env bash
# Torture run: the real service in one sandbox with volatile storage and
# archive folder on small file systems of their own, killed, power-cut and fed
# damaged and hostile archives in a seeded order. After every restart each
# restored total is the youngest value of the newest intact archive, never
# older than the last one synced, and exactly the right archives are kept.
#   torture.sh [CYCLES [SEED]]   (a short round: 20 cycles, seed 2;
#                                KVO_BUILD_DIR and KVO_SOURCE_DIR set,
#                                KVO_SERVICE for another service binary)
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

V=/var/volatile/kvo A=/var/data/kvo/archive J=/tmp/torture LOG=$KVO_TORTURE_LOG SVC=${KVO_SERVICE:-$B/kvo-data-logger}
sim() { "$B/kvo-sim" "$@" >/dev/null; }
RANDOM=$seed cycle=0 kind=start restarts=0 checked=0 failures=0 v=1000 spid=0 hpid=0 plan=""
declare -A kinds floor want keep
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

# judge NAME FILE: the archive is intact and usable as start-up judges it:
# regular, bare-named members, among them the copy and a checksum naming it
# that matches; the copy passes quick_check, `data` is a plain table with key
# and value, and nothing fires on an insert. Leaves the copy in $J.
judge() {
  rm -rf "$J" && mkdir -p "$J"
  local list sum
  list=$(tar -tvf "$2" 2>/dev/null) || return 1
  grep -qv '^-' <<<"$list" && return 1
  tar -tf "$2" 2>/dev/null | grep -q -e / -e '^\.\.$' && return 1
  tar -xf "$2" -C "$J" "$1_bak.db" "$1.md5" 2>/dev/null || return 1
  sum=$(md5sum <"$J/$1_bak.db" | cut -c1-32)
  [ "$(cat "$J/$1.md5")" = "$sum  $V/$1_bak.db" ] || return 1
  [ "$(sqlite3 -readonly "$J/$1_bak.db" "PRAGMA quick_check" \
    "SELECT count(*) FROM sqlite_master WHERE type = 'trigger' OR (name LIKE 'data' AND type <> 'index' AND (type <> 'table' OR sql LIKE 'CREATE VIRTUAL%'))" \
    "SELECT count(*) FROM pragma_table_info('data') WHERE name LIKE 'key' OR name LIKE 'value'" 2>/dev/null | tr '\n' ' ')" = "ok 0 2 " ]
}
# youngest KEY NAME: its youngest value in the judged copy as start-up restores
# it (a changed byte may leave any number there), else 0.
youngest() {
  local x e="max(-2147483648, min(2147483647, CAST(value AS INTEGER)))"  # An int32 key.
  [ $1 = VEH_ODOMETER ] && e="printf('%.17g', CAST(value AS REAL))"
  x=$(sqlite3 -readonly "$J/$2_bak.db" \
    "SELECT $e FROM data WHERE key='$1' ORDER BY rowid DESC LIMIT 1" 2>/dev/null)
  echo "${x:-0}"
}
fresh() {  # fresh NAME...: each one's newest archive is usable and holds its total now
  local name n k
  for name in "$@"; do n=$(numbers $name | head -1) k=GPIO_PULSE_TOTAL1; [ $name = archive ] && k=TORTURE_TOTAL
    judge $name "$A/$name/$n.tar" && awk -v a="$(youngest $k $name)" -v b="$("$B/kvo-sim" get $k)" 'BEGIN { exit !(a == b) }' \
      || fail "$name/$n.tar is no usable archive of the current $k"; done
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
  plan=$("$B/kvo-archive" list -f json "$A" 2>/dev/null | jq -r '.[] | "\(.folder)/\(.file) \(.startup)"' \
    | sed 's/ \(delete\|remove\)$/ gone/; s/ as .*/ keep/' | sort)
}
# differ: start-up loaded, kept and removed what kvo-archive list said it
# would, on the files `expect` saw. A path is loaded when this run logged
# trying it and neither rejected nor kept it for later.
differ() {
  local loaded got
  loaded=$(tail -n +$((mark + 1)) "$LOG" | sed -n 's/.*stats: \(Loading\|Removing bad\|Keeping\) archive[a-z ]* (\([^:)]*\).*/\1 \2/p' \
    | awk '{ n[$NF] += $1 == "Loading" ? 1 : -1 } END { for (p in n) if (n[p] > 0) print p }')
  got=$(while read -r f a; do if grep -qxF "$f" <<<"$loaded"; then echo "$f load"
    elif [ -e "$f" ]; then echo "$f keep"; else echo "$f gone"; fi; done <<<"$plan" | sort)
  [ "$got" = "$plan" ] || fail "start-up did: $(comm -13 <(echo "$plan") <(echo "$got") | tr '\n' ' ')kvo-archive list said: $(comm -23 <(echo "$plan") <(echo "$got") | tr '\n' ' ')"
  [ "$(comm -23 <(echo "$loaded" | sort) <(sed -n 's/ load$//p' <<<"$plan"))" = "" ] || fail "start-up loaded $loaded unlisted"
  plan=""
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
  [ -z "$plan" ] || differ
  kill -0 "$spid" 2>/dev/null || fail "service died"
}
restart() {  # restart keep|wipe [nofloor]
  stop; [ "$1" = wipe ] && wipe; expect; start; check "${2:-}"
}
# Files of non-volatile storage written or renamed since the last flush the
# simulated platform recorded: what a power cut takes from the page cache.
unflushed() {
  comm -23 <(find /var/data/kvo -type f -exec stat -c '%i %s %.9Z %n' {} + | sort) \
    <(sort "$KVO_SIM_DIR/flushed" 2>/dev/null) | cut -d' ' -f4-
}
synced() {  # a completed, flushed backup: what no later start may go back behind
  local t n end=$((SECONDS + 15))
  drive && backup || return
  # A tick logged after the backup's last line shows that it has returned.
  n=$(seen "Current power state")
  until t=$(seen "Current power state") && [ -z "$(unflushed)" ]; do
    [ "$t" -le "$n" ] && [ $SECONDS -lt $end ] || { fail "not flushed once the backup finished: $(unflushed | tr '\n' ' ')"; break; }
    sleep 0.02
  done
  floor[GPIO_PULSE_TOTAL1]=$v floor[VEH_ODOMETER]=$v.5 floor[TORTURE_TOTAL]=$v
}
damage() {  # a power cut: each unflushed file is truncated, zeroed, partly zeroed or gone
  local f how
  for f in $(unflushed); do
    how=$((RANDOM % 4)); kinds[damage$how]=$((${kinds[damage$how]:-0} + 1))
    case $how in
      0) truncate -s $((RANDOM % 4096)) "$f" ;;
      1) dd if=/dev/zero of="$f" bs=512 count=$(($(stat -c %s "$f") / 512)) conv=notrunc status=none ;;
      2) dd if=/dev/zero of="$f" bs=4096 count=1 conv=notrunc status=none ;;
      3) rm "$f" ;;
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
       # The power goes during a backup, after it, or after it but before its
       # flush completes; what was not flushed is lost.
       n=$(seen "Finished backing up archive (archive)") how=$((RANDOM % 3))
       [ $how = 2 ] && sim fail sync_to_fs
       kill -USR2 "$spid"
       if [ $how = 0 ]; then ms 300; else wait_for "Finished backing up archive (archive)" $((n + 1)); fi
       stop; sim unfail sync_to_fs; damage ;;
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

# Working databases damaged under the running service: set aside, replaced,
# and the next backup holds every total.
for c in cp mv; do  # Garbage written over stats.db in place, or put in its place.
  kind=runtime-damage-$c cycle=$((cycle + 1)); kinds[runtime-damage]=$((${kinds[runtime-damage]:-0} + 1)); synced
  rm -f "$V"/*_unusable.db; sqlite3 -cmd ".timeout 5000" "$V/archive.db" "DROP TABLE data; CREATE TABLE data (key TEXT)"
  wait_for "Working database unusable, set aside as $V/archive_unusable.db (archive)" || fail "table change missed"
  # Once stats.db had its size check, the next to read it is the backup itself.
  head -c 8192 /dev/urandom >"$V/g"; $c "$V/g" "$V/stats.db"; rm -f "$V/g"
  synced && fresh stats archive
  for name in stats archive; do [ "$(seen "Working database unusable, set aside as $V/${name}_unusable.db ($name)")" = 1 ] \
    && [ -f "$V/${name}_unusable.db" ] || fail "$name's damaged working database not set aside once"; done
  restart keep
done

# Volatile storage too full at start (after a power cut) to unpack the newest
# archives: all stay, nothing is restored, no backup may take their place;
# once room returns they load and restore.
kind=store-full cycle=$((cycle + 1)); kinds[store-full]=1; synced; stop; wipe
dd if=/dev/zero of="$V/filler" bs=64k status=none 2>/dev/null; truncate -s -8k "$V/filler"
# kvo-archive cannot see volatile storage: it plans the load that waits here.
expect; plan=""; for k in "${!want[@]}"; do want[$k]=0; done
for name in stats archive; do keep[$name]=$(numbers $name); done
start; check nofloor; kill -USR2 "$spid"
wait_for "Backup held back until archive loads (archive)" || fail "backup not held back"
for name in stats archive; do [ "$(seen "Keeping archive for a later load ($A/$name/")" = 1 ] \
  || fail "$name: not one notice that its archive is kept"; done
[ "$(seen "Working database unusable")" = 0 ] || fail "a database on full storage taken for damaged"
check nofloor; expect; rm "$V/filler"; sim clock +120
wait_for "Finished restoring archive (stats:0)" 2 && wait_for "Finished restoring archive (archive:0)" 2 \
  || fail "archives not loaded once room returned"
check; synced && fresh stats archive

# Hostile archives: refused, nothing written outside volatile storage. Copies
# that match their checksum but cannot serve: deleted, never restored from.
hostile() {  # hostile KIND: builds $J.x.tar whose stats_bak.db is hostile
  local h=$J.x t="CREATE TABLE data (ts, key TEXT, value BLOB)" s o i; rm -rf "$h" "$h.tar" && mkdir -p "$h" && cd "$h" || return
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
    not-sqlite) head -c 20000 /dev/urandom >stats_bak.db ;;
    mismatch) sqlite3 stats_bak.db "$t; INSERT INTO data(key,value) VALUES ('GPIO_PULSE_TOTAL1',999999999.0)" && echo "d41d8cd98f00b204e9800998ecf8427e  $V/stats_bak.db" >stats.md5 ;;
    key-only) sqlite3 stats_bak.db "CREATE TABLE data (key TEXT); INSERT INTO data VALUES ('GPIO_PULSE_TOTAL1')" ;;
    view) sqlite3 stats_bak.db "CREATE VIEW data AS SELECT 0 AS ts, 'GPIO_PULSE_TOTAL1' AS key, 77 AS value" ;;
    trigger) sqlite3 stats_bak.db "$t; INSERT INTO data(key,value) VALUES ('GPIO_PULSE_TOTAL1',999999999.0); CREATE TRIGGER t BEFORE INSERT ON data BEGIN SELECT RAISE(FAIL, 'no'); END" ;;
    empty) : >stats_bak.db ;;
    bitflip) tar -xOf "$A/stats/$(numbers stats | head -1).tar" stats_bak.db >stats_bak.db; s=$(stat -c %s stats_bak.db)
       # Half the time the first flip is in the newest GPIO_PULSE_TOTAL1 value, the last page's first.
       o=$(grep -obUa GPIO_PULSE_TOTAL1 stats_bak.db | awk -F: -v m=$((s - 4096)) '$1 >= m { print $1 + 17; exit }')
       for i in $(seq $((1 + RANDOM % 8))); do printf "\\$(printf %o $((RANDOM % 256)))" | dd of=stats_bak.db bs=1 \
         seek=$((i == 1 && RANDOM % 2 ? ${o:-0} + RANDOM % 8 : (RANDOM << 15 | RANDOM) % s)) conv=notrunc status=none; done ;;
  esac
  [ -e "$h.tar" ] || { [ -e stats.md5 ] || echo "$(md5sum <stats_bak.db | cut -c1-32)  $V/stats_bak.db" >stats.md5
    tar -cf "$h.tar" stats_bak.db stats.md5; }
  cd / && rm -rf "$h"
} 2>/dev/null
for kind in traversal absolute symlink hardlink device huge not-sqlite mismatch key-only view trigger empty bitflip; do
  cycle=$((cycle + 1)); kinds[hostile]=$((${kinds[hostile]:-0} + 1))
  synced; hostile $kind; plant stats "$J.x.tar"; touch "$J.mark"
  # A usable bit-flipped copy may hold any value, older than the floor too.
  expect; start; check "$([ $kind = bitflip ] && echo nofloor)"
  # It backs up again within one archive period, unasked.
  # Both, so that the next backup's lines are its own.
  sim clock +1900; wait_for "Finished backing up archive (stats)" && wait_for "Finished backing up archive (archive)" || fail "no periodic backup"
  fresh stats
  # The private /tmp and /var/tmp hold SQLite's unlinked temporary files; the
  # checkout, shown read-only, is no part of the device.
  out=$(find /var /tmp \( -path "$(realpath "$KVO_SOURCE_DIR")" -o -path "$(realpath "$B")" \) -prune -o -newer "$J.mark" -not -path "$V*" -not -path "$A*" \
    -not -path "$J*" -not -path /var/data/kvo -not -path /tmp -not -path /var/tmp -not -path "${LOG%/*}*" -print)
  [ -z "$out" ] || fail "written outside volatile storage: $out"
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
