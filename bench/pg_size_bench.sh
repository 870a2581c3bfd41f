#!/usr/bin/env bash
# Times `cleanup-agent --max-size` of half a seeded PostgreSQL store of
# PG_SIZE_BENCH_ROWS logs (default 5000000) against the plain `old-logs` run
# on an identical copy, on a server with its stock settings (data on disk),
# PG_SIZE_BENCH_ROUNDS times (default 1), while one writer inserts one log at
# a time into the copy's logs (200 a second). Prints for each run its time,
# its longest write transaction (from its summary line), the writer's
# slowest insert that ended while it ran, and for the size-limited run the
# logs removed and what --max-size bounds (the partitions of logs and
# log_blobs) after it. A third copy runs `old-logs storage`, as `all` does:
# its storage operation removes the dropped logs' blobs by the same walk as
# the size-limited run (each blob's log looked up in every partition left),
# which is most of both runs' time and their longest transactions.
#
# The seed first has its orphan blobs removed (one `storage` run), and each
# copy is vacuumed, analysed and checkpointed before its run. Both runs use
# installation kind 2 (no status events, no backup), so that the figures are
# the removals' own.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
# PG_SIZE_BENCH_WRITER_SECONDS: how long the writer runs (default 120; it
# must outlast the run, and the round waits for it).
# PG_SCRATCH_BASE: where the server's files go (default /tmp, on disk here).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:?set BUILD_DIR to a Release build directory}"
agent="$build/bin/cleanup-agent"
rows="${PG_SIZE_BENCH_ROWS:-5000000}"
rounds="${PG_SIZE_BENCH_ROUNDS:-1}"
writer_seconds="${PG_SIZE_BENCH_WRITER_SECONDS:-120}"
bindir="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"

server="$(PG_SCRATCH_STOCK=1 "$root/scripts/pg-scratch" start)"
dir="${server#*host=}"
dir="${dir%%&*}"
work="$(mktemp -d)"
trap '"$root/scripts/pg-scratch" stop "$dir"; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
sql() { psql -X -q -t -A -v ON_ERROR_STOP=1 "$1" -c "$2"; }
uri_of() { echo "postgresql:///$1?host=$dir&user=postgres"; }
limited_bytes() {
  sql "$1" "SELECT ((SELECT sum(pg_total_relation_size(relid)) FROM pg_partition_tree('logs'))
    + pg_total_relation_size('log_blobs'))::bigint"
}

cat >"$work/insert.sql" <<EOF
\set class random(1, 5)
INSERT INTO logs(log_type, retention_class, created_at) VALUES (1, :class, extract(epoch from now())::bigint);
EOF

sql "$server" "CREATE DATABASE seed"
seed="$(uri_of seed)"
start=$(now)
"$agent" --db "$seed" --create --seed-demo "$rows" >/dev/null 2>&1
"$agent" --db "$seed" --installation-kind 2 storage >/dev/null 2>&1
sql "$seed" "VACUUM ANALYZE"
seed_bytes=$(limited_bytes "$seed")
limit=$((seed_bytes / 2))
echo "pg_size_bench: seeded $rows logs in $(elapsed "$start" "$(now)") s; logs and log_blobs" \
     "$seed_bytes bytes, --max-size $limit"

# One run of `operation` (its arguments after it) on a fresh copy `name`.
# Prints "seconds longest_transaction slowest_insert" and leaves the run's
# output in $work/$name.out.
run() {
  local name="$1" uri start end writer
  shift
  sql "$server" "CREATE DATABASE $name TEMPLATE seed STRATEGY FILE_COPY"
  uri="$(uri_of "$name")"
  sql "$uri" "VACUUM ANALYZE"
  sql "$server" "CHECKPOINT"
  (cd "$work" && "$bindir/pgbench" -n -c 1 -j 1 -T "$writer_seconds" --rate=200 -f insert.sql -l \
    --log-prefix="w_$name" "$uri" >"$work/pgbench_$name.out" 2>&1) &
  writer=$!
  sleep 2
  start=$(now)
  "$agent" --db "$uri" --installation-kind 2 "$@" >"$work/$name.out" 2>&1
  end=$(now)
  wait "$writer"
  local tx slowest
  tx=$(grep -o 'summary: total: .*longest write transaction [0-9.]* s' "$work/$name.out" |
       grep -o 'longest write transaction [0-9.]*' | grep -o '[0-9.]*$')
  slowest=$(cat "$work"/w_"$name".* | awk -v a="$start" -v b="$end" \
    '{ t = $5 + $6 / 1000000 } t >= a && t <= b && $3 > max { max = $3 } END { printf "%.3f", max / 1000000 }')
  echo "$(elapsed "$start" "$end") $tx $slowest"
}

for round in $(seq 1 "$rounds"); do
  read -r limited_time limited_tx limited_insert < <(run "limited_$round" --max-size "$limit" storage)
  removed=$(grep -o 'summary: storage: .*size limits [^;]*: removed [0-9]* logs' "$work/limited_$round.out" |
            grep -o '[0-9]* logs$')
  after=$(limited_bytes "$(uri_of "limited_$round")")
  if grep -q 'size limits not met' "$work/limited_$round.out"; then
    echo "pg_size_bench: round $round: the limit was not met:" \
         "$(grep -o 'size limits not met.*' "$work/limited_$round.out" | head -1)" >&2
    exit 1
  fi
  sql "$server" "DROP DATABASE limited_$round"
  read -r plain_time plain_tx plain_insert < <(run "plain_$round" old-logs)
  plain_rows=$(grep -o 'summary: old-logs: removed [0-9]* rows' "$work/plain_$round.out" | grep -o '[0-9]* rows')
  sql "$server" "DROP DATABASE plain_$round"
  read -r both_time both_tx both_insert < <(run "both_$round" old-logs storage)
  sql "$server" "DROP DATABASE both_$round"
  echo "round $round: --max-size removed $removed in $limited_time s (longest write transaction" \
       "$limited_tx s, slowest insert $limited_insert s), logs and log_blobs $after bytes after" \
       "(limit $limit, $(awk -v a="$after" -v b="$seed_bytes" 'BEGIN { printf "%.1f", 100 * a / b }')%" \
       "of before); old-logs removed $plain_rows in $plain_time s (longest write transaction" \
       "$plain_tx s, slowest insert $plain_insert s); ratio $(awk -v a="$limited_time" -v b="$plain_time" \
       'BEGIN { printf "%.2f", a / b }'); old-logs storage in $both_time s (longest write" \
       "transaction $both_tx s, slowest insert $both_insert s)"
done
