#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default build/). LXM_SANITIZE=1 builds
# with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
SANITIZE="${LXM_SANITIZE:-0}"
JOBS="${JOBS:-$(nproc)}"
if [ "$SANITIZE" = "1" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DLXM_SANITIZE=ON -DLXM_BUILD_BENCH=OFF >/dev/null
else
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD_DIR" -j "$JOBS"
