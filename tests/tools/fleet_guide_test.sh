#!/usr/bin/env bash
# docs/FLEET.md as written: its ```sh blocks run in order on the archives of
# three vehicles of the real service, fleet/<vehicle>/stats/N.tar (one
# folder named with a space), again after a second pull and once more as
# is: vehicle 1 came back from a power cut that tore its newest archive,
# vehicle 2's rows were numbered anew (size control deleted its oldest,
# start-up's VACUUM) and its newest archive lost the first rows of a second
# the pull's other new archive holds whole, and a row with no time or key.
# SQLite and DuckDB must give the same answers and tables, know the last
# odometer, and hold each sample the service wrote exactly once.
. "$(dirname "$0")/../system/lib.sh"
"$KVO_SOURCE_DIR/scripts/setup-duckdb" ||
  fail "DuckDB (@duckdb/node-api) cannot be installed: scripts/setup-duckdb failed"
mkdir -p "$T/blocks" "$T/work"
export PATH=$KVO_SOURCE_DIR/tests/support:${KVO_BIN_DIR:-$KVO_BUILD_DIR}:$PATH
awk -v d="$T/blocks" '/^```sh$/ { f = sprintf("%s/%02d", d, ++n); next } /^```/ { f = "" }
  f { print > f }' "$KVO_SOURCE_DIR/docs/FLEET.md"

drive() {  # drive V ODOMETER|+...: the service on vehicle V, a backup after each value, + a new second
  SIM=$T/veh$1/sim VOLATILE=$T/veh$1/volatile DATA=$T/veh$1/data n=0
  [ -d "$SIM" ] || { mkdir -p "$SIM" "$VOLATILE" "$DATA" && make_vehicle && install_config \
    <<<'{"list": [{"name": "CELL_TOTAL_RX", "save_to_db": true, "period": 1}]}'; }
  : >"$SYSLOG"
  start_service --systemctl ok
  wait_log "Copied 22 entries"
  for odometer in "${@:2}"; do
    [ "$odometer" = + ] && { t=$(date +%s) && while [ "$(date +%s)" = "$t" ]; do sleep 0.1; done; continue; }
    sim set VEH_ODOMETER "$odometer" >/dev/null && signal_service USR2
    wait_count "Finished backing up archive (archive)" $((n += 1))
  done
  stop_service INT && ((EV[$1] += n + 1))  # start-up and each backup write all 22 totals
}
pull() {  # the guide's blocks on a copy of the archives, then the answers checked
  rm -rf "$T/work/fleet"
  for v in 1 2 3; do mkdir -p "$T/work/fleet/veh${v/3/ 3}" && cp -r "$T/veh$v/data/archive/stats" "$_"; done
  for b in "$T"/blocks/??; do
    (cd "$T/work" && bash -euo pipefail "$b") >"$b.out" || fail "block: $(cat "$b")"
  done
  sq=$(grep -l '^sqlite3 -csv' "$T"/blocks/??).out dd=$(grep -l '^duckdb -csv' "$T"/blocks/??).out
  # The shells' CSV differ in quoting ("veh 3") and line ends, not in values.
  diff=$(diff <(tr -d '\r"' <"$sq") <(tr -d '"' <"$dd")) || fail "SQLite and DuckDB differ: $diff"
  # What the service wrote, known from driving it, not from the archives: a
  # sample lost or doubled by the identity changes some key's count.
  for v in 1 2 3; do d=veh${v/3/ 3}
    grep -qx "$d,VEH_ODOMETER,.*,real,${LAST[$v]}" "$dd" || fail "$d: not ${LAST[$v]}: $(cat "$dd")"
    c=$(sqlite3 "$T/work/fleet.db" "SELECT count(*), min(c), max(c) FROM (SELECT count(*) AS c
      FROM samples WHERE device = '$d' AND key > '' GROUP BY key)")
    [ "$c" = "22|${EV[$v]}|${EV[$v]}" ] || fail "$d: keys|fewest|most samples a key: $c, not ${EV[$v]}"
  done
  [ "$(sqlite3 -csv "$T/work/fleet.db" "SELECT * FROM samples ORDER BY 1, 2, 3, 4, 5, 6, 7" | tr -d '\r"')" = \
    "$(cd "$T/work" && duckdb :memory: -c "SELECT device, time, key, type, value, n, pos FROM
      read_parquet('fleet.parquet/*/*.parquet', hive_partitioning = true) ORDER BY ALL" | tail -n +2)" ] ||
    fail "the Parquet table differs from the SQLite one"
}
LAST=(0 101.5 202.25 303.0) EV=(0 0 0 0)
for v in 1 2 3; do drive $v 100.0 "${LAST[$v]}"; done
pull
newest() { ls -d "$T/veh$1/data/archive/stats/"*.tar | sort -V | tail -1; }
truncate -s 3000 "$(newest 1)" && rm -f "$T/veh1/volatile"/*
cut() {  # cut SQL: veh2's newest archive changed by SQL, as size control would
  rm -rf "$T/r" && mkdir "$T/r" && tar -xf "$(newest 2)" -C "$T/r" && sqlite3 "$T/r/stats_bak.db" "$1"
  md5sum "$T/r/stats_bak.db" | sed 's, .*,  /var/volatile/kvo/stats_bak.db,' >"$T/r/stats.md5"
  tar -cf "$(newest 2)" -C "$T/r" stats_bak.db stats.md5
}
cut "DELETE FROM data WHERE rowid <= 30"
LAST=(0 111.0 222.5 303.0)
drive 1 111.0 111.0 && drive 2 222.5 + 222.5
tar -xOf "$(newest 2)" stats_bak.db >"$T/a.db" && [ "$(sqlite3 "$T/a.db" "SELECT min(rowid) FROM data")" = 1 ] ||
  fail "veh2's rows kept their numbers: the renumbering is not tested"
# The cut falls in the newest second that the archive before holds whole (+).
cut "DELETE FROM data WHERE rowid < (SELECT min(rowid) + 11 FROM data WHERE ts = (SELECT max(ts) FROM data
  WHERE ts < (SELECT max(ts) FROM data))); INSERT INTO data (ts, key, value) VALUES (NULL, NULL, NULL)"
pull
pull
echo "fleet guide: ok"
