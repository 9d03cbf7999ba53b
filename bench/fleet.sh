#!/usr/bin/env bash
# The fleet guide at scale: VEHICLES vehicles (default 20) with ARCHIVES
# full archives each (default 5; 215,000 rows, 10 MiB, made as
# bench/archive_dump.sh makes one, each the one before with 10,000 newer
# rows and its oldest 10,000 deleted), run through docs/FLEET.md's own
# blocks: dump, SQLite load, DuckDB/Parquet load, the questions. Prints the
# rows/s of each stage and the bytes a row takes in tar, CSV and Parquet.
#   bench/fleet.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: fleet.sh BUILD_DIR}" && pwd)
vehicles=${VEHICLES:-20} archives=${ARCHIVES:-5}
"$root/scripts/setup-duckdb"
work=$(mktemp -d "$build/fleet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/blocks" "$work/db"
command -v duckdb >/dev/null || ln -s "$root/tests/support/duckdb" "$work/bin/duckdb"
export PATH=$work/bin:$build:$PATH
awk -v d="$work/blocks" '/^```/ { if (b) { b = 0; next } b = 1; sh = $0 == "```sh"; n += sh; next }
  b && sh { print > sprintf("%s/%02d", d, n) }' "$root/docs/FLEET.md"
cd "$work/db"
sqlite3 stats_bak.db "CREATE TABLE data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB);
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 215000)
  INSERT INTO data (ts, key, value) SELECT datetime(1796600000 + i / 22, 'unixepoch'),
    'VEH_KEY_' || (i % 22), CAST(printf('%f', 48213.7 + i * 0.37) AS REAL) FROM n;"
for k in $(seq 0 $((archives - 1))); do
  [ "$k" = 0 ] || sqlite3 stats_bak.db "INSERT INTO data (ts, key, value) SELECT datetime(strftime('%s', ts)
    + 50000, 'unixepoch'), key, value FROM data WHERE rowid > (SELECT max(rowid) - 10000 FROM data);
    DELETE FROM data WHERE rowid IN (SELECT rowid FROM data ORDER BY rowid LIMIT 10000); VACUUM"
  md5sum stats_bak.db | sed 's, .*,  /var/volatile/kvo/stats_bak.db,' >stats.md5
  tar -cf "$k.tar" stats_bak.db stats.md5
done
cd "$work"
for v in $(seq "$vehicles"); do mkdir -p "fleet/veh$v/stats" && cp db/*.tar "fleet/veh$v/stats/"; done
stage() {  # stage NAME BLOCK: runs one of the guide's blocks, timed
  local t
  t=$( { TIMEFORMAT=%R; time bash -euo pipefail "blocks/$2" >/dev/null; } 2>&1 )
  printf '%-22s %8.1f s\n' "$1" "$t"
}
rows=$(( $(cat db/*.tar | wc -c) > 0 ? vehicles * archives * 215000 : 0 ))
echo "$vehicles vehicles x $archives archives: $rows rows dumped, $(du -cb fleet/*/stats/*.tar | tail -1 | cut -f1) bytes of tar"
stage dump 02
stage "SQLite load" 04
stage "DuckDB/Parquet load" 05
stage "SQLite questions" 06
stage "DuckDB questions" 07
samples=$(sqlite3 fleet.db "SELECT count(*) FROM samples")
echo "samples loaded: $samples; bytes per row: tar $(( $(du -cb fleet/*/stats/*.tar | tail -1 | cut -f1) / rows )), CSV $(( $(du -cb export/*.csv | tail -1 | cut -f1) / rows )), Parquet $(( $(du -cb fleet.parquet | tail -1 | cut -f1) / samples )) (per sample kept)"
