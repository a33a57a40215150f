#!/usr/bin/env bash
# Builds the benchmarks in an optimised build and runs them.
# Extra arguments go to the benchmark program, for example
#   scripts/bench.sh --benchmark_filter=packbits --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVEXAO_TESTS=OFF -DVEXAO_BENCHMARKS=ON > /dev/null
cmake --build build/bench -j 2 --target vexao_bench
exec build/bench/bench/vexao_bench "$@"
