#!/usr/bin/env bash
# Times `cleanup-agent old-logs` on 1,000,000 seeded logs against the same
# deletes as one raw SQL statement in the sqlite3 shell, each on its own
# identical copy of the seeded store, in the same run. The raw statement uses
# the cut-offs the agent printed, and both must remove the same rows.
# Goals: the agent takes at most the raw time (ratio <= 1.0), and no write
# transaction of the agent lasts longer than 250 ms.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
# HOST_BENCH_ROWS (default 1000000), HOST_BENCH_ROUNDS (default 3).
set -euo pipefail
build="${BUILD_DIR:?set BUILD_DIR to a Release build directory}"
agent="$build/bin/cleanup-agent"
rows="${HOST_BENCH_ROWS:-1000000}"
rounds="${HOST_BENCH_ROUNDS:-3}"
command -v sqlite3 >/dev/null || { echo "host_bench: the sqlite3 shell is missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

start=$(now)
"$agent" --db "$work/seed.db" --seed-demo "$rows" >/dev/null
echo "host_bench: seeded $rows logs in $(elapsed "$start" "$(now)") s"

agent_times=()
raw_times=()
longest=()
for round in $(seq 1 "$rounds"); do
  cp "$work/seed.db" "$work/agent.db"
  cp "$work/seed.db" "$work/raw.db"

  start=$(now)
  "$agent" --db "$work/agent.db" old-logs >"$work/agent.out"
  agent_time=$(elapsed "$start" "$(now)")

  line=$(grep -o 'host: old-logs (cut-offs [^)]*): removed [0-9]* rows' "$work/agent.out")
  agent_rows=$(sed -E 's/.*removed ([0-9]+) rows/\1/' <<<"$line")
  read -r -a cutoffs <<<"$(sed -E 's/.*cut-offs ([^)]*)\).*/\1/; s/,//g' <<<"$line")"
  where=""
  for k in 1 2 3 4 5; do
    seconds=$(date -u -d "${cutoffs[$((k - 1))]}" +%s)
    where+="${where:+ OR }(retention_class = $k AND created_at < $seconds)"
  done
  tx=$(grep -o 'summary: total: .*longest write transaction [0-9.]* s' "$work/agent.out" |
       sed -E 's/.*transaction ([0-9.]+) s/\1/')

  start=$(now)
  raw_rows=$(sqlite3 "$work/raw.db" "DELETE FROM logs WHERE $where; SELECT changes();")
  raw_time=$(elapsed "$start" "$(now)")

  if [ "$agent_rows" != "$raw_rows" ]; then
    echo "host_bench: the agent removed $agent_rows rows, the raw statement $raw_rows" >&2
    exit 1
  fi
  echo "round $round: $agent_rows rows; cleanup-agent old-logs $agent_time s" \
       "(longest write transaction $tx s), raw sqlite3 DELETE $raw_time s," \
       "ratio $(awk -v a="$agent_time" -v r="$raw_time" 'BEGIN { printf "%.2f", a / r }')"
  agent_times+=("$agent_time")
  raw_times+=("$raw_time")
  longest+=("$tx")
done

agent_median=$(median "${agent_times[@]}")
raw_median=$(median "${raw_times[@]}")
worst_tx=$(printf '%s\n' "${longest[@]}" | sort -g | tail -1)
ratio=$(awk -v a="$agent_median" -v r="$raw_median" 'BEGIN { printf "%.2f", a / r }')
verdict=$(awk -v q="$ratio" -v t="$worst_tx" \
  'BEGIN { print (q <= 1.0 && t <= 0.25) ? "goals met" : "GOALS MISSED" }')
echo "host_bench: median of $rounds: cleanup-agent $agent_median s, raw $raw_median s," \
     "ratio $ratio (goal <= 1.00); longest write transaction $worst_tx s (goal <= 0.250): $verdict"
