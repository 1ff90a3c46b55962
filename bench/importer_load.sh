#!/usr/bin/env bash
# Other users' light reads while importers write: the p50 of one user's
# GetTopClass with no other load, then while $IMPORTERS users each import a
# large layout (ImportUserData) over and over, and the ratio of the two
# against the floor of 2x. It also prints the server's peak resident memory.
#
# Builds nothing: it runs build/lxmdataflow (or $LXM_BIN). The layout is the
# export of a user who owns a copy of every detail function of a synthetic
# account ($SYNTHETIC, by default 5,10,20,20: 20,000 detail functions).
#
#   bash bench/importer_load.sh
#   SYNTHETIC=5,10,20,99 bash bench/importer_load.sh   # a layout of about 14 MiB
#   IMPORTERS=16 SECONDS_EACH=10 bash bench/importer_load.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
IMPORTERS="${IMPORTERS:-8}"
SECONDS_EACH="${SECONDS_EACH:-8}"
SERVE_ARGS="${SERVE_ARGS:-}"

"$BIN" init --db "$WORK/acct.db" --synthetic ${SYNTHETIC:-5,10,20,20} >/dev/null
sqlite3 "$WORK/acct.db" "INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName,
  FFuncName_CHT, FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable)
  SELECT FDetailFuncID, 29999, FSubFuncID, FIndex, FFuncName || ' mine', FFuncName_CHT, FFuncName_EN,
  FClassName, FClassParam, FVisible, FHelpCode, FEnable FROM t_DataFlowDetailFunc"

descriptor() { printf 'ConnectString={Provider=SQLite;Data Source=%s};UserID=%s;LANGUAGE=en' "$WORK/acct.db" "$1"; }

# shellcheck disable=SC2086
start_server --db "$WORK/acct.db" $SERVE_ARGS
curl -s -X POST -H 'Content-Type: application/json' --data-binary "{\"args\":[\"$(descriptor 29999)\"]}" \
  "$URL/rpc/LXMDataFlow.DatasInfo/ExportUserData" >"$WORK/export.json"
python3 - "$WORK" <<'PY'
import json, sys
work = sys.argv[1]
layout = json.load(open(work + "/export.json"))["result"]
with open(work + "/layout.json", "w") as out:
    json.dump(layout, out, ensure_ascii=False)
PY
echo "layout: $(( $(stat -c %s "$WORK/layout.json") / 1024 )) KiB"

write_post_script "$WORK/post.lua"
export LXM_BODY_FILE="$WORK/read.json"
printf '{"args":["%s"]}' "$(descriptor 50)" >"$LXM_BODY_FILE"
reads() { wrk -t1 -c1 -d"${SECONDS_EACH}s" -s "$WORK/post.lua" "$URL/rpc/LXMDataFlow.DatasInfo/GetTopClass" | tail -1; }
reads >/dev/null  # warm-up
alone="$(reads)"

import_loop() {  # user
  local body="$WORK/import-$1.json"
  { printf '{"args":["%s",' "$(descriptor "$1")"; cat "$WORK/layout.json"; printf ']}'; } >"$body"
  while [ ! -e "$WORK/stop" ]; do
    curl -s -o /dev/null -w '%{http_code}\n' -X POST -H 'Content-Type: application/json' \
      --data-binary "@$body" "$URL/rpc/LXMDataFlow.DatasUpdate/ImportUserData" >>"$WORK/import-status"
  done
}
for i in $(seq 1 "$IMPORTERS"); do import_loop $((30000 + i)) & done
sleep 2
loaded="$(reads)"
touch "$WORK/stop"
wait %%+ 2>/dev/null || true
sleep 1
peak="$(awk '/^VmHWM:/ {print $2}' "/proc/$SERVER_PID/status")"

p50_alone="$(echo "$alone" | awk '{print $2}')"
p50_loaded="$(echo "$loaded" | awk '{print $2}')"
echo "GetTopClass alone:     req/s p50 p90 p99 p99.9 (us) KiB failed: $alone"
echo "with $IMPORTERS importers:  req/s p50 p90 p99 p99.9 (us) KiB failed: $loaded"
echo "imports answered: $(sort "$WORK/import-status" | uniq -c | tr '\n' ' ')"
echo "peak resident memory: $peak KiB"
awk -v a="$p50_alone" -v b="$p50_loaded" 'BEGIN {
  r = b / a; printf "p50 loaded / alone: %.2fx (floor 2x: %.2f of it)\n", r, r / 2 }'
