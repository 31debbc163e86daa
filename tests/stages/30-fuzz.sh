#!/usr/bin/env bash
# The fuzz targets, built with libFuzzer (the CMake preset fuzz), each run for
# a minute from its seed corpus, the two side by side (one core each). A
# finding (a failed check, a sanitizer report, a hang, a leak) fails the stage;
# the input that caused it is written to build-fuzz/findings/ and belongs, once
# fixed, in the target's corpus.
set -euo pipefail
seconds=${BRIVEL_FUZZ_SECONDS:-60}
targets=(line_matcher_fuzzer convert_fuzzer)
cmake --preset fuzz
cmake --build build-fuzz --parallel 2
mkdir -p build-fuzz/findings
echo "--- ${targets[*]}, $seconds s each, side by side"
pids=()
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the committed one is only read.
  rm -rf "build-fuzz/corpus/$target"
  mkdir -p "build-fuzz/corpus/$target"
  "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$target-" \
    "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"build-fuzz/$target.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  log="build-fuzz/$target.log"
  if wait "${pids[$i]}"; then
    echo "--- $target"
    grep -E 'seed corpus|INITED|^Done|^stat::' "$log"
  else
    echo "--- $target: FAILED"
    cat "$log"
    failed=1
  fi
done
exit "$failed"
