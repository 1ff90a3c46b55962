#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang++, in build-fuzz/) and runs each
# for a bounded time from its seed corpus; fails when any target finds a
# crash, a sanitizer report, a broken check or a hang.
#
#   FUZZ_SECONDS   seconds per target (default 15: about a minute for all)
#   FUZZ_JOBS      targets run at once (default 1)
#   FUZZ_TARGETS   which targets (default: all four)
#
# What a run learns stays in build-fuzz/corpus/<target>/ (the seeds in
# fuzz/corpus/ are only read); a failing input is saved in
# build-fuzz/artifacts/ and can be replayed: build-fuzz/fuzz_<target> FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
BUILD_DIR="${BUILD_DIR:-build-fuzz}"
SECONDS_PER_TARGET="${FUZZ_SECONDS:-15}"
JOBS="${FUZZ_JOBS:-1}"
TARGETS=(${FUZZ_TARGETS:-descriptor json_request arguments serve_config})

scripts/install_deps.sh
# The library embeds the web page, bundled by esbuild from npm.
if [ ! -f web/node_modules/.package-lock.json ] ||
   [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
  (cd web && npm ci --no-audit --no-fund)
fi
# -O1 and line tables only: quick to build, still fast to run.
cmake -S . -B "$BUILD_DIR" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Fuzz \
  "-DCMAKE_CXX_FLAGS=-O1 -gline-tables-only -Wno-unknown-warning-option" \
  -DLXM_FUZZ=ON -DLXM_BUILD_TESTS=OFF -DLXM_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "${BUILD_JOBS:-2}" --target "${TARGETS[@]/#/fuzz_}"

mkdir -p "$BUILD_DIR/artifacts" "$BUILD_DIR/logs"
run_target() {
  local target="$1"
  local corpus="$BUILD_DIR/corpus/$target"
  local dict=()
  [ -f "fuzz/$target.dict" ] && dict=("-dict=fuzz/$target.dict")
  mkdir -p "$corpus"
  # -timeout: an input taking seconds is a finding too.
  "$BUILD_DIR/fuzz_$target" "$corpus" "fuzz/corpus/$target" "${dict[@]}" \
    -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$BUILD_DIR/artifacts/$target-" \
    >"$BUILD_DIR/logs/$target.log" 2>&1
}

summary() {
  local target="$1" status="$2" log="$BUILD_DIR/logs/$1.log"
  local last execs
  last="$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)"
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  printf '%-13s %-6s execs %-9s %s; corpus %s files\n' "$target" "$status" "${execs:-?}" \
    "$(grep -oE 'cov: [0-9]+ ft: [0-9]+' <<<"$last" || true)" \
    "$(find "$BUILD_DIR/corpus/$target" -type f | wc -l)"
}

echo "== fuzzing ${TARGETS[*]}, ${SECONDS_PER_TARGET}s each"
pids=()
for target in "${TARGETS[@]}"; do
  run_target "$target" &
  pids+=($!)
  # Start no more than JOBS at once.
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do sleep 1; done
done
passed=0
failed=0
for i in "${!TARGETS[@]}"; do
  target="${TARGETS[$i]}"
  if wait "${pids[$i]}"; then
    passed=$((passed + 1))
    summary "$target" ok
  else
    failed=$((failed + 1))
    summary "$target" FAILED
    echo "--- the end of $BUILD_DIR/logs/$target.log:"
    tail -n 40 "$BUILD_DIR/logs/$target.log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
