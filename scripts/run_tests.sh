#!/usr/bin/env bash
# Builds and runs every test. LXM_SANITIZE=1 runs them in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh
if [ "${LXM_SANITIZE:-0}" = "1" ]; then
  export BUILD_DIR="${BUILD_DIR:-build-sanitize}"
else
  export BUILD_DIR="${BUILD_DIR:-build}"
fi
scripts/build.sh
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
