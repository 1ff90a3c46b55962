#!/usr/bin/env bash
# Soak run, not part of CI: 8 readers and 2 writers over HTTP against one
# `lxmdataflow serve` on a fresh demo account for $SECONDS_TO_RUN (default
# 300), through bench's soak_bench. It prints, every ten seconds, requests,
# errors, reads older than a commit that finished before they began, and
# the server's resident memory; then the totals. Fails on any error or stale
# read.
#
#   bash bench/soak.sh                              # SQLite, 5 minutes
#   SECONDS_TO_RUN=600 LXM_BIN=build-release/lxmdataflow bash bench/soak.sh
#   LXM_SOAK_PG='Provider=PostgreSQL;Host=...;Database=...;User ID=...' bash bench/soak.sh
#
# With LXM_SOAK_PG the account is created in that (empty) database instead.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/load_common.sh
SOAK_BIN="${LXM_SOAK_BIN:-$(dirname "$BIN")/soak_bench}"
if [ ! -x "$SOAK_BIN" ]; then
  echo "$SOAK_BIN is missing: build the benchmarks (target soak_bench)." >&2
  exit 1
fi
SECONDS_TO_RUN="${SECONDS_TO_RUN:-300}"

if [ -n "${LXM_SOAK_PG:-}" ]; then
  "$BIN" init --connect "$LXM_SOAK_PG" --demo >/dev/null
  start_server --connect "$LXM_SOAK_PG" --workers 8
  connect="$LXM_SOAK_PG"
else
  "$BIN" init --db "$WORK/demo.db" --demo >/dev/null
  start_server --db "$WORK/demo.db" --workers 8
  connect="Provider=SQLite;Data Source=$WORK/demo.db"
fi
descriptor="ConnectString={$connect};UserID=16394;LANGUAGE=en"
echo "soak: $SECONDS_TO_RUN s against $URL ($(basename "$BIN") pid $SERVER_PID)"
"$SOAK_BIN" "$URL" "$descriptor" "$SERVER_PID" "$SECONDS_TO_RUN" 8 2
