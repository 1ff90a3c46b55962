#!/usr/bin/env bash
# Load benchmark of `lxmdataflow serve` over loopback with wrk.
#
# Builds nothing: it runs build/lxmdataflow (or $LXM_BIN). It creates a demo
# account and a synthetic one (5,10,20,20: 20,000 detail functions) in a
# temporary folder, starts the server on a free loopback port, warms each
# call once, runs wrk with 1 and with 8 keep-alive connections per call for
# $DURATION each (default 5s), prints requests per second and latency
# percentiles, and stops the server.
#
#   bash bench/http_load.sh                 # every scenario
#   DURATION=10s bash bench/http_load.sh GetSubSystem
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
DURATION="${DURATION:-5s}"
FILTER="${1:-}"

"$BIN" init --db "$WORK/demo.db" --demo >/dev/null
"$BIN" init --db "$WORK/synthetic.db" --synthetic 5,10,20,20 >/dev/null
# A user with an own row for every detail function: a 20,000-row level.
sqlite3 "$WORK/synthetic.db" "INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex,
  FFuncName, FFuncName_CHT, FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable)
  SELECT FDetailFuncID, 50000, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN, FClassName,
  FClassParam, FVisible, FHelpCode, FEnable FROM t_DataFlowDetailFunc"

start_server --db "$WORK/demo.db" --db "$WORK/synthetic.db" --workers 8

# The reply's summary line, written by wrk at the end of a run.
cat >"$WORK/post.lua" <<'LUA'
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
local file = io.open(os.getenv("LXM_BODY_FILE"), "r")
wrk.body = file:read("*a")
file:close()

function done(summary, latency, requests)
  local seconds = summary.duration / 1e6
  local failed = summary.errors.status + summary.errors.connect + summary.errors.read +
                 summary.errors.write + summary.errors.timeout
  io.write(string.format("%-44s %5s %10.0f %9.0f %9.0f %9.0f %9.0f %8.1f %7d\n",
    os.getenv("LXM_SCENARIO"), os.getenv("LXM_CONNECTIONS"), summary.requests / seconds,
    latency:percentile(50), latency:percentile(90), latency:percentile(99),
    latency:percentile(99.9), summary.bytes / summary.requests / 1024, failed))
end
LUA

descriptor() {  # path user language
  printf 'ConnectString={Provider=SQLite;Data Source=%s};UserID=%s;LANGUAGE=%s' "$1" "$2" "$3"
}

printf '%-44s %5s %10s %9s %9s %9s %9s %8s %7s\n' "call" "conns" "req/s" "p50 us" "p90 us" \
  "p99 us" "p99.9 us" "KiB" "errors"

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
  for connections in 1 8; do
    local threads=1
    [ "$connections" -gt 1 ] && threads=2
    LXM_BODY_FILE="$WORK/body.json" LXM_SCENARIO="$name" LXM_CONNECTIONS="$connections" \
      timeout 120 wrk -t"$threads" -c"$connections" -d"$DURATION" --timeout 5s \
      -s "$WORK/post.lua" "$URL$path" | tail -n 1
  done
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
