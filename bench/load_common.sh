# Shared by the load scripts (sourced from the repository's root): the
# binary, wrk, a temporary folder $WORK removed on exit with the server, and
# start_server, which serves on a free loopback port and sets $URL.
#
#   cd "$(dirname "$0")/.." && source bench/load_common.sh

BIN="${LXM_BIN:-build/lxmdataflow}"
if [ ! -x "$BIN" ]; then
  echo "$BIN is missing: build first (bash scripts/build.sh)." >&2
  exit 1
fi
if ! command -v wrk >/dev/null; then
  echo "wrk is missing: bash scripts/install_deps.sh (or apt-get install wrk)." >&2
  exit 1
fi

WORK="$(mktemp -d)"
SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ] && kill -0 "$SERVER_PID" 2>/dev/null; then
    kill -TERM "$SERVER_PID"
    wait "$SERVER_PID" || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# start_server SERVE-ARGS...: starts `serve` with them and waits until it
# prints its address (into $URL); the log is $WORK/serve.log.
start_server() {
  "$BIN" serve "$@" --bind 127.0.0.1 --port 0 >"$WORK/serve.log" 2>&1 &
  SERVER_PID=$!
  URL=""
  for _ in $(seq 1 100); do
    URL="$(sed -n 's/^LXMDataFlow serving \(http:[^ ]*\).*/\1/p' "$WORK/serve.log")"
    [ -n "$URL" ] && return 0
    if ! kill -0 "$SERVER_PID" 2>/dev/null; then
      cat "$WORK/serve.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "The server did not start:" >&2
  cat "$WORK/serve.log" >&2
  exit 1
}

# write_post_script FILE: a wrk script that POSTs the body in the file
# $LXM_BODY_FILE names and, at the end, prints one summary line: req/s, p50,
# p90, p99 and p99.9 latency in microseconds, KiB per reply, failed requests.
write_post_script() {
  cat >"$1" <<'LUA'
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
local file = io.open(os.getenv("LXM_BODY_FILE"), "r")
wrk.body = file:read("*a")
file:close()

function done(summary, latency, requests)
  local seconds = summary.duration / 1e6
  local failed = summary.errors.status + summary.errors.connect + summary.errors.read +
                 summary.errors.write + summary.errors.timeout
  io.write(string.format("%.0f %.0f %.0f %.0f %.0f %.1f %d\n", summary.requests / seconds,
    latency:percentile(50), latency:percentile(90), latency:percentile(99),
    latency:percentile(99.9), summary.bytes / summary.requests / 1024, failed))
end
LUA
}
