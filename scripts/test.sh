#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once in a
# normal build and once under AddressSanitizer and UndefinedBehaviorSanitizer
# (LeakSanitizer included). The fuzz targets run for a bounded time first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh

jobs=$(nproc)
run_suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" "$@" > /dev/null
  cmake --build "$folder" -j "$jobs"
  ctest --test-dir "$folder" --output-on-failure -j "$jobs"
}

scripts/fuzz.sh 20
echo "== normal build"
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVEXAO_SANITIZE=ON
