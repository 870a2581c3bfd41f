#!/usr/bin/env bash
# Times `cleanup-agent --report` on seeded stores: an SQLite file of
# REPORT_BENCH_ROWS logs (default 1000000) and, when REPORT_BENCH_PG_ROWS is
# set (5000000 for the figures in host/README.md), a PostgreSQL store on a
# private stock server (scripts/pg-scratch with PG_SCRATCH_STOCK=1, data on
# disk). Each report runs REPORT_BENCH_ROUNDS times (default 3); the median,
# the fastest and the slowest are printed, and the forecast's total is
# printed beside what the following real `all` removes: equal when the last
# report took under a second, else the logs that crossed a cut-off while it
# read may differ.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
set -euo pipefail
build="${BUILD_DIR:?set BUILD_DIR to a Release build directory}"
agent="$build/bin/cleanup-agent"
rows="${REPORT_BENCH_ROWS:-1000000}"
pg_rows="${REPORT_BENCH_PG_ROWS:-}"
rounds="${REPORT_BENCH_ROUNDS:-3}"
here="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
server=""
cleanup() {
  if [ -n "$server" ]; then "$here/scripts/pg-scratch" stop "$server" >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
stats() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
  printf "median %.3f s (fastest %.3f, slowest %.3f)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }


# One store: seeds it, times the reports, checks the forecast against `all`.
measure() {
  local name="$1" db="$2" count="$3" real_db="$4"
  shift 4
  local start times=() forecast removed
  start=$(now)
  "$agent" --db "$db" "$@" --create --seed-demo "$count" >/dev/null
  echo "report_bench: $name: seeded $count logs in $(elapsed "$start" "$(now)") s"
  for _ in $(seq 1 "$rounds"); do
    start=$(now)
    "$agent" --db "$db" "$@" --report --output json >"$work/report.json"
    times+=("$(elapsed "$start" "$(now)")")
  done
  forecast=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["next_run_total"]["rows_removed"])' "$work/report.json")
  removed=$("$agent" --db "$real_db" "$@" --output json all 2>/dev/null |
            python3 -c 'import json,sys; print(json.load(sys.stdin)["total"]["rows_removed"])')
  echo "report_bench: $name: --report $(stats "${times[@]}"); forecast $forecast rows," \
       "the following all removed $removed"
  # The run starts after the last report's reading time: logs that cross a
  # cut-off in between are the only difference allowed, and only when the
  # report took longer than a second.
  if [ "$forecast" != "$removed" ] && [ "$(awk -v t="${times[-1]}" 'BEGIN { print (t < 1) }')" = 1 ]; then
    echo "report_bench: $name: the forecast and the run differ" >&2
    exit 1
  fi
}

measure sqlite "$work/agent.db" "$rows" "$work/agent.db"
if [ -n "$pg_rows" ]; then
  uri="$(PG_SCRATCH_STOCK=1 "$here/scripts/pg-scratch" start)"
  server="$(sed -E 's/.*host=([^&]*).*/\1/' <<<"$uri")"
  measure postgresql "$uri" "$pg_rows" "$uri" --backup "$work/store.dump"
fi
