#!/usr/bin/env bash
# Resident memory of `lxmdataflow serve` against its cache bound.
#
# Builds nothing: it runs build/lxmdataflow (or $LXM_BIN). It creates a demo
# account and a synthetic one (5,10,20,20: 20,000 detail functions), gives
# each of the synthetic account's 300 users $OWN_ROWS own detail rows (so
# that every user's levels are worth caching), then for each bound in
# $CACHE_MBS (default "1 16") starts the server, lists every level and the
# template for the first user (warm-up), then the detail level (which caches
# all of a user's levels) for all $USERS users in turn, $PARALLEL callers at
# a time, and prints the server's VmRSS after start, after warm-up, after
# the run and $SETTLE seconds later, and its peak (VmHWM) over the whole run.
# The demo account's RSS right after start comes first.
#
# The first bound's run (1 MiB by default) makes the same calls with almost
# nothing cached: its peak less that bound is the fixed overhead (what the
# process holds beside its cache: code, database handles, threads, and the
# calls under way with what they read and send), and each later bound B is
# checked against B MiB plus it, at its peak, after the run and settled. The
# template of 20,000 functions is larger than 16 MiB by the cache's
# estimate: below that bound every call reads it (callers at the same time
# share one read) and lets it go, so that read is part of the overhead.
#
#   bash bench/memory_load.sh
#   CACHE_MBS="1 16 64" SERVE_ENV="MALLOC_ARENA_MAX=2" bash bench/memory_load.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
CACHE_MBS="${CACHE_MBS:-1 16}"
USERS="${USERS:-300}"
OWN_ROWS="${OWN_ROWS:-500}"
PARALLEL="${PARALLEL:-4}"
SETTLE="${SETTLE:-3}"
# Extra environment for the server, e.g. "MALLOC_ARENA_MAX=2" (blank-separated).
SERVE_ENV="${SERVE_ENV:-}"

"$BIN" init --db "$WORK/demo.db" --demo >/dev/null
"$BIN" init --db "$WORK/synthetic.db" --synthetic 5,10,20,20 >/dev/null
sqlite3 "$WORK/synthetic.db" "WITH RECURSIVE users(id) AS (SELECT 20001 UNION ALL
  SELECT id + 1 FROM users WHERE id < 20000 + $USERS)
  INSERT OR IGNORE INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName,
  FFuncName_CHT, FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable)
  SELECT d.FDetailFuncID, users.id, d.FSubFuncID, d.FIndex, d.FFuncName || ' ' || users.id,
  d.FFuncName_CHT, d.FFuncName_EN || ' ' || users.id, d.FClassName, d.FClassParam, d.FVisible,
  d.FHelpCode, d.FEnable
  FROM users, (SELECT * FROM t_DataFlowDetailFunc ORDER BY FDetailFuncID LIMIT $OWN_ROWS) d"

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$SERVER_PID/status"; }
peak_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$SERVER_PID/status"; }

stop_server() {
  kill -TERM "$SERVER_PID"
  wait "$SERVER_PID" || true
  SERVER_PID=""
}

# start_server with $SERVE_ENV in the server's environment.
start_with_env() {
  if [ -n "$SERVE_ENV" ]; then
    # shellcheck disable=SC2086
    export $SERVE_ENV
  fi
  start_server "$@"
  for assignment in $SERVE_ENV; do unset "${assignment%%=*}"; done
}

descriptor() {  # path user
  printf 'ConnectString={Provider=SQLite;Data Source=%s};UserID=%s;LANGUAGE=en' "$1" "$2"
}

# call_levels USER CALL...: the calls ("Class/Method" with the descriptor
# as only argument, "Class/Method 0" with a 0 after it) for the user, in one
# curl; fails on any status but 200.
call_levels() {
  local user="$1" dsn args=()
  shift
  dsn="\"$(descriptor "$WORK/synthetic.db" "$user")\""
  for call in "$@"; do
    local extra=""
    [ "${call#* }" != "$call" ] && extra=",${call#* }"
    [ ${#args[@]} -gt 0 ] && args+=(--next)
    args+=(-s -o /dev/null -w '%{http_code}\n' -X POST -H 'Content-Type: application/json'
           --data-binary "{\"args\":[$dsn$extra]}" "$URL/rpc/LXMDataFlow.${call%% *}")
  done
  local statuses
  statuses="$(curl "${args[@]}")"
  if [ "$(printf '%s\n' "$statuses" | sort -u)" != "200" ]; then
    echo "user $user: HTTP $(printf '%s' "$statuses" | tr '\n' ' ')" >&2
    return 1
  fi
}
export -f call_levels descriptor
export WORK

start_with_env --db "$WORK/demo.db"
echo "demo account, after start: $(rss_kib) KiB"
stop_server

printf '%-9s %12s %12s %16s %12s %12s\n' "cache MiB" "start KiB" "warm-up KiB" "$USERS users KiB" \
  "${SETTLE}s later" "peak KiB"
for mb in $CACHE_MBS; do
  start_with_env --db "$WORK/synthetic.db" --cache-mb "$mb"
  export URL
  started="$(rss_kib)"
  call_levels 20001 DatasInfo/GetTopClass "DatasInfo/GetSubSystem 0" "DatasInfo/GetSubFunc 0" \
    "DatasInfo/GetDetailFunc 0" clsDataInfo/GetTemplate
  warm="$(rss_kib)"
  # Each listing caches all of the caller's levels (and the template's) and
  # sends the largest.
  seq 20001 $((20000 + USERS)) |
    timeout 900 xargs -P "$PARALLEL" -I{} bash -c 'call_levels {} "DatasInfo/GetDetailFunc 0"'
  after="$(rss_kib)"
  # The server gives freed memory back about a second after the last call
  # that loaded from the database.
  sleep "$SETTLE"
  settled="$(rss_kib)"
  peak="$(peak_kib)"
  printf '%-9s %12s %12s %16s %12s %12s\n' "$mb" "$started" "$warm" "$after" "$settled" "$peak"
  stop_server
  # The first bound's run gives the overhead: its peak less its full cache.
  if [ -z "${overhead_kib:-}" ]; then
    overhead_kib=$((peak - mb * 1024))
    echo "  overhead: $overhead_kib KiB"
  else
    limit=$((mb * 1024 + overhead_kib))
    for figure in "$peak" "$after" "$settled"; do
      verdict="within"
      [ "$figure" -gt "$limit" ] && verdict="OVER"
      printf '  %s KiB against %s MiB + overhead = %s KiB: %s\n' "$figure" "$mb" "$limit" "$verdict"
    done
  fi
done
