#!/usr/bin/env bash
# The fleet guide at scale: VEHICLES vehicles (default 20) with ARCHIVES
# full archives each (default 5; 215,000 rows, 10 MiB, made as
# bench/archive_dump.sh makes one, with VEH_ODOMETER among the 22 keys;
# each archive the one before with 10,000 newer rows and its oldest 10,000
# deleted), run through docs/FLEET.md's own blocks: dump, SQLite load,
# DuckDB/Parquet load, the questions. Prints the rows/s of each stage, the
# time of the "latest value" query alone, and the bytes a row takes in tar,
# CSV and Parquet.
#   bench/fleet.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: fleet.sh BUILD_DIR}" && pwd)
vehicles=${VEHICLES:-20} archives=${ARCHIVES:-5}
"$root/scripts/setup-duckdb"
work=$(mktemp -d "$build/fleet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/blocks" "$work/db"
export PATH=$build:$PATH:$root/tests/support  # a duckdb shell of its own, if none is installed
awk -v d="$work/blocks" '/^```sh$/ { f = sprintf("%s/%02d", d, ++n); next } /^```/ { f = "" }
  f { print > f }' "$root/docs/FLEET.md"
cd "$work/db"
sqlite3 stats_bak.db "CREATE TABLE data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB);
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 215000)
  INSERT INTO data (ts, key, value) SELECT datetime(1796600000 + i / 22, 'unixepoch'),
    iif(i % 22, 'VEH_KEY_' || (i % 22), 'VEH_ODOMETER'),
    CAST(printf('%f', 48213.7 + i * 0.37) AS REAL) FROM n;"
for k in $(seq 0 $((archives - 1))); do
  [ "$k" = 0 ] || sqlite3 stats_bak.db "INSERT INTO data (ts, key, value) SELECT datetime(strftime('%s', ts)
    + 50000, 'unixepoch'), key, value FROM data WHERE rowid > (SELECT max(rowid) - 10000 FROM data);
    DELETE FROM data WHERE rowid IN (SELECT rowid FROM data ORDER BY rowid LIMIT 10000); VACUUM"
  md5sum stats_bak.db | sed 's, .*,  /var/volatile/kvo/stats_bak.db,' >stats.md5
  tar -cf "$k.tar" stats_bak.db stats.md5
done
cd "$work"
for v in $(seq "$vehicles"); do mkdir -p "fleet/veh$v/stats" && cp db/*.tar "fleet/veh$v/stats/"; done
bytes() { du -cb "$@" | tail -1 | cut -f1; }
rows=$((vehicles * archives * 215000)) tar=$(bytes fleet/*/stats/*.tar)
echo "$vehicles vehicles x $archives archives: $rows rows, $tar bytes of tar"
timed() {  # timed NAME ROWS COMMAND...: its wall time and rows/s; its errors shown
  local t
  t=$( { TIMEFORMAT=%R; time "${@:3}" >/dev/null 2>err; } 2>&1) || { cat err >&2; exit 1; }
  awk -v n="$1" -v r="$2" -v t="$t" 'BEGIN { printf "%-22s %7.2f s %10.0f rows/s\n", n, t, r / t }'
}
block() { grep -l "$1" blocks/??; }  # the guide's block that holds the text
timed dump "$rows" bash -euo pipefail "$(block 'kvo-archive dump')"
timed "SQLite load" "$rows" bash -euo pipefail "$(block 'TEMP TABLE raw')"
timed "DuckDB/Parquet load" "$rows" bash -euo pipefail "$(block '^duckdb -bail')"
samples=$(sqlite3 fleet.db "SELECT count(*) FROM samples")
timed "SQLite questions" "$samples" bash -euo pipefail "$(block '^sqlite3 -csv')"
timed "DuckDB questions" "$samples" bash -euo pipefail "$(block '^duckdb -csv')"
awk "/<<'SQL'/ { s = 1; next } s { print } s && /;\$/ { exit }" "$(block '^sqlite3 -csv')" >latest.sql
timed "SQLite latest value" "$samples" sqlite3 fleet.db ".read latest.sql"
awk -v s="$samples" -v r="$rows" -v t="$tar" -v c="$(bytes export/*.csv)" -v p="$(bytes fleet.parquet)" \
  -v d="$(bytes fleet.db)" 'BEGIN { printf "%d samples kept; bytes per row dumped: tar %.1f, CSV %.1f;" \
  " per sample kept: Parquet %.1f, SQLite %.1f\n", s, t / r, c / r, p / s, d / s }'
