#!/usr/bin/env bash
# Mixed read and write load on `lxmdataflow serve` over loopback with wrk,
# bounded in time, then the size of the write-ahead log.
#
# Builds nothing: it runs build/lxmdataflow (or $LXM_BIN). It creates a demo
# account in a temporary folder, serves it, and runs for $DURATION (default
# 20s) two wrk loads at once: 2 connections writing profile values
# (DatasUpdate.SetProfileValue, a new name per request) and 6 connections
# reading a level (DatasInfo.GetSubSystem). It prints the request rates, the
# largest log size seen during the run (sampled every 0.2 s) and the size
# 2 s after the load stops. The readers never all stop at once, so SQLite's
# own checkpoints cannot empty the log: a write that leaves it past the
# server's bound (16 MiB by default) empties it.
#
#   bash bench/wal_load.sh
#   DURATION=60s bash bench/wal_load.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
DURATION="${DURATION:-20s}"

DB="$WORK/demo.db"
"$BIN" init --db "$DB" --demo >/dev/null
start_server --db "$DB" --workers 8

DSN="ConnectString={Provider=SQLite;Data Source=$DB};UserID=16394;LANGUAGE=en"
cat >"$WORK/write.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
local counter = 0
request = function()
  counter = counter + 1
  local name = string.format("bench-%d-%d", math.random(1, 1000000000), counter)
  local body = '{"args":["$DSN","' .. name .. '","' .. string.rep("v", 200) .. '"]}'
  return wrk.format(nil, nil, nil, body)
end
function done(summary, latency, requests)
  io.write(string.format("writes %8.0f req/s, %d errors\\n", summary.requests / (summary.duration / 1e6),
    summary.errors.status + summary.errors.connect + summary.errors.read + summary.errors.write +
    summary.errors.timeout))
end
LUA
cat >"$WORK/read.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
wrk.body = '{"args":["$DSN",0]}'
function done(summary, latency, requests)
  io.write(string.format("reads  %8.0f req/s, %d errors\\n", summary.requests / (summary.duration / 1e6),
    summary.errors.status + summary.errors.connect + summary.errors.read + summary.errors.write +
    summary.errors.timeout))
end
LUA

wal_size() { stat -c %s "$DB-wal" 2>/dev/null || echo 0; }

timeout 300 wrk -t1 -c2 -d"$DURATION" -s "$WORK/write.lua" "$URL/rpc/LXMDataFlow.DatasUpdate/SetProfileValue" \
  | tail -n 1 &
WRITES=$!
timeout 300 wrk -t1 -c6 -d"$DURATION" -s "$WORK/read.lua" "$URL/rpc/LXMDataFlow.DatasInfo/GetSubSystem" \
  | tail -n 1 &
READS=$!
largest=0
while kill -0 "$WRITES" 2>/dev/null || kill -0 "$READS" 2>/dev/null; do
  size="$(wal_size)"
  [ "$size" -gt "$largest" ] && largest="$size"
  sleep 0.2
done
wait "$WRITES" "$READS" || true
sleep 2
echo "profile rows written: $(sqlite3 "$DB" "SELECT COUNT(*) FROM t_UserDataFlowProfile WHERE FName LIKE 'bench-%'")"
echo "largest WAL during the load: $largest bytes (bound $((16 << 20)) bytes, plus the last write)"
echo "WAL after the load: $(wal_size) bytes"
