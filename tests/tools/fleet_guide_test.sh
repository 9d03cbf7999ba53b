#!/usr/bin/env bash
# docs/FLEET.md as written: its ```sh blocks run in order on the archives of
# three vehicles of the real service, fleet/<vehicle>/stats/N.tar, and again
# after a second pull: vehicle 1 came back from a power cut that tore its
# newest archive, vehicle 2's rows were numbered anew (size control deleted
# its oldest, start-up's VACUUM). SQLite and DuckDB must give the same
# answers, know the last odometer, and hold every sample of the intact
# archives exactly once, in SQLite and in the Parquet table alike.
. "$(dirname "$0")/../system/lib.sh"
"$KVO_SOURCE_DIR/scripts/setup-duckdb" ||
  fail "DuckDB (@duckdb/node-api) cannot be installed: scripts/setup-duckdb failed"
mkdir -p "$T/blocks" "$T/work"
export PATH=$KVO_SOURCE_DIR/tests/support:${KVO_BIN_DIR:-$KVO_BUILD_DIR}:$PATH
awk -v d="$T/blocks" '/^```sh$/ { f = sprintf("%s/%02d", d, ++n); next } /^```/ { f = "" }
  f { print > f }' "$KVO_SOURCE_DIR/docs/FLEET.md"

drive() {  # drive V ODOMETER...: the service on vehicle V, a backup after each value
  SIM=$T/veh$1/sim VOLATILE=$T/veh$1/volatile DATA=$T/veh$1/data n=0
  [ -d "$SIM" ] || { mkdir -p "$SIM" "$VOLATILE" "$DATA" && make_vehicle && install_config \
    <<<'{"list": [{"name": "CELL_TOTAL_RX", "save_to_db": true, "period": 1}]}'; }
  : >"$SYSLOG"
  start_service --systemctl ok
  wait_log "Copied 22 entries"
  for odometer in "${@:2}"; do
    sim set VEH_ODOMETER "$odometer" >/dev/null && signal_service USR2
    wait_count "Finished backing up archive (archive)" $((n += 1))
  done
  stop_service INT
}
pull() {  # the guide's blocks on a copy of the archives, then the answers checked
  rm -rf "$T/work/fleet"
  for v in 1 2 3; do mkdir -p "$T/work/fleet/veh$v" && cp -r "$T/veh$v/data/archive/stats" "$_"; done
  for b in "$T"/blocks/??; do
    (cd "$T/work" && bash -euo pipefail "$b") >"$b.out" || fail "block: $(cat "$b")"
  done
  sq=$(grep -l '^sqlite3 -csv' "$T"/blocks/??).out dd=$(grep -l '^duckdb -csv' "$T"/blocks/??).out
  [ "$(tr -d '\r' <"$sq")" = "$(cat "$dd")" ] || fail "SQLite and DuckDB differ: $(diff "$sq" "$dd")"
  for v in 1 2 3; do
    grep -qx "veh$v,VEH_ODOMETER,.*,real,${LAST[$v]}" "$dd" || fail "veh$v: not ${LAST[$v]}: $(cat "$dd")"
  done
  # Each sample of each intact archive so far, as often as one archive holds it.
  for a in "$T"/work/fleet/*/stats/*.tar; do
    tar -xOf "$a" stats_bak.db >"$T/a.db" 2>/dev/null || continue  # torn
    sqlite3 "$H" "ATTACH '$T/a.db' AS a" "INSERT INTO held SELECT '$(basename "${a%/stats/*}")',
      replace(ts, ' ', 'T') || 'Z', key, typeof(value), value, count(*) FROM a.data GROUP BY 2, 3, 4, 5"
  done
  diff=$(sqlite3 "$H" "ATTACH '$T/work/fleet.db' AS f" "WITH h AS (SELECT device, time, key, type,
    value, max(c) FROM held GROUP BY 1, 2, 3, 4, 5), l AS (SELECT device, time, key, type, CASE type
    WHEN 'text' THEN value WHEN 'null' THEN NULL ELSE value + 0 END, count(*) FROM f.samples
    GROUP BY 1, 2, 3, 4, 5) SELECT (SELECT count(*) FROM (SELECT * FROM h EXCEPT SELECT * FROM l)),
    (SELECT count(*) FROM (SELECT * FROM l EXCEPT SELECT * FROM h)), (SELECT sum(c) FROM held)")
  [[ "$diff" =~ ^0\|0\|[0-9]{3,}$ ]] || fail "samples lost|duplicated|held: $diff"
  [ "$(sqlite3 -csv "$T/work/fleet.db" "SELECT * FROM samples ORDER BY 1, 2, 3, 4, 5, 6, 7" | tr -d '\r')" = \
    "$(cd "$T/work" && duckdb :memory: -c "SELECT device, time, key, type, value, n, pos FROM
      read_parquet('fleet.parquet/*/*.parquet', hive_partitioning = true) ORDER BY ALL" | tail -n +2)" ] ||
    fail "the Parquet table differs from the SQLite one"
}
H=$T/held.db LAST=(0 101.5 202.25 303.0)
sqlite3 "$H" "CREATE TABLE held (device, time, key, type, value, c)"
for v in 1 2 3; do drive $v 100.0 "${LAST[$v]}"; done
pull
newest() { ls -d "$T/veh$1/data/archive/stats/"*.tar | sort -V | tail -1; }
truncate -s 3000 "$(newest 1)" && rm -f "$T/veh1/volatile"/*
mkdir "$T/r" && tar -xf "$(newest 2)" -C "$T/r" && sqlite3 "$T/r/stats_bak.db" "DELETE FROM data WHERE rowid <= 30"
md5sum "$T/r/stats_bak.db" | sed 's, .*,  /var/volatile/kvo/stats_bak.db,' >"$T/r/stats.md5"
tar -cf "$(newest 2)" -C "$T/r" stats_bak.db stats.md5
LAST=(0 111.0 222.5 303.0)
for v in 1 2; do drive $v "${LAST[$v]}" "${LAST[$v]}"; done
tar -xOf "$(newest 2)" stats_bak.db >"$T/a.db" && [ "$(sqlite3 "$T/a.db" "SELECT min(rowid) FROM data")" = 1 ] ||
  fail "veh2's rows kept their numbers: the renumbering is not tested"
pull
echo "fleet guide: ok"
