#!/usr/bin/env bash
# kvo-archive on archives the real service wrote for three vehicles and on
# damaged and hostile ones: each judged as start-up judges it, dumps that
# load into one SQLite table with every value exact, CSV and JSON that
# parse, no control byte from an archive raw on a terminal, no wait on a
# FIFO, and clear errors.
. "$(dirname "$0")/../system/lib.sh"
TOOL=${KVO_BIN_DIR:-$KVO_BUILD_DIR}/kvo-archive
OUT=$T/out ERR=$T/err

# expect STATUS ARGUMENTS...: runs kvo-archive, keeping stdout and stderr.
expect() {
  local want=$1 got=0
  shift
  timeout 10 "$TOOL" "$@" >"$OUT" 2>"$ERR" || got=$?
  [ "$got" = "$want" ] || fail "kvo-archive $* exited $got, not $want: $(cat "$ERR")"
}
has_line() { grep -qxF -- "$1" "$OUT" || fail "no line '$1' in: $(cat "$OUT")"; }
q() { sqlite3 "$@" || fail "sqlite3 $*"; }

# Three vehicles, each with its own volatile and archive storage, archived
# once on request after its odometer was set.
vehicle() {
  SIM=$T/veh$1/sim VOLATILE=$T/veh$1/volatile DATA=$T/veh$1/data
  mkdir -p "$SIM" "$VOLATILE" "$DATA"
  make_vehicle 2
  install_config <<<"$CONF"
  [ "$(cat "$SIM/cmd/system.data_logger.json")" = "$CONF" ] || fail "kvo-sim config - did not read stdin"
  : >"$SYSLOG"
  start_service --systemctl ok
  wait_log "Copied 22 entries"
  sim set VEH_ODOMETER "$2" >/dev/null
  signal_service USR2
  wait_log "Finished backing up archive (archive)"
  stop_service INT
}
CONF='{"list": [{"name": "CELL_TOTAL_RX", "save_to_db": true, "period": 1}]}'
ODOMETERS=(0 -10001.25 20002.5 30003.75)  # kvo-sim takes -10001.25 as a value.
for v in 1 2 3; do vehicle $v "${ODOMETERS[$v]}"; done

expect 0 list "$T"
[ "$(grep -c '^start-up loads 0.tar; the next archive is 1.tar$' "$OUT")" = 6 ] ||
  fail "not six instances loading 0.tar: $(cat "$OUT")"
grep -q "^stats  *0  *0.tar  *[0-9]*  *good  *[0-9][0-9]*  *22  *20..-..-..T..:..:..Z .* load$" \
  "$OUT" || fail "no good stats row: $(cat "$OUT")"
expect 0 list --format json "$T"
[ "$(jq -c 'length, ([.[] | select(.instance == "stats") | [.number, .state, .keys, .startup]] | unique)' \
  "$OUT")" = $'6\n[[0,"good",22,"load"]]' ] || fail "list --format json: $(cat "$OUT")"
expect 0 verify "$T"/veh1/data/archive/*/0.tar
has_line "$T/veh1/data/archive/stats/0.tar: good (instance stats)"
for tool in kvo-archive kvo-sim; do
  [ "$("${KVO_BIN_DIR:-$KVO_BUILD_DIR}/$tool" -V)" = "$tool $(sed -n 's/^project(.* VERSION \([^ ]*\).*/\1/p' \
    "$KVO_SOURCE_DIR/CMakeLists.txt")" ] || fail "$tool --version"
  [ "$("${KVO_BIN_DIR:-$KVO_BUILD_DIR}/$tool" --help | LC_ALL=C grep -caP '[\x00-\x09\x0b-\x1f\x7f]')" = 0 ] ||
    fail "$tool --help writes a control byte"
done
# The shared parser: negative numbers, "--", an option after a positional
# argument also under POSIXLY_CORRECT.
[ "$(sim set VEH_ODOMETER -.5 && POSIXLY_CORRECT=1 sim set K3 -5 -t 3 -D VEH && sim set K4 -t 4 -D VEH -- -x &&
  sim get VEH_ODOMETER && sim get K3 && sim get K4)" = $'-0.5\n-5\n"-x"' ] || fail "kvo-sim arguments"

# Each vehicle's archive dumped from standard input: every row it holds.
for v in 1 2 3; do
  A=$T/veh$v/data/archive/stats/0.tar
  expect 0 dump -d "veh$v" - <"$A"
  tar -xOf "$A" stats_bak.db >"$T/veh$v.db"
  want=$(q "$T/veh$v.db" "SELECT count(*) FROM data")
  [ "$(grep -c "^veh$v,[0-9]*,20" "$OUT")" = "$want" ] && [ "$want" -gt 22 ] ||
    fail "veh$v: $(wc -l <"$OUT") lines dumped, $want rows archived"
  expect 0 last - <"$T/veh$v/volatile/stats.db"
  grep -q "^VEH_ODOMETER  *${ODOMETERS[$v]}  *real  *20" "$OUT" || fail "last: $(cat "$OUT")"
done

# Every value comes back with its type, exactly: a seeded spread of reals,
# large integers, and texts with the characters CSV and JSON must escape.
DB=$T/values.db
q "$DB" "CREATE TABLE data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB);
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)
  INSERT INTO data (key, value) SELECT 'K' || (i % 7), CASE i % 5
    WHEN 0 THEN (i * 7919 % 100003) / 977.0 * (1 << (i % 60)) WHEN 1 THEN 1.0 / i
    WHEN 2 THEN (i * 2654435761) * 1000003 WHEN 3 THEN NULL
    ELSE 'a,b \"q\" ' || char(10, 13, 9, 1, 233) || '\\ ' || i END FROM n;
  INSERT INTO data (key, value) VALUES ('K8', 42.0), ('K8', -0.0), ('K8', ''), ('K8', 9e999)"
expect 0 dump "$DB"
q "$DB" "CREATE TABLE csv (rowid, time, key, type, value)" ".import --csv --skip 1 $OUT csv"
expect 0 dump "$DB" --format jsonl
{ echo '['; paste -sd, "$OUT"; echo ']'; } >"$T/values.json"
same=$(q "$DB" "SELECT
  (SELECT count(*) FROM data d JOIN csv c ON c.rowid = d.rowid AND c.key = d.key
    AND c.type = typeof(d.value) AND (CASE c.type WHEN 'integer' THEN CAST(c.value AS INTEGER)
    WHEN 'real' THEN CAST(c.value AS REAL) WHEN 'null' THEN NULL ELSE c.value END) IS d.value),
  (SELECT count(*) FROM data d JOIN json_each(readfile('$T/values.json')) j
    ON j.value ->> 'rowid' = d.rowid AND j.value ->> 'key' = d.key
    AND j.value ->> 'type' = typeof(d.value) AND j.value ->> 'value' IS d.value
    AND j.value ->> 'time' = replace(d.ts, ' ', 'T') || 'Z'
    AND json_type(j.value, '$.value') = typeof(d.value)),
  (SELECT count(*) FROM data)")
[ "$same" = "2004|2004|2004" ] || fail "exact rows csv|jsonl|all: $same"
expect 0 dump "$DB" --format jsonl --key K1 --key K8 --since 2000-01-01 --until 2999-01-01T00:00:00Z
[ "$(wc -l <"$OUT")" = 290 ] || fail "filtered to $(wc -l <"$OUT") rows, not 290"
# n and pos count over the whole archive: a filter leaves a row's as they were.
expect 0 dump -f jsonl "$DB" --identity && grep '"key":"K3"' "$OUT" >"$T/k3"
expect 0 dump -f jsonl "$DB" -i -k K3 --since 2000-01-01
cmp -s "$OUT" "$T/k3" && grep -q '"n":2,"pos":[0-9]*}$' "$OUT" || fail "identity, filtered: $(head -3 "$OUT")"
expect 0 dump "$DB" --until 2000-01-01 --device v
[ "$(cat "$OUT")" = $'device,rowid,time,key,type,value\r' ] || fail "--until: $(cat "$OUT")"

# Damaged and hostile archives beside a real one, numbered so that start-up
# walks them newest first: NUMBER|STATE|INSTANCE|how the file is made.
M=$T/members H=$T/hostile/stats
mkdir -p "$M" "$H" "$T/big"
GOOD=$T/veh1/data/archive/stats/0.tar
tar -xf "$GOOD" -C "$M"
cp "$GOOD" "$H/0.tar"
sum_of() { echo "$(md5sum <"$1" | cut -c1-32)  /var/volatile/kvo/stats_bak.db"; }
# pack TAR DB MD5_LINE: a tar of the two members with the contents given.
pack() {
  local d
  d=$(mktemp -d "$T/pack.XXXXXX")
  cp "$2" "$d/stats_bak.db"
  echo "$3" >"$d/stats.md5"
  tar -cf "$1" -C "$d" stats_bak.db stats.md5
}
head -c 5000 /dev/urandom >"$T/noise"
q "$T/other.db" "CREATE TABLE data (x)"
q "$T/extra.db" "CREATE TABLE data (ts, key TEXT, value BLOB, note DEFAULT 'x')"
printf 'SQLite format 3\0' >"$T/big/stats_bak.db"
truncate -s 13M "$T/big/stats_bak.db"
CASES=(
  "1|truncated|stats|head -c 3000 $GOOD >\$F"
  "2|not a tar|unknown|echo hello >\$F"
  "3|missing member|unknown|head -c 10240 /dev/zero >\$F"
  "4|missing member|stats|tar -cf \$F -C $M stats_bak.db"
  "5|checksum mismatch|stats|cp $GOOD \$F; printf '\377' | dd of=\$F bs=1 seek=2000 conv=notrunc status=none"
  "6|not a tar|unknown|cp $GOOD \$F; printf 7 | dd of=\$F bs=1 seek=100 conv=notrunc status=none"
  "7|refused member|stats|ln -s /etc/passwd $M/link; tar -cf \$F -C $M stats_bak.db stats.md5 link"
  "8|refused member|stats|ln $M/stats.md5 $M/hard; tar -cf \$F -C $M stats_bak.db stats.md5 hard"
  "9|refused member|stats|tar -cf \$F -C $M stats_bak.db stats.md5 -C /dev null"
  "10|refused member|unknown|tar -cPf \$F -C $M --transform 's,^,../,' stats_bak.db stats.md5"
  "11|refused member|unknown|tar -cPf \$F $M/stats_bak.db"
  "12|member too large|stats|tar -cf \$F -C $T/big stats_bak.db -C $M stats.md5"
  "13|checksum names another file|stats|pack \$F $M/stats_bak.db \"\$(sum_of $M/stats_bak.db | sed s,/var.*,/etc/host$'\\e'[2J$'\\r',)\""
  "14|checksum mismatch|stats|pack \$F $M/stats_bak.db garbage"
  "15|not a database|stats|pack \$F $T/noise \"\$(sum_of $T/noise)\""
  "16|unexpected schema|stats|pack \$F $T/other.db \"\$(sum_of $T/other.db)\""
  "17|good|stats|pack \$F $T/extra.db \"\$(sum_of $T/extra.db)\""
  "18|refused member|stats|tar -cf \$F -C $M --transform 's,^stats.md5\$,.,' stats_bak.db stats.md5"
  "19|refused member|stats|tar -cf \$F -C $M --transform 's,^stats.md5\$,..,' stats_bak.db stats.md5"
)
for c in "${CASES[@]}"; do
  IFS='|' read -r n state instance make <<<"$c"
  F=$H/$n.tar
  eval "$make" 2>/dev/null || fail "cannot make case $n"
  expect "$([ "$state" = good ] && echo 0 || echo 1)" verify "$F"
  grep -q "^$F: $state (instance $instance)" "$OUT" || fail "case $n: $(cat "$OUT")"
done
cp "$GOOD" "$H/18.tar.part"
expect 1 list "$T/hostile"
has_line "start-up loads 17.tar; the next archive is 18.tar"
for row in "18|18.tar.part|good|as 18.tar" "17|17.tar|good|load" \
  "16|16.tar|unexpected schema|keep" "15|15.tar|not a database|keep" \
  "14|14.tar|checksum mismatch|remove" \
  "13|13.tar|checksum names another file|remove" "0|0.tar|good|remove"; do
  IFS='|' read -r n file state act <<<"$row"
  grep -qE "^stats +$n +$file +[0-9]+ +$state .* $act$" "$OUT" || fail "no row '$row': $(cat "$OUT")"
done
# The same list for programs: CSV and JSON with equal fields, exact.
expect 1 list -f csv "$T/hostile"
q "$T/list.db" ".import --csv $OUT listed"
expect 1 list "$T/hostile" --format=json
[ "$(q "$T/list.db" "SELECT count(*) FROM listed l JOIN json_each(readfile('$OUT')) j
  ON j.value ->> 'file' = l.file AND j.value ->> 'number' = l.number AND j.value ->> 'state' = l.state
  AND ifnull(j.value ->> 'detail', '') = l.detail AND j.value ->> 'startup' = l.startup")" = 21 ] ||
  fail "list csv and json differ: $(cat "$OUT")"
# A checksum line's escape and carriage return stay escaped in one warning.
expect 0 dump "$H/13.tar"
[ "$(cat "$ERR")" = "kvo-archive: warning: $H/13.tar: checksum names another file: it names /etc/host\x1b[2J\r, not /var/volatile/kvo/stats_bak.db; reading its database copy anyway" ] ||
  fail "warning: $(cat -A "$ERR")"
# So do a key name's escape sequence, C1 and bidirectional controls, on
# stdin too; JSON has U+FFFD for a byte that is no UTF-8.
q "$T/esc.db" "CREATE TABLE data (ts, key TEXT, value BLOB); INSERT INTO data VALUES
  ('2026-01-01 00:00:00', 'K' || char(27) || '[2J' || char(10) || 'L', 'v' || char(7, 155, 8238)),
  ('2026-01-01 00:00:00', CAST(X'4bff' AS TEXT), 9e999)"
expect 0 last - <"$T/esc.db"
has_line 'K\x1b[2J\nL  v\x07\u009b\u202e  text  2026-01-01T00:00:00Z'
# last and verify for programs: CSV and JSON that parse, a record a row.
for c in "0|last|$T/esc.db|\"K\\ufffd\"" "1|verify|$H/17.tar $H/18.tar|\"unsafe name .\""; do
  IFS='|' read -r status command files holds <<<"$c"
  expect "$status" $command -f json $files
  [ "$(jq length "$OUT")" = 2 ] && grep -qF "$holds" "$OUT" || fail "$command -f json: $(cat "$OUT")"
  expect "$status" $command -f csv $files
  [ "$(q :memory: ".import --csv $OUT t" "SELECT count(*) FROM t")" = 2 ] || fail "$command -f csv: $(cat "$OUT")"
done
# A FIFO named as an archive is refused at once, never waited on.
mkdir -p "$T/fifo/stats"
cp "$GOOD" "$T/fifo/stats/0.tar"
mkfifo "$T/fifo/stats/2.tar"
for args in "verify $T/fifo/stats/2.tar" "dump $T/fifo/stats/2.tar" "last $T/fifo/stats/2.tar" "list $T/fifo"; do
  expect 1 $args
done
grep -qE "^stats +2 +2.tar +0 +not a tar .* delete$" "$OUT" && has_line "start-up loads 0.tar; the next archive is 1.tar" &&
  has_line "  2.tar: not a tar: not a regular file: a FIFO" || fail "FIFO: $(cat "$OUT")"
expect 1 dump "$H/15.tar"
grep -qF "$H/15.tar: not a database: stats_bak.db: file is not a database" "$ERR" || fail "$(cat "$ERR")"
[ -z "$(find "$T/hostile" "$M" -newer "$H/18.tar.part" ! -type d)" ] || fail "the tool wrote files"

# Seeded bit flips anywhere in a real archive: never a crash, and an
# archive that start-up would load really holds a copy matching its digest.
RANDOM=13
SIZE=$(($(stat -c %s "$M/stats_bak.db") + 3 * 512))  # Headers and members.
for i in $(seq 300); do
  F=$T/flip.tar
  cp "$GOOD" "$F"
  printf "\\$(printf %o $((RANDOM % 256)))" |
    dd of="$F" bs=1 seek=$(((RANDOM * 32768 + RANDOM) % SIZE)) conv=notrunc status=none
  status=0
  "$TOOL" verify "$F" >"$OUT" 2>&1 || status=$?
  [ "$status" -le 1 ] || fail "flip $i: exit $status: $(cat "$OUT")"
  grep -q ": good (instance" "$OUT" || continue
  [ "$(tar -xOf "$F" stats_bak.db 2>/dev/null | md5sum | cut -c1-32)" = \
    "$(tar -xOf "$F" stats.md5 2>/dev/null | cut -c1-32)" ] ||
    fail "flip $i: a damaged copy passes: $(cat "$OUT")"
done

# Help and usage errors.
for command in "" list verify dump last; do
  expect 0 $command --help
  grep -q "^Usage: kvo-archive $command" "$OUT" || fail "no usage of '$command'"
done
for args in "" bogus list "dump $DB --format xml" "dump $DB --since yesterday" "last -f jsonl $DB" "list -x ." \
  "last -f csv -f json $DB" "verify - -"; do
  expect 2 $args
done
for c in "missing.db|No such file or directory" "big/stats_bak.db|larger than 12582912 bytes"; do
  IFS='|' read -r file why <<<"$c"
  expect 1 dump "$T/$file"
  grep -qF "kvo-archive: $T/$file: $why" "$ERR" || fail "$(cat "$ERR")"
done
echo "kvo-archive tool: ok"
