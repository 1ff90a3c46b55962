#!/usr/bin/env bash
# Peak resident memory of `lxmdataflow serve` while it hands out a large file.
#
# Builds nothing: it runs build/lxmdataflow (or $LXM_BIN). It writes a file
# of $FILE_MB MiB (default 60) under a served root, starts the server with
# `files_in_flight_mb = $IN_FLIGHT_MB` (default 256) and for each count in
# $CALLERS (default "1 8") calls DatasInfo.FileToVariant on it from that
# many callers at once, on a fresh server each time, and prints the replies'
# statuses, the seconds taken and the server's VmRSS after start and its
# peak (VmHWM). The replies are base64 in JSON, a third larger than the
# file; callers beyond the budget wait for earlier replies to be sent.
#
#   bash bench/file_reply_load.sh
#   CALLERS="1 4 8" IN_FLIGHT_MB=128 bash bench/file_reply_load.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
FILE_MB="${FILE_MB:-60}"
IN_FLIGHT_MB="${IN_FLIGHT_MB:-256}"
CALLERS="${CALLERS:-1 8}"

mkdir -p "$WORK/files"
head -c $((FILE_MB << 20)) /dev/urandom >"$WORK/files/big.bin"
"$BIN" init --db "$WORK/demo.db" --demo >/dev/null
cat >"$WORK/serve.toml" <<TOML
db = ["demo.db"]
lock_wait = 60
[installation]
file_roots = ["files"]
max_file_mb = $FILE_MB
files_in_flight_mb = $IN_FLIGHT_MB
TOML

call_file() {
  curl -s -o /dev/null -w '%{http_code}\n' -X POST -H 'Content-Type: application/json' \
    --data-binary "{\"args\":[\"$WORK/files/big.bin\"]}" "$URL/rpc/LXMDataFlow.DatasInfo/FileToVariant"
}
export -f call_file
export WORK

printf '%-8s %-18s %8s %12s %12s\n' "callers" "statuses" "seconds" "start KiB" "peak KiB"
for callers in $CALLERS; do
  start_server --config "$WORK/serve.toml"
  export URL
  started="$(awk '/^VmRSS:/ {print $2}' "/proc/$SERVER_PID/status")"
  begin="$(date +%s.%N)"
  statuses="$(seq 1 "$callers" | xargs -P "$callers" -I{} bash -c call_file | sort | uniq -c |
              awk '{printf "%s×%s ", $1, $2}')"
  end="$(date +%s.%N)"
  peak="$(awk '/^VmHWM:/ {print $2}' "/proc/$SERVER_PID/status")"
  printf '%-8s %-18s %8.1f %12s %12s\n' "$callers" "$statuses" "$(echo "$end - $begin" | bc)" \
    "$started" "$peak"
  kill -TERM "$SERVER_PID"
  wait "$SERVER_PID" || true
  SERVER_PID=""
done
