#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the machine's own
# build, the same under AddressSanitizer and UndefinedBehaviorSanitizer
# (LeakSanitizer included), the i386 drop-in for 32-bit hosts, and the arm64
# build under qemu-user. The fuzz targets run for a bounded time first.
# Warnings are errors here, though not in a plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh

jobs=$(nproc)
run_suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -DVEXAO_WERROR=ON "$@" > /dev/null
  cmake --build "$folder" -j "$jobs"
  ctest --test-dir "$folder" --output-on-failure -j "$jobs"
}

started=$SECONDS
scripts/fuzz.sh 20
echo "== the machine's own build"
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVEXAO_SANITIZE=ON
echo "== i386 build"
run_suite build/i386 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i386.cmake
echo "== arm64 build, tests under qemu-user"
run_suite build/arm64 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64.cmake
echo "== every test passed in $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s"
