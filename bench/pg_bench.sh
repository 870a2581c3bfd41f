#!/usr/bin/env bash
# Times `cleanup-agent old-logs` on a PostgreSQL store against one raw DELETE
# of the same rows followed by VACUUM on an identical unpartitioned table of
# the same server, in the same run, at two sizes over the same two years.
# Meanwhile four pgbench clients insert logs of every class (200 a second
# each) through both runs, and their slowest insert while the agent ran is
# reported. Each size is seeded once and each round runs on a fresh copy.
#
# Goals: the agent at least 5 times faster than DELETE + VACUUM; from the
# first size to the second (1,000,000 and 5,000,000 logs by default) the
# agent's time grows at most 1.5 times; no insert waits longer than 250 ms.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
# PG_BENCH_ROWS: the sizes (default "1000000 5000000"); PG_BENCH_ROUNDS: the
# rounds per size (default 5; the medians are compared). Not part of CI.
# PG_SCRATCH_BASE: where the server's files go (default /tmp). A file system
# mounted with online discard (as here) makes every dropped file cost its
# size in TRIM at commit; /dev/shm shows the database's own work.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:?set BUILD_DIR to a Release build directory}"
agent="$build/bin/cleanup-agent"
sizes="${PG_BENCH_ROWS:-1000000 5000000}"
bindir="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"

server="$("$root/scripts/pg-scratch" start)"
dir="${server#*host=}"
dir="${dir%%&*}"
work="$(mktemp -d)"
trap '"$root/scripts/pg-scratch" stop "$dir"; rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
sql() { psql -X -q -t -A -v ON_ERROR_STOP=1 "$1" -c "$2"; }

cat >"$work/insert.sql" <<'EOF'
\set class random(1, 5)
INSERT INTO logs(log_type, retention_class, created_at) VALUES (1, :class, extract(epoch from now())::bigint);
EOF

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One round on a fresh copy of the seeded database `seed`: the agent's
# old-logs, then the raw DELETE and VACUUM, with the writers running through
# both. Prints "agent raw delete vacuum slowest removed raw_rows detail".
round() {
  local seed="$1" name="$2"
  # A file copy: the default strategy writes the whole copy through the
  # write-ahead log, whose checkpoint would then fall into the timed runs.
  sql "$server" "CREATE DATABASE $name TEMPLATE $seed STRATEGY FILE_COPY"
  sql "$server" "CHECKPOINT"
  local uri="postgresql:///$name?host=$dir&user=postgres"
  (cd "$work" && "$bindir/pgbench" -n -c 4 -j 2 -T 30 --rate=800 -f "$work/insert.sql" -l \
    --log-prefix="w$name" "$uri" >"$work/pgbench.out" 2>&1) &
  local writers=$!
  sleep 2
  local start end
  start=$(now)
  "$agent" --db "$uri" --backup "$work/$name.dump" old-logs >"$work/agent.out"
  end=$(now)
  local agent_time removed detail cutoffs
  agent_time=$(elapsed "$start" "$end")
  removed=$(grep -o "old-logs ([^)]*): removed [0-9]* rows" "$work/agent.out" | head -n 1 | grep -o "[0-9]* rows")
  detail=$(grep -o "dropped [0-9]* partitions holding [0-9]* rows" "$work/agent.out" | head -n 1)
  cutoffs=$(grep -o 'cut-offs [^)]*' "$work/agent.out" | sed 's/cut-offs //')
  # The same rows by hand: the agent's own cut-offs, one DELETE, then VACUUM.
  local condition="" k=1 cut seconds
  IFS=', ' read -r -a cuts <<<"$cutoffs"
  for cut in "${cuts[@]}"; do
    [ -z "$cut" ] && continue
    seconds=$(date -u -d "$cut" +%s)
    condition+="${condition:+ OR }(retention_class = $k AND created_at < $seconds)"
    k=$((k + 1))
  done
  local raw_start delete_time vacuum_time raw_rows
  raw_start=$(now)
  raw_rows=$(sql "$uri" "WITH gone AS (DELETE FROM raw_logs WHERE $condition RETURNING 1) SELECT count(*) FROM gone")
  delete_time=$(elapsed "$raw_start" "$(now)")
  raw_start=$(now)
  sql "$uri" "VACUUM raw_logs"
  vacuum_time=$(elapsed "$raw_start" "$(now)")
  wait "$writers"
  # The slowest insert that ended while the agent ran (pgbench's log: the
  # latency in microseconds, then the end time in seconds and microseconds).
  local slowest
  slowest=$(cat "$work"/w"$name".* | awk -v a="$start" -v b="$end" \
    '{ t = $5 + $6 / 1000000 } t >= a && t <= b && $3 > max { max = $3 } END { printf "%.3f", max / 1000000 }')
  rm -f "$work"/w"$name".*
  sql "$server" "DROP DATABASE $name WITH (FORCE)"
  echo "$agent_time $(awk -v a="$delete_time" -v b="$vacuum_time" 'BEGIN { printf "%.3f", a + b }') $delete_time $vacuum_time $slowest ${removed% rows} $raw_rows $detail"
}

rounds="${PG_BENCH_ROUNDS:-5}"
declare -A agent_median
for rows in $sizes; do
  seed="seed_$rows"
  sql "$server" "CREATE DATABASE $seed"
  uri="postgresql:///$seed?host=$dir&user=postgres"
  start=$(now)
  "$agent" --db "$uri" --seed-demo "$rows" --backup "$work/$seed.dump" >/dev/null
  echo "pg_bench: seeded $rows logs in $(elapsed "$start" "$(now)") s"
  # The same rows in one plain table with the same indexes.
  sql "$uri" "CREATE TABLE raw_logs AS SELECT * FROM logs;
    CREATE INDEX ON raw_logs(id); CREATE INDEX ON raw_logs(retention_class, created_at);
    CREATE INDEX ON raw_logs(log_type, created_at) WHERE is_delta = 0;
    CREATE INDEX ON raw_logs(id) WHERE replicated = 1; CREATE INDEX ON raw_logs(id) WHERE ignored = 1;
    CREATE INDEX ON raw_logs(id) WHERE is_delta = 1 AND superseded = 1"
  sql "$uri" "VACUUM ANALYZE raw_logs"
  sql "$uri" "VACUUM ANALYZE logs"
  agents=()
  raws=()
  for r in $(seq 1 "$rounds"); do
    read -r agent_time raw_time delete_time vacuum_time slowest removed raw_rows detail \
      <<<"$(round "$seed" "round_${rows}_$r")"
    agents+=("$agent_time")
    raws+=("$raw_time")
    echo "pg_bench: $rows logs, round $r: agent old-logs $agent_time s ($removed rows; $detail);" \
      "raw DELETE $delete_time s + VACUUM $vacuum_time s = $raw_time s ($raw_rows rows);" \
      "ratio raw/agent $(awk -v a="$raw_time" -v b="$agent_time" 'BEGIN { printf "%.1f", a / b }');" \
      "slowest insert while the agent ran $slowest s"
  done
  agent_median[$rows]=$(median "${agents[@]}")
  raw_median=$(median "${raws[@]}")
  last_ratio=$(awk -v a="$raw_median" -v b="${agent_median[$rows]}" 'BEGIN { printf "%.1f", a / b }')
  echo "pg_bench: $rows logs, median of $rounds: agent ${agent_median[$rows]} s, raw $raw_median s," \
    "ratio $last_ratio"
  sql "$server" "DROP DATABASE $seed WITH (FORCE)"
done

set -- $sizes
echo "pg_bench: at ${!#} logs the agent is $last_ratio times as fast as DELETE + VACUUM (goal >= 5)"
if [ $# -ge 2 ]; then
  echo "pg_bench: the agent's median from $1 to $2 logs grew $(awk -v a="${agent_median[$1]}" -v b="${agent_median[$2]}" 'BEGIN { printf "%.2f", b / a }') times (goal <= 1.5)"
fi
