#!/usr/bin/env bash
# The house's rooms include only what they stand on: the library nothing
# above it, the driver layer no front end, and each front end (cups/,
# printer-app/, tools/) the driver and the library but not another front end.
#   layering.sh SOURCE_DIR
set -euo pipefail
cd "$1"
library="output command compress toolbox"
declare -A allowed=(
  [output]="$library" [command]="$library" [compress]="$library" [toolbox]="$library"
  [driver]="$library driver"
  [cups]="$library driver cups"
  [printer-app]="$library driver printer-app"
  [tools]="$library driver tools"
)
faults=0
for room in "${!allowed[@]}"; do
  while IFS= read -r found; do
    file=${found%%:*} included=${found#*\"}
    [[ " ${allowed[$room]} " == *" ${included%%/*} "* ]] && continue
    echo "layering: $file includes \"$included\", outside what $room/ stands on" >&2
    faults=$((faults + 1))
  done < <(grep -rE '^#include "[a-z-]+/' --include='*.h' --include='*.cpp' "$room" | sed 's/"\([^"]*\)".*/"\1/')
done
[[ $faults -eq 0 ]] && echo "layering: every room includes only what it stands on"
exit $((faults > 0))
