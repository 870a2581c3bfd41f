#!/usr/bin/env bash
# Times `cleanup-agent old-logs` on a PostgreSQL store against one raw DELETE
# of the same rows followed by VACUUM on an identical unpartitioned table of
# the same server, in the same run, at two sizes over the same two years.
# Meanwhile four pgbench clients insert logs of every class (200 a second
# each), and their slowest insert is reported.
#
# Goals: the agent at least 5 times faster than DELETE + VACUUM; from the
# first size to the second (1,000,000 and 5,000,000 logs by default) the
# agent's time grows at most 1.5 times; no insert waits longer than 250 ms.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
# PG_BENCH_ROWS: the sizes (default "1000000 5000000"). Not part of CI.
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

declare -A agent_time raw_time
for rows in $sizes; do
  name="bench_$rows"
  sql "$server" "CREATE DATABASE $name"
  uri="postgresql:///$name?host=$dir&user=postgres"
  start=$(now)
  "$agent" --db "$uri" --seed-demo "$rows" --backup "$work/$name.dump" >/dev/null
  echo "pg_bench: seeded $rows logs in $(elapsed "$start" "$(now)") s"

  # The same rows in one plain table with the same indexes.
  sql "$uri" "CREATE TABLE raw_logs AS SELECT * FROM logs;
    CREATE INDEX ON raw_logs(id); CREATE INDEX ON raw_logs(retention_class, created_at);
    CREATE INDEX ON raw_logs(log_type, created_at) WHERE is_delta = 0;
    CREATE INDEX ON raw_logs(id) WHERE replicated = 1; CREATE INDEX ON raw_logs(id) WHERE ignored = 1;
    CREATE INDEX ON raw_logs(id) WHERE is_delta = 1 AND superseded = 1"
  sql "$uri" "VACUUM ANALYZE raw_logs"
  sql "$uri" "VACUUM ANALYZE logs"

  # Writers for the whole of the agent's run.
  (cd "$work" && "$bindir/pgbench" -n -c 4 -j 2 -T 20 --rate=800 -f "$work/insert.sql" -l \
    --log-prefix="w$rows" "$uri" >"$work/pgbench.out" 2>&1) &
  writers=$!
  sleep 2
  start=$(now)
  "$agent" --db "$uri" --backup "$work/$name.dump" old-logs >"$work/agent.out"
  agent_time[$rows]=$(elapsed "$start" "$(now)")
  wait "$writers"
  slowest=$(cat "$work"/w"$rows".* | awk '$3 > max { max = $3 } END { printf "%.3f", max / 1000000 }')
  removed=$(grep -o "old-logs ([^)]*): removed [0-9]* rows" "$work/agent.out" | head -n 1 | grep -o "[0-9]* rows")
  detail=$(grep -o "dropped [0-9]* partitions holding [0-9]* rows" "$work/agent.out" | head -n 1)
  cutoffs=$(grep -o 'cut-offs [^)]*' "$work/agent.out" | sed 's/cut-offs //')

  # The raw run: the agent's own cut-offs, one DELETE, then VACUUM.
  condition=""
  k=1
  IFS=', ' read -r -a cuts <<<"$cutoffs"
  for cut in "${cuts[@]}"; do
    [ -z "$cut" ] && continue
    seconds=$(date -u -d "$cut" +%s)
    condition+="${condition:+ OR }(retention_class = $k AND created_at < $seconds)"
    k=$((k + 1))
  done
  start=$(now)
  raw_rows=$(sql "$uri" "WITH gone AS (DELETE FROM raw_logs WHERE $condition RETURNING 1) SELECT count(*) FROM gone")
  delete_time=$(elapsed "$start" "$(now)")
  start=$(now)
  sql "$uri" "VACUUM raw_logs"
  vacuum_time=$(elapsed "$start" "$(now)")
  raw_time[$rows]=$(awk -v a="$delete_time" -v b="$vacuum_time" 'BEGIN { printf "%.3f", a + b }')
  echo "pg_bench: $rows logs: agent old-logs ${agent_time[$rows]} s ($removed; $detail);" \
    "raw DELETE $delete_time s + VACUUM $vacuum_time s = ${raw_time[$rows]} s;" \
    "(removed $raw_rows rows);" \
    "ratio raw/agent $(awk -v a="${raw_time[$rows]}" -v b="${agent_time[$rows]}" 'BEGIN { printf "%.1f", a / b }');" \
    "slowest insert meanwhile $slowest s"
  sql "$server" "DROP DATABASE $name WITH (FORCE)"
done

set -- $sizes
if [ $# -ge 2 ]; then
  echo "pg_bench: agent time from $1 to $2 logs grew $(awk -v a="${agent_time[$1]}" -v b="${agent_time[$2]}" 'BEGIN { printf "%.2f", b / a }') times (goal <= 1.5)"
fi
