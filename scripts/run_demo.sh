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
[ -f "$DB" ] || build/lxmdataflow init --db "$DB" --demo
exec build/lxmdataflow serve --db "$DB" --example-user 16394 "$@"
