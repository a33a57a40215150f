#!/usr/bin/env bash
# Builds the library and shows it at work on its built-in examples.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build/release -j "$(nproc)" --target vexao-modes > /dev/null
build/release/tools/vexao-modes
