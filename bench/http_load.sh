#!/usr/bin/env bash
# Load benchmark of `lxmdataflow serve` over loopback with wrk, beside its
# floor: a bare Boost.Beast server (bare_http_server, built with the
# benchmarks) that answers with the very bytes the host sent for the call.
#
# Builds nothing: it runs build/lxmdataflow (or $LXM_BIN) and the
# bare_http_server next to it (or $LXM_BARE_BIN). It creates a demo account
# and a synthetic one (5,10,20,20: 20,000 detail functions) in a temporary
# folder, starts the server on a free loopback port, warms each call once,
# keeps the reply of a second call and starts the bare server with it. Then
# it runs wrk with 1 and with 8 keep-alive connections per call for
# $DURATION each (default 5s), against the host and against the floor, and
# prints requests per second, latency percentiles, the server's CPU time per
# request and the host's rate as a share of the floor's. The floor answers from its I/O threads; set
# FLOOR_WORKERS=8 to have it hand every reply to 8 worker threads instead.
#
#   bash bench/http_load.sh                 # every scenario
#   DURATION=10s bash bench/http_load.sh GetSubSystem
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
DURATION="${DURATION:-5s}"
FILTER="${1:-}"
FLOOR_WORKERS="${FLOOR_WORKERS:-0}"
BARE_BIN="${LXM_BARE_BIN:-$(dirname "$BIN")/bare_http_server}"
if [ ! -x "$BARE_BIN" ]; then
  echo "$BARE_BIN is missing: build the benchmarks (target bare_http_server)." >&2
  exit 1
fi
BARE_PID=""
stop_bare() {
  if [ -n "$BARE_PID" ] && kill -0 "$BARE_PID" 2>/dev/null; then
    kill -TERM "$BARE_PID"
    wait "$BARE_PID" 2>/dev/null || true
  fi
  BARE_PID=""
}
trap 'stop_bare; cleanup' EXIT

"$BIN" init --db "$WORK/demo.db" --demo >/dev/null
"$BIN" init --db "$WORK/synthetic.db" --synthetic 5,10,20,20 >/dev/null
# A user with an own row for every detail function: a 20,000-row level.
sqlite3 "$WORK/synthetic.db" "INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex,
  FFuncName, FFuncName_CHT, FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable)
  SELECT FDetailFuncID, 50000, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN, FClassName,
  FClassParam, FVisible, FHelpCode, FEnable FROM t_DataFlowDetailFunc"

start_server --db "$WORK/demo.db" --db "$WORK/synthetic.db" --workers 8

write_post_script "$WORK/post.lua"

descriptor() {  # path user language
  printf 'ConnectString={Provider=SQLite;Data Source=%s};UserID=%s;LANGUAGE=%s' "$1" "$2" "$3"
}

ROW='%-44s %-5s %5s %10s %9s %9s %9s %9s %8s %7s %9s %8s\n'
# shellcheck disable=SC2059
printf "$ROW" "call" "on" "conns" "req/s" "p50 us" "p90 us" "p99 us" "p99.9 us" "KiB" "errors" \
  "cpu us/r" "of floor"

# The CPU time a process's threads have run, in nanoseconds.
cpu_ns() {
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ total += $1 } END { printf "%.0f", total }'
}

# load URL CONNECTIONS PID: wrk's summary numbers (req/s p50 p90 p99 p99.9
# KiB errors), then the server's CPU time per request in microseconds. On a
# machine whose cores wrk and other work share, the CPU time per request
# moves less than the rate.
load() {
  local threads=1
  [ "$2" -gt 1 ] && threads=2
  local before summary
  before="$(cpu_ns "$3")"
  summary="$(LXM_BODY_FILE="$WORK/body.json" timeout 120 wrk -t"$threads" -c"$2" -d"$DURATION" \
    --timeout 5s -s "$WORK/post.lua" "$1" | tail -n 1)"
  local -a numbers
  read -r -a numbers <<<"$summary"
  echo "$summary $(awk -v a="$before" -v b="$(cpu_ns "$3")" -v r="${numbers[0]}" -v d="$DURATION" \
    'BEGIN { s = d + 0; if (d ~ /m$/) s *= 60; printf "%.1f", (r > 0 ? (b - a) / 1000 / (r * s) : 0) }')"
}

# start_bare REPLY-FILE: serves the bytes on a free port, sets $BARE_URL.
start_bare() {
  "$BARE_BIN" --reply "$1" --port 0 --io-threads 2 --workers "$FLOOR_WORKERS" \
    >"$WORK/bare.log" 2>&1 &
  BARE_PID=$!
  BARE_URL=""
  for _ in $(seq 1 100); do
    BARE_URL="$(sed -n 's/^bare serving \(http:[^ ]*\).*/\1/p' "$WORK/bare.log")"
    [ -n "$BARE_URL" ] && return 0
    sleep 0.1
  done
  echo "The bare server did not start:" >&2
  cat "$WORK/bare.log" >&2
  exit 1
}

run() {  # name path body
  local name="$1" path="$2" body="$3"
  if [ -n "$FILTER" ] && [[ "$name" != *"$FILTER"* ]]; then return; fi
  printf '%s' "$body" >"$WORK/body.json"
  # Warm: the first call fills the caches and must succeed.
  local status
  status="$(curl -s -o "$WORK/warm.json" -w '%{http_code}' -X POST "$URL$path" \
    -H 'Content-Type: application/json' --data-binary @"$WORK/body.json")"
  if [ "$status" != "200" ]; then
    echo "$name: HTTP $status $(head -c 300 "$WORK/warm.json")" >&2
    return
  fi
  # The floor answers with the bytes of a warm call: head and body as sent.
  curl -s -D "$WORK/reply.head" -o "$WORK/reply.body" -X POST "$URL$path" \
    -H 'Content-Type: application/json' --data-binary @"$WORK/body.json"
  cat "$WORK/reply.head" "$WORK/reply.body" >"$WORK/reply.http"
  start_bare "$WORK/reply.http"
  for connections in 1 8; do
    local host floor
    read -r -a host <<<"$(load "$URL$path" "$connections" "$SERVER_PID")"
    read -r -a floor <<<"$(load "$BARE_URL$path" "$connections" "$BARE_PID")"
    local share
    share="$(awk -v h="${host[0]}" -v f="${floor[0]}" 'BEGIN { printf "%.0f%%", (f > 0 ? 100 * h / f : 0) }')"
    # shellcheck disable=SC2059
    printf "$ROW" "$name" "host" "$connections" "${host[@]}" "$share"
    # shellcheck disable=SC2059
    printf "$ROW" "" "floor" "$connections" "${floor[@]}" ""
  done
  stop_bare
}

DEMO="$(descriptor "$WORK/demo.db" 16394 en)"
SYNTHETIC="$(descriptor "$WORK/synthetic.db" 20001 en)"
run "clsDataInfo.GetTemplateVer (demo)" /rpc/LXMDataFlow.clsDataInfo/GetTemplateVer \
  "{\"args\":[\"$DEMO\"]}"
run "DatasInfo.GetSubSystem (demo)" /rpc/LXMDataFlow.DatasInfo/GetSubSystem \
  "{\"args\":[\"$DEMO\",0]}"
run "clsDataInfo.GetTemplate (demo)" /rpc/LXMDataFlow.clsDataInfo/GetTemplate \
  "{\"args\":[\"$DEMO\"]}"
run "DatasInfo.GetDetailFunc (synthetic, 20000)" /rpc/LXMDataFlow.DatasInfo/GetDetailFunc \
  "{\"args\":[\"$(descriptor "$WORK/synthetic.db" 50000 en)\",0]}"
run "clsDataInfo.GetTemplate (synthetic, 20000)" /rpc/LXMDataFlow.clsDataInfo/GetTemplate \
  "{\"args\":[\"$SYNTHETIC\"]}"
