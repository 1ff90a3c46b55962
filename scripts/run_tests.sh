#!/usr/bin/env bash
# Builds and runs every test. LXM_SANITIZE=1 runs them in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-sanitize/).
#
# The suite runs twice: on SQLite, then on PostgreSQL (LXM_TEST_BACKEND=postgres:
# every test's account is a fresh database on the server). The server is a
# throwaway cluster started here (on a Unix socket in a temporary folder) and
# stopped whatever the outcome; with LXM_TEST_PG already set the tests use
# that server instead (its user must be allowed to create databases). The plain
# build then runs the web page's browser tests (web/tests/).
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
echo "== the tests on SQLite"
ctest --output-on-failure -j "$(nproc)"
echo "== the tests on PostgreSQL"
LXM_TEST_BACKEND=postgres ctest --output-on-failure -j "$(nproc)"
if [ "${LXM_SANITIZE:-0}" != "1" ]; then
  echo "== the web page in headless Chromium"
  node "$root/web/tests/e2e.mjs" "$(pwd)/lxmdataflow"
fi
