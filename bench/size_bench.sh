#!/usr/bin/env bash
# Times `cleanup-agent --max-size` of half a seeded SQLite store of
# SIZE_BENCH_ROWS logs (default 1000000) against the plain `old-logs` run on
# an identical copy, SIZE_BENCH_ROUNDS times (default 3), and prints the
# longest write transaction of the size-limited run (from its summary line)
# and the store's size after it. The seed first has its free pages returned
# (one `storage` run), so that half of it is half of what its data takes.
# Both runs use installation kind 2 (no status events, no backup), so that
# the figures are the deletes' and the space's own.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
set -euo pipefail
build="${BUILD_DIR:?set BUILD_DIR to a Release build directory}"
agent="$build/bin/cleanup-agent"
rows="${SIZE_BENCH_ROWS:-1000000}"
rounds="${SIZE_BENCH_ROUNDS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
bytes() { stat -c %s "$1"; }

start=$(now)
"$agent" --db "$work/seed.db" --create --seed-demo "$rows" >/dev/null
"$agent" --db "$work/seed.db" --installation-kind 2 storage >/dev/null
seed_bytes=$(bytes "$work/seed.db")
limit=$((seed_bytes / 2))
echo "size_bench: seeded $rows logs in $(elapsed "$start" "$(now)") s; store $seed_bytes bytes," \
     "--max-size $limit"

limited=()
plain=()
longest=()
for round in $(seq 1 "$rounds"); do
  cp "$work/seed.db" "$work/limited.db"
  cp "$work/seed.db" "$work/plain.db"
  start=$(now)
  "$agent" --db "$work/limited.db" --installation-kind 2 --max-size "$limit" storage \
    >"$work/limited.out"
  limited_time=$(elapsed "$start" "$(now)")
  start=$(now)
  "$agent" --db "$work/plain.db" --installation-kind 2 old-logs >"$work/plain.out"
  plain_time=$(elapsed "$start" "$(now)")
  removed=$(grep -o 'size limits [^;]*: removed [0-9]* logs' "$work/limited.out" | head -1 | grep -o "[0-9]* logs$")
  plain_rows=$(grep -o 'summary: old-logs: removed [0-9]* rows' "$work/plain.out" | grep -o '[0-9]* rows')
  tx=$(grep -o 'summary: total: .*longest write transaction [0-9.]* s' "$work/limited.out" |
       grep -o 'longest write transaction [0-9.]*' | grep -o '[0-9.]*$')
  after=$(( $(bytes "$work/limited.db") + $( [ -f "$work/limited.db-wal" ] && bytes "$work/limited.db-wal" || echo 0) ))
  if grep -q 'size limits not met' "$work/limited.out"; then
    echo "size_bench: round $round: the limit was not met" >&2
    exit 1
  fi
  echo "round $round: --max-size removed $removed in $limited_time s (longest write transaction" \
       "$tx s), store $after bytes after (limit $limit); old-logs removed $plain_rows in" \
       "$plain_time s; ratio $(awk -v a="$limited_time" -v b="$plain_time" 'BEGIN { printf "%.2f", a / b }')"
  limited+=("$limited_time")
  plain+=("$plain_time")
  longest+=("$tx")
done
limited_median=$(median "${limited[@]}")
plain_median=$(median "${plain[@]}")
worst_tx=$(printf '%s\n' "${longest[@]}" | sort -g | tail -1)
echo "size_bench: median of $rounds: --max-size $limited_median s, old-logs $plain_median s," \
     "ratio $(awk -v a="$limited_median" -v b="$plain_median" 'BEGIN { printf "%.2f", a / b }');" \
     "longest write transaction $worst_tx s (goal <= 0.250)"
