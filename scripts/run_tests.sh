#!/usr/bin/env bash
# Builds and runs every test. LXM_SANITIZE=1 runs them in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-sanitize/).
#
# The PostgreSQL tests run on a throwaway cluster started here (on a Unix
# socket in a temporary folder) and stopped whatever the outcome; with
# LXM_TEST_PG already set they use that database instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
scripts/install_deps.sh
if [ "${LXM_SANITIZE:-0}" = "1" ]; then
  export BUILD_DIR="${BUILD_DIR:-build-sanitize}"
else
  export BUILD_DIR="${BUILD_DIR:-build}"
fi
scripts/build.sh

if [ -z "${LXM_TEST_PG:-}" ]; then
  pg_dir="$(mktemp -d /tmp/lxm-pg.XXXXXX)"
  # The tests run from the build folder: the trap names the script whole.
  trap '"$root/scripts/pg_cluster.sh" stop "$pg_dir"' EXIT
  LXM_TEST_PG="$("$root/scripts/pg_cluster.sh" start "$pg_dir")"
  export LXM_TEST_PG
fi

cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
