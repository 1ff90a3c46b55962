#!/usr/bin/env bash
# The main job on the embedded default: builds, creates the demo account
# database when it is missing, and serves it over HTTP/JSON on
# 127.0.0.1:8765, printing the address and two example calls. Stop it with
# Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh
scripts/build.sh
DB="${DEMO_DB:-demo/account.db}"
mkdir -p "$(dirname "$DB")"
if [ ! -f "$DB" ]; then
  build/lxmdataflow init --db "$DB" --demo
elif [ "$(sqlite3 "$DB" 'PRAGMA user_version' 2>/dev/null || true)" != "1" ]; then
  # Made by an older build: the server serves only the current schema.
  echo "Re-creating $DB: it was made for an older schema."
  build/lxmdataflow init --db "$DB" --demo --replace
fi
exec build/lxmdataflow serve --db "$DB" --example-user 16394 "$@"
