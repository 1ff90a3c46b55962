#!/usr/bin/env bash
# The service on PostgreSQL, beside SQLite: starts a throwaway PostgreSQL 15
# cluster (scripts/pg_cluster.sh, on a Unix socket, port $PG_PORT, default
# 54431), then
#  1. runs build/postgres_bench (built with the benchmarks): warm listings and
#     a write followed by a read, in-process, on SQLite and on PostgreSQL, and
#     the warm PostgreSQL calls as a ratio to one prepared round trip;
#  2. serves one demo account on that cluster from two `serve` hosts and
#     loads warm GetSubSystem through both at once with wrk (4 connections
#     each, $DURATION, default 5s), then through one host alone (8
#     connections), then the same call on an SQLite demo account (8).
#
#   bash bench/postgres_load.sh
#   DURATION=10s LXM_BIN=build-release/lxmdataflow bash bench/postgres_load.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

source bench/load_common.sh
DURATION="${DURATION:-5s}"
export PG_PORT="${PG_PORT:-54431}"
BENCH_BIN="${LXM_PG_BENCH_BIN:-$(dirname "$BIN")/postgres_bench}"

# The cluster's folder must be reachable by the postgres user: not in $WORK.
PG_DIR="$(mktemp -d /tmp/lxm-pgbench.XXXXXX)"
HOST_PIDS=()
finish() {
  for pid in "${HOST_PIDS[@]}"; do
    kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  "$root/scripts/pg_cluster.sh" stop "$PG_DIR"
  cleanup
}
trap finish EXIT
SERVER="$("$root/scripts/pg_cluster.sh" start "$PG_DIR")"

echo "== in-process: SQLite and PostgreSQL side by side (wall-clock times)"
if [ -x "$BENCH_BIN" ]; then
  LXM_BENCH_PG="$SERVER" "$BENCH_BIN" --benchmark_min_time=0.5 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
else
  echo "$BENCH_BIN is missing: build the benchmarks (target postgres_bench)." >&2
fi

echo
echo "== over HTTP: warm DatasInfo.GetSubSystem, demo account"
psql -X -q -h "$PG_DIR" -p "$PG_PORT" -U postgres -d lxm_test -c "CREATE DATABASE lxm_hosts"
CONNECT="${SERVER/Database=lxm_test/Database=lxm_hosts}"
"$BIN" init --connect "$CONNECT" --demo >/dev/null
"$BIN" init --db "$WORK/demo.db" --demo >/dev/null

# start_host ARGS...: one more host; its URL is appended to HOST_URLS.
HOST_URLS=()
start_host() {
  start_server "$@" --workers 8
  HOST_PIDS+=("$SERVER_PID")
  HOST_URLS+=("$URL")
  SERVER_PID=""  # stopped by finish, not by cleanup
}
start_host --connect "$CONNECT"
start_host --connect "$CONNECT"
start_host --db "$WORK/demo.db"

write_post_script "$WORK/post.lua"
PATH_RPC=/rpc/LXMDataFlow.DatasInfo/GetSubSystem
printf '{"args":["ConnectString={%s};UserID=16394;LANGUAGE=en",0]}' "$CONNECT" >"$WORK/pg.json"
printf '{"args":["ConnectString={Provider=SQLite;Data Source=%s};UserID=16394;LANGUAGE=en",0]}' \
  "$WORK/demo.db" >"$WORK/sqlite.json"
for i in 0 1 2; do
  body="$WORK/pg.json"
  [ "$i" = 2 ] && body="$WORK/sqlite.json"
  status="$(curl -s -o "$WORK/warm.json" -w '%{http_code}' -X POST "${HOST_URLS[$i]}$PATH_RPC" \
    -H 'Content-Type: application/json' --data-binary @"$body")"
  if [ "$status" != "200" ]; then
    echo "warm-up on host $i: HTTP $status $(head -c 300 "$WORK/warm.json")" >&2
    exit 1
  fi
done

# wrk_run URL BODY CONNECTIONS: wrk's summary line.
wrk_run() {
  LXM_BODY_FILE="$2" timeout 120 wrk -t1 -c"$3" -d"$DURATION" --timeout 5s -s "$WORK/post.lua" "$1$PATH_RPC" |
    tail -n 1
}

ROW='%-34s %5s %10s %9s %9s %9s %7s\n'
# shellcheck disable=SC2059
printf "$ROW" "scenario" "conns" "req/s" "p50 us" "p90 us" "p99 us" "errors"
show() {  # name connections summary
  local -a n
  read -r -a n <<<"$3"
  # shellcheck disable=SC2059
  printf "$ROW" "$1" "$2" "${n[0]}" "${n[1]}" "${n[2]}" "${n[3]}" "${n[6]}"
}

wrk_run "${HOST_URLS[0]}" "$WORK/pg.json" 4 >"$WORK/first.out" &
first=$!
wrk_run "${HOST_URLS[1]}" "$WORK/pg.json" 4 >"$WORK/second.out" &
second=$!
wait "$first" "$second"
show "PostgreSQL, host 1 of 2" 4 "$(cat "$WORK/first.out")"
show "PostgreSQL, host 2 of 2" 4 "$(cat "$WORK/second.out")"
total="$(awk '{ s += $1 } END { printf "%.0f", s }' "$WORK/first.out" "$WORK/second.out")"
# shellcheck disable=SC2059
printf "$ROW" "PostgreSQL, two hosts together" 8 "$total" "" "" "" ""
show "PostgreSQL, one host" 8 "$(wrk_run "${HOST_URLS[0]}" "$WORK/pg.json" 8)"
show "SQLite, one host" 8 "$(wrk_run "${HOST_URLS[2]}" "$WORK/sqlite.json" 8)"
