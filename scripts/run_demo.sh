#!/usr/bin/env bash
# The main job on the embedded default: builds, creates the demo account
# database and prints the tree user 16394 sees in English.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh
scripts/build.sh
DB="${DEMO_DB:-demo/account.db}"
mkdir -p "$(dirname "$DB")"
build/lxmdataflow init --db "$DB" --demo --replace
build/lxmdataflow tree --db "$DB" --user 16394 --lang en
