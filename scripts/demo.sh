#!/usr/bin/env bash
# The main job on its built-in example: prints the test page through the
# library in one line-by-line mode and one banded mode, decodes both streams
# with the inspector, and leaves the PNG previews in demo-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build/release -j "$(nproc)" --target vexao-print vexao-inspect > /dev/null

out=demo-output
rm -rf "$out"
mkdir -p "$out"
run_mode() {
  local name=$1 description=$2
  shift 2
  echo "== $description ($*)"
  build/release/tools/vexao-print "$@" --test-page -o "$out/$name.prn" 2>&1
  build/release/tools/vexao-inspect "$@" --out "$out/$name" "$out/$name.prn" | tail -n 1
}
run_mode line-by-line "line by line, four inks at five levels, 600 dpi" --model I --raster-mode 0 --resolution 600
run_mode bands "16-line bands, six inks at five levels, 600 dpi" --model j --raster-mode 0 --resolution 600
echo "previews: $out/line-by-line/page-001-preview.png $out/bands/page-001-preview.png"
