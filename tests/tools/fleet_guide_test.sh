#!/usr/bin/env bash
# docs/FLEET.md as written: its ```sh blocks run in order (```text blocks
# never), from a folder with fleet/<vehicle>/stats/N.tar pulled off three
# vehicles of the real service, and again after a second pull: vehicle 1
# came back from a power cut that damaged its newest archive, vehicle 2's
# oldest rows were deleted as size control deletes them, so start-up's
# VACUUM numbered its rows anew. SQLite and DuckDB (on the Parquet files)
# must give the same answers, true to the vehicles, with every sample the
# pulled archives hold loaded exactly once.
. "$(dirname "$0")/../system/lib.sh"
"$KVO_SOURCE_DIR/scripts/setup-duckdb" ||
  fail "DuckDB (@duckdb/node-api) cannot be installed: scripts/setup-duckdb failed"
mkdir -p "$T/bin" "$T/blocks" "$T/work"
ln -s "$KVO_SOURCE_DIR/tests/support/duckdb" "$T/bin/duckdb"
export PATH=$T/bin:${KVO_BIN_DIR:-$KVO_BUILD_DIR}:$PATH
awk -v d="$T/blocks" '/^```/ { if (b) { b = 0; next } b = 1; sh = $0 == "```sh"; n += sh; next }
  b && sh { print > sprintf("%s/%02d", d, n) }' "$KVO_SOURCE_DIR/docs/FLEET.md"

# drive V ODOMETER...: vehicle V's service started, backed up after each
# odometer value is set, and stopped.
drive() {
  SIM=$T/veh$1/sim VOLATILE=$T/veh$1/volatile DATA=$T/veh$1/data
  [ -d "$SIM" ] || { mkdir -p "$SIM" "$VOLATILE" "$DATA" && make_vehicle 2; }
  install_config <<<'{"list": [{"name": "CELL_TOTAL_RX", "save_to_db": true, "period": 1}]}'
  : >"$SYSLOG"
  start_service --systemctl ok
  wait_log "Copied 22 entries"
  local odometer n=0
  for odometer in "${@:2}"; do
    sim set VEH_ODOMETER "$odometer" >/dev/null
    signal_service USR2
    wait_count "Finished backing up archive (archive)" $((n += 1))
  done
  stop_service INT
}
# pull: the guide's blocks on copies of the archives, then its answers checked.
pull() {
  rm -rf "$T/work/fleet"
  for v in 1 2 3; do
    mkdir -p "$T/work/fleet/veh$v" && cp -r "$T/veh$v/data/archive/stats" "$T/work/fleet/veh$v"
  done
  for b in "$T"/blocks/??; do
    (cd "$T/work" && bash -euo pipefail "$b") >"$b.out" || fail "block: $(cat "$b")"
  done
  sq=$(grep -l '^sqlite3 -csv' "$T"/blocks/??).out dd=$(grep -l '^duckdb -csv' "$T"/blocks/??).out
  [ "$(tr -d '\r' <"$sq")" = "$(cat "$dd")" ] || fail "SQLite and DuckDB differ: $(diff "$sq" "$dd")"
  for v in 1 2 3; do
    grep -qx "veh$v,VEH_ODOMETER,.*,real,${LAST[$v]}" "$dd" || fail "veh$v: not ${LAST[$v]}: $(cat "$dd")"
  done
  # Every sample of every intact archive pulled so far, counted on its own:
  # the most copies of a (time, key, value) one archive of the vehicle holds.
  sqlite3 "$H" "CREATE TABLE IF NOT EXISTS held (device, time, key, type, value, c)"
  for a in "$T"/work/fleet/*/stats/*.tar; do
    tar -xOf "$a" stats_bak.db >"$T/a.db" 2>/dev/null && [ "$(md5sum <"$T/a.db" | cut -c1-32)" = \
      "$(tar -xOf "$a" stats.md5 | cut -c1-32)" ] || continue
    sqlite3 "$H" "ATTACH '$T/a.db' AS a" "INSERT INTO held SELECT '$(basename "${a%/stats/*}")',
      replace(ts, ' ', 'T') || 'Z', key, typeof(value), value, count(*) FROM a.data GROUP BY 2, 3, 4, 5"
  done
  diff=$(sqlite3 "$H" "ATTACH '$T/work/fleet.db' AS f" "WITH h AS (SELECT device, time, key, type,
    value, max(c) FROM held GROUP BY 1, 2, 3, 4, 5), l AS (SELECT device, time, key, type,
    CASE type WHEN 'integer' THEN CAST(value AS INTEGER) WHEN 'real' THEN CAST(value AS REAL)
    WHEN 'null' THEN NULL ELSE value END, count(*) FROM f.samples GROUP BY 1, 2, 3, 4, 5)
    SELECT (SELECT count(*) FROM (SELECT * FROM h EXCEPT SELECT * FROM l)),
    (SELECT count(*) FROM (SELECT * FROM l EXCEPT SELECT * FROM h)), (SELECT sum(c) FROM held)")
  [[ "$diff" =~ ^0\|0\|[0-9]{3,}$ ]] || fail "samples lost|duplicated|held: $diff"
  [ "$(sqlite3 -csv "$T/work/fleet.db" "SELECT * FROM samples ORDER BY 1, 2, 3, 4, 5, 6, 7" | tr -d '\r')" = \
    "$(cd "$T/work" && duckdb :memory: -c "SELECT device, time, key, type, value, n, pos FROM
      read_parquet('fleet.parquet/*/*.parquet', hive_partitioning = true) ORDER BY ALL" | tail -n +2)" ] ||
    fail "the Parquet table differs from the SQLite one"
}
H=$T/held.db LAST=(0 101.5 202.25 303.0)
for v in 1 2 3; do drive $v 100.0 "${LAST[$v]}"; done
pull
newest() { echo "$T/veh$1/data/archive/stats/$(ls "$T/veh$1/data/archive/stats" | sort -n | tail -1)"; }
# The power cut: vehicle 1's newest archive torn, its working files gone.
head -c 3000 "$(newest 1)" >"$T/torn" && mv "$T/torn" "$(newest 1)"
rm -f "$T/veh1/volatile"/*
# Vehicle 2's newest archive as one made after size control deleted rows.
mkdir "$T/r" && tar -xf "$(newest 2)" -C "$T/r"
sqlite3 "$T/r/stats_bak.db" "DELETE FROM data WHERE rowid <= 30"
echo "$(md5sum <"$T/r/stats_bak.db" | cut -c1-32)  /var/volatile/kvo/stats_bak.db" >"$T/r/stats.md5"
tar -cf "$(newest 2)" -C "$T/r" stats_bak.db stats.md5
LAST=(0 111.0 222.5 303.0)
for v in 1 2; do drive $v "${LAST[$v]}" "${LAST[$v]}"; done
[ "$(tar -xOf "$(newest 2)" stats_bak.db >"$T/a.db" && sqlite3 "$T/a.db" "SELECT min(rowid) FROM data")" = 1 ] ||
  fail "veh2's rows kept their numbers: the renumbering is not tested"
pull
echo "fleet guide: ok"
