#!/usr/bin/env bash
# Expiring old logs on PostgreSQL three ways, side by side in one run, on the
# same seeded logs and on a server with its stock settings (data on disk):
#
#   partman  pg_partman's run_maintenance() on five tables, one per class,
#            with native two-week partitions on the epoch column and each
#            class's retention (what administrators set up today);
#   agent    cleanup-agent old-logs on its own store;
#   raw      one DELETE of the same rows plus VACUUM on an unpartitioned copy.
#
# Each side runs on a fresh copy of the seeded database, vacuumed, analysed
# and checkpointed first, while one writer inserts one log at a time into
# that side's tables (200 a second); the slowest insert that ended while the
# side ran is reported. Rows removed are counted by each side's own tables:
# pg_partman drops whole partitions only and keeps the old rows of the ones
# that straddle a cut-off; the agent and the raw DELETE remove them exactly.
# For the agent, the time per dropped partition and per removed row tell how
# its time grows with the store; its longest write transaction bounds how long
# one of its drops held a class's writers.
#
# Then a reader in the way: on one more copy, another session holds ACCESS
# SHARE on an old partition for 10 s while the agent's old-logs runs with
# --busy-timeout 5 and the writer inserting; printed are the run's time, the
# writer's slowest insert meanwhile and the warning that names the partition
# left for a later run.
#
# BUILD_DIR: a Release build holding bin/cleanup-agent and its plug-in.
# PARTMAN_BENCH_ROWS: the sizes (default 300000; for example
# "1000000 5000000 20000000", the largest about 6 GB and by hand only).
# PARTMAN_BENCH_ROUNDS: rounds per size (default 3; medians are printed).
# PARTMAN_BENCH_WRITER_SECONDS: how long the writer runs in each round
# (default 30; it must outlast the side, and the round waits for it, since
# pgbench writes its log only as it ends).
# PG_SCRATCH_BASE: where the server's files go (default /tmp, on disk here).
# Needs Debian's postgresql-15-partman (scripts/setup installs it). Not CI.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:?set BUILD_DIR to a Release build directory}"
agent="$build/bin/cleanup-agent"
sizes="${PARTMAN_BENCH_ROWS:-300000}"
rounds="${PARTMAN_BENCH_ROUNDS:-3}"
bindir="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"
[ -n "$(ls /usr/share/postgresql/*/extension/pg_partman.control 2>/dev/null)" ] ||
  { echo "pg_partman_bench: pg_partman is not installed (run scripts/setup)" >&2; exit 1; }

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
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The writer's statement for each side: one log of a random class, now.
for side in agent partman raw; do
  case $side in
    agent) target="logs" ;;
    raw) target="raw_logs" ;;
    partman) target="pm_logs_c:class" ;;
  esac
  cat >"$work/insert_$side.sql" <<EOF
\set class random(1, 5)
INSERT INTO $target(log_type, retention_class, created_at) VALUES (1, :class, extract(epoch from now())::bigint);
EOF
done

# Sets up pg_partman's five tables in database `db` from its `logs`, with the
# same columns and the indexes the agent's logs have, then empties `logs`
# (whose sequence the tables' id default uses).
partman_setup() {
  local db="$1" oldest="$2" k days
  local uri
  uri="$(uri_of "$db")"
  sql "$uri" "CREATE SCHEMA partman; CREATE EXTENSION pg_partman SCHEMA partman"
  for k in 1 2 3 4 5; do
    days="${retention[$((k - 1))]}"
    sql "$uri" "CREATE TABLE pm_logs_c$k (LIKE logs INCLUDING DEFAULTS) PARTITION BY RANGE (created_at);
      CREATE INDEX ON pm_logs_c$k (id); CREATE INDEX ON pm_logs_c$k (created_at);
      CREATE INDEX ON pm_logs_c$k (log_type, created_at) WHERE is_delta = 0;
      SELECT partman.create_parent('public.pm_logs_c$k', 'created_at', 'native', '2 weeks',
        p_epoch := 'seconds', p_premake := 4,
        p_start_partition := to_char(to_timestamp($oldest), 'YYYY-MM-DD HH24:MI:SS'));
      UPDATE partman.part_config SET retention = '$days days', retention_keep_table = false
        WHERE parent_table = 'public.pm_logs_c$k';
      INSERT INTO pm_logs_c$k SELECT * FROM logs WHERE retention_class = $k" >/dev/null
  done
  sql "$uri" "TRUNCATE logs"
}

writer_seconds="${PARTMAN_BENCH_WRITER_SECONDS:-30}"

# Starts the writer on `uri` for `side`; its pid goes into `writer` (the
# round waits for it, so it must be this shell's child).
start_writer() {
  (cd "$work" && "$bindir/pgbench" -n -c 1 -j 1 -T "$writer_seconds" --rate=200 -f "$work/insert_$2.sql" -l \
    --log-prefix="w_$2" "$1" >"$work/pgbench_$2.out" 2>&1) &
  writer=$!
}

# The slowest insert of `side`'s writer that ended between `start` and `end`
# (pgbench's log: latency in microseconds, then the end time in seconds and
# microseconds), in seconds.
slowest_insert() {
  cat "$work"/w_"$1".* | awk -v a="$2" -v b="$3" \
    '{ t = $5 + $6 / 1000000 } t >= a && t <= b && $3 > max { max = $3 } END { printf "%.3f", max / 1000000 }'
  rm -f "$work"/w_"$1".*
}

# Rows of `tables` created before `before` (Unix seconds): the seeded logs,
# not the writer's.
old_rows() {
  local uri="$1" before="$2" tables="$3" t total=0 n
  for t in $tables; do
    n=$(sql "$uri" "SELECT count(*) FROM $t WHERE created_at < $before")
    total=$((total + n))
  done
  echo "$total"
}

partitions_of() {
  sql "$1" "SELECT count(*) FROM pg_catalog.pg_inherits i JOIN pg_catalog.pg_class c ON c.oid = i.inhrelid
    WHERE c.relkind = 'r' AND c.relname LIKE '$2%'"
}

# One round of one side on a fresh copy of `seed`. Prints
# "seconds rows_removed slowest_insert partitions_dropped [what was left]".
round() {
  local side="$1" seed="$2" name="$3" uri start end writer removed before after parts_before
  sql "$server" "CREATE DATABASE $name TEMPLATE $seed STRATEGY FILE_COPY"
  uri="$(uri_of "$name")"
  sql "$uri" "VACUUM ANALYZE"
  sql "$server" "CHECKPOINT"
  local tables="logs" pattern="logs_c" writes="$side"
  [ "$side" = reader ] && writes=agent
  [ "$side" = raw ] && tables="raw_logs" pattern="raw_logs"
  [ "$side" = partman ] && tables="pm_logs_c1 pm_logs_c2 pm_logs_c3 pm_logs_c4 pm_logs_c5" pattern="pm_logs_c"
  local seeded_before
  seeded_before=$(date +%s)
  before=$(old_rows "$uri" "$seeded_before" "$tables")
  parts_before=$(partitions_of "$uri" "$pattern")
  start_writer "$uri" "$writes"
  sleep 2
  start=$(now)
  case $side in
    agent) "$agent" --db "$uri" --backup "$work/$name.dump" old-logs >"$work/agent.out" 2>&1 ;;
    reader)
      local held
      held=$(sql "$uri" "SELECT c.relname FROM pg_catalog.pg_inherits i
        JOIN pg_catalog.pg_class c ON c.oid = i.inhrelid WHERE c.relname LIKE 'logs_c1_2%'
        ORDER BY c.relname LIMIT 1")
      psql -X -q "$uri" -c "BEGIN; LOCK TABLE $held IN ACCESS SHARE MODE; SELECT pg_sleep(10); COMMIT" \
        >/dev/null &
      local reader=$!
      sleep 1
      start=$(now)
      "$agent" --db "$uri" --backup "$work/$name.dump" --busy-timeout 5 old-logs \
        >"$work/agent.out" 2>&1 || true
      end=$(now)
      wait "$reader"
      ;;
    partman) sql "$uri" "SELECT partman.run_maintenance(p_jobmon := false)" >/dev/null ;;
    raw)
      sql "$uri" "DELETE FROM raw_logs WHERE $raw_condition"
      sql "$uri" "VACUUM raw_logs"
      ;;
  esac
  [ "$side" = reader ] || end=$(now)
  wait "$writer"
  awk -v a="$start" -v b="$end" -v w="$writer_seconds" 'BEGIN { exit !(b - a > w - 2) }' &&
    echo "pg_partman_bench: the $side side outlasted its writer: raise PARTMAN_BENCH_WRITER_SECONDS" >&2
  after=$(old_rows "$uri" "$seeded_before" "$tables")
  removed=$((before - after))
  local dropped=$((parts_before - $(partitions_of "$uri" "$pattern")))
  [ "$side" = raw ] && dropped=0
  local left=""
  [ "$side" = reader ] && left=$(grep -o "partition [^ ]* left for a later run: [^,]*" "$work/agent.out" | head -n 1)
  # The agent's longest write transaction, for the line of its side.
  [ "$side" = agent ] && grep -o "summary: total: .*longest write transaction [0-9.]* s" "$work/agent.out" |
    grep -o "[0-9.]* s$" >"$work/longest"
  echo "$(elapsed "$start" "$end") $removed $(slowest_insert "$writes" "$start" "$end") $dropped $left"
  sql "$server" "DROP DATABASE $name WITH (FORCE)"
}

for rows in $sizes; do
  seed="seed_$rows"
  sql "$server" "CREATE DATABASE $seed"
  uri="$(uri_of "$seed")"
  start=$(now)
  "$agent" --db "$uri" --seed-demo "$rows" --backup "$work/$seed.dump" >"$work/seed.out"
  echo "pg_partman_bench: seeded $rows logs in $(elapsed "$start" "$(now)") s"
  read -r -a retention <<<"$(grep -o 'retention [0-9,]* days' "$work/seed.out" | head -n 1 |
    sed 's/retention //; s/ days//; s/,/ /g')"
  # The agent's cut-offs, as its old-logs computes them (whole days back,
  # the same time of day), for the raw DELETE.
  today=$(date +%s)
  raw_condition=""
  for k in 1 2 3 4 5; do
    raw_condition+="${raw_condition:+ OR }(retention_class = $k AND created_at < $((today - ${retention[$((k - 1))]} * 86400)))"
  done
  oldest=$(sql "$uri" "SELECT min(created_at) FROM logs")
  for side in raw partman; do
    sql "$server" "CREATE DATABASE ${seed}_$side TEMPLATE $seed STRATEGY FILE_COPY"
  done
  sql "$(uri_of "${seed}_raw")" "CREATE TABLE raw_logs AS SELECT * FROM logs;
    CREATE INDEX ON raw_logs(id); CREATE INDEX ON raw_logs(retention_class, created_at);
    CREATE INDEX ON raw_logs(log_type, created_at) WHERE is_delta = 0;
    CREATE INDEX ON raw_logs(id) WHERE replicated = 1; CREATE INDEX ON raw_logs(id) WHERE ignored = 1;
    CREATE INDEX ON raw_logs(id) WHERE is_delta = 1 AND superseded = 1; DROP TABLE logs CASCADE"
  partman_setup "${seed}_partman" "$oldest"
  declare -A times=()
  for r in $(seq 1 "$rounds"); do
    for side in partman agent raw; do
      source_db="$seed"
      [ "$side" != agent ] && source_db="${seed}_$side"
      read -r seconds removed slowest dropped <<<"$(round "$side" "$source_db" "r_${side}_$r")"
      times[$side]+="$seconds "
      line="pg_partman_bench: $rows logs, round $r, $side: $seconds s, removed $removed rows"
      [ "$side" != raw ] && line+=", dropped $dropped partitions"
      if [ "$side" = agent ] && [ "$dropped" -gt 0 ] && [ "$removed" -gt 0 ]; then
        line+=" ($(awk -v t="$seconds" -v p="$dropped" 'BEGIN { printf "%.1f", 1000 * t / p }') ms a partition,"
        line+=" $(awk -v t="$seconds" -v n="$removed" 'BEGIN { printf "%.2f", 1000000 * t / n }') us a row)"
      fi
      [ "$side" = agent ] && line+="; longest write transaction $(cat "$work/longest")"
      echo "$line; slowest insert meanwhile $slowest s"
    done
  done
  # shellcheck disable=SC2086
  partman_median=$(median ${times[partman]}) agent_median=$(median ${times[agent]}) raw_median=$(median ${times[raw]})
  echo "pg_partman_bench: $rows logs, medians of $rounds: partman $partman_median s, agent $agent_median s," \
    "raw $raw_median s; partman/agent $(ratio "$partman_median" "$agent_median")," \
    "raw/agent $(ratio "$raw_median" "$agent_median")"
  read -r seconds removed slowest dropped left <<<"$(round reader "$seed" "r_reader")"
  echo "pg_partman_bench: $rows logs, a reader in the way: agent $seconds s (--busy-timeout 5)," \
    "removed $removed rows, dropped $dropped partitions; slowest insert meanwhile $slowest s; $left"
  for db in "$seed" "${seed}_raw" "${seed}_partman"; do
    sql "$server" "DROP DATABASE $db WITH (FORCE)"
  done
done
