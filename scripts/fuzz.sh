#!/usr/bin/env bash
# Builds the libFuzzer targets natively with clang and runs each for a bounded
# time on a copy of its seed corpus in fuzz/corpus/. New inputs that found new
# paths are kept in build/fuzz/corpus/ for a developer to merge.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
scripts/setup-machine.sh

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXAO_FUZZ=ON > /dev/null
targets=$(sed -n 's/^ *vexao_fuzz_target(\([a-z_]*\).*/\1/p' fuzz/CMakeLists.txt)
for target in $targets; do
  cmake --build build/fuzz -j "$(nproc)" --target "${target}_fuzz" > /dev/null
done

for target in $targets; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  log=build/fuzz/$target.log
  echo "== fuzzing $target for ${seconds}s"
  status=0
  build/fuzz/fuzz/"${target}_fuzz" -max_total_time="$seconds" -artifact_prefix=build/fuzz/ -print_final_stats=1 "$corpus" > "$log" 2>&1 ||
    status=$?
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" || true
  if [[ $status -ne 0 ]]; then
    tail -n 60 "$log"
    echo "fuzz: $target failed; the input that broke it is in build/fuzz (crash-*)" >&2
    exit 1
  fi
done
