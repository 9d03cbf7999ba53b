#!/usr/bin/env bash
# kvo-archive dump speed: a 10 MiB archive written the way the service
# writes one, dumped as CSV, as JSON Lines and as CSV with --identity, side
# by side with the sqlite3 shell printing the same rows as CSV from the
# unpacked database (the floor: no tar, no checksum, no type column). Best
# of 5 runs each.
#   bench/archive_dump.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: archive_dump.sh BUILD_DIR}" && pwd)
work=$(mktemp -d "$build/archive-dump.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/stats"
cd "$work"

# 22 keys sampled in turn, values stored as the service stores them.
sqlite3 stats_bak.db "CREATE TABLE data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key TEXT, value BLOB);
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 215000)
  INSERT INTO data (key, value) SELECT 'VEH_KEY_' || (i % 22),
    CAST(printf('%f', 48213.7 + i * 0.37) AS REAL) FROM n;"
md5sum stats_bak.db | sed 's, .*,  /var/volatile/kvo/stats_bak.db,' >stats.md5
tar -cf stats/0.tar stats_bak.db stats.md5
rows=$(sqlite3 stats_bak.db "SELECT count(*) FROM data")
bytes=$(stat -c %s stats/0.tar)

best() {  # best COMMAND...: the shortest wall time of 5 runs, in seconds
  local run t best=999
  for run in 1 2 3 4 5; do
    t=$( { TIMEFORMAT=%R; time "$@" >/dev/null; } 2>&1 )
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (a < b) ? a : b }')
  done
  echo "$best"
}
floor=$(best sqlite3 -csv stats_bak.db "SELECT rowid, ts, key, value FROM data")
echo "archive: $bytes bytes, $rows rows"
for options in "--format csv" "--format jsonl" "--format csv --identity"; do
  t=$(best "$build/kvo-archive" dump stats/0.tar $options)
  awk -v o="$options" -v t="$t" -v r="$rows" -v floor="$floor" 'BEGIN {
    printf "dump %-25s %.3f s  %8.0f rows/s  %.2fx the sqlite3 shell floor (%.3f s)\n",
      o, t, r / t, t / floor, floor }'
done
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "dump peak memory: %M kB, for a database of $(( $(stat -c %s stats_bak.db) / 1024 )) kB" \
    "$build/kvo-archive" dump stats/0.tar 2>&1 >/dev/null
fi
