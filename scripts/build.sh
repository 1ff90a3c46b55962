#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default build/). LXM_SANITIZE=1 builds
# with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
SANITIZE="${LXM_SANITIZE:-0}"
JOBS="${JOBS:-$(nproc)}"
# The web page is bundled by esbuild from npm (web/package-lock.json): install
# it when missing or when the lock file changed since.
if [ ! -f web/node_modules/.package-lock.json ] ||
   [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
  (cd web && npm ci --no-audit --no-fund)
fi
if [ "$SANITIZE" = "1" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DLXM_SANITIZE=ON -DLXM_BUILD_BENCH=OFF >/dev/null
else
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD_DIR" -j "$JOBS"
