#!/usr/bin/env bash
# Builds the benchmarks in an optimised build and runs them, for the
# machine's own architecture or, with --i386 first, for the i386 drop-in.
# With --filter it times the CUPS filter against Ghostscript instead
# (bench/filter_bench.sh). Other arguments go to the benchmark program:
#   scripts/bench.sh --benchmark_filter=packbits --benchmark_repetitions=5
#   scripts/bench.sh --i386 --benchmark_filter='page/'
#   scripts/bench.sh --filter
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
folder=build/bench
toolchain=()
if [[ ${1:-} == --i386 ]]; then
  shift
  folder=build/bench-i386
  toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i386.cmake)
fi
cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DVEXAO_TESTS=OFF -DVEXAO_BENCHMARKS=ON "${toolchain[@]}" > /dev/null
if [[ ${1:-} == --filter ]]; then
  scripts/apt-install.sh time
  cmake --build "$folder" -j "$(nproc)" --target rastertovexao vexao_ppds vexao-print
  exec bench/filter_bench.sh "$folder"
fi
cmake --build "$folder" -j "$(nproc)" --target vexao_bench
exec "$folder"/bench/vexao_bench "$@"
