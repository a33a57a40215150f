#!/usr/bin/env bash
# Times the CUPS filter against the renderer in front of it. Ghostscript's
# cups device renders fixed A4 documents at 600 dpi to CMYK raster, as CUPS
# has it do, and the filter turns that raster into the printer stream; each
# is timed on the same documents in the same run (best of three), and the
# ratio of the two is the figure that counts. Also the filter's time per page
# and per megapixel, its peak memory, and vexao-print's time for the test
# page.
#   filter_bench.sh BUILD_FOLDER
set -euo pipefail
build=$1
filter=$build/cups/rastertovexao ppds=$build/cups/ppd print=$build/tools/vexao-print
work=$(mktemp -d /tmp/vexao-filter-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Four pages: text, full-page colour gradients, a blank page, a thin frame.
cat > "$work/document.ps" <<'PS'
%!PS
<< /PageSize [595 842] >> setpagedevice
/Helvetica findfont 11 scalefont setfont
50 800 -14 60 { 50 exch moveto (The quick brown fox jumps over the lazy dog, again and again, in eleven point text.) show } for
0 0.8 0.8 0 setcmykcolor 50 40 moveto (A line in red.) show
showpage
/band { % y height coords c0 c1 ->
  /c1 exch def /c0 exch def /coords exch def
  gsave 0 3 1 roll 595 exch rectclip
  << /ShadingType 2 /ColorSpace /DeviceCMYK /Coords coords /Extend [true true]
     /Function << /FunctionType 2 /Domain [0 1] /C0 c0 /C1 c1 /N 1 >> >> shfill
  grestore
} def
0 210 [0 0 595 0] [0 0 0 0] [1 0 0 0] band
210 211 [0 0 595 0] [0 0 0 0] [0 1 0 0] band
421 210 [0 0 595 0] [0 0 0 0] [0 0 1 0] band
631 211 [0 631 0 842] [0 0.2 0.6 0] [0.8 0.4 0 0.6] band
showpage
showpage
0.5 setlinewidth 0 setgray 18 18 559 806 rectstroke
showpage
PS

best_of_three() {  # prints the best wall time and the largest peak memory in KiB
  local best="" peak=0 run
  for run in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2> "$work/stderr" || { cat "$work/stderr" >&2; return 1; }
    read -r seconds kib < "$work/time"
    if [[ -z $best ]] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$seconds; fi
    (( kib > peak )) && peak=$kib
  done
  echo "$best $peak"
}

render() {  # NAME, then extra Ghostscript settings
  local name=$1
  shift
  best_of_three gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r600 -dcupsColorSpace=6 -dcupsBitsPerColor=8 \
    -dcupsColorOrder=0 "$@" -sOutputFile="$work/$name.ras" "$work/document.ps"
}

pages=4
megapixels=$(awk 'BEGIN { printf "%.1f", 4 * 4960 * 7016 / 1e6 }')
echo "document: $pages A4 pages at 600 dpi (text, gradients, blank, frame), CMYK 8 bits, $megapixels megapixels"
read -r gs_time _ < <(render four-inks -dcupsInteger1=15)
render six-inks -dcupsInteger1=5 -dcupsInteger4=1 > /dev/null
echo "Ghostscript's cups device: $gs_time s"
met=yes
for mode in four-inks six-inks; do
  read -r seconds kib < <(PPD=$ppds/vexao105-band.ppd best_of_three "$filter" 1 user bench 1 "" "$work/$mode.ras")
  ratio=$(awk -v a="$seconds" -v b="$gs_time" 'BEGIN { printf "%.2f", a / b }')
  awk -v s="$seconds" -v r="$ratio" -v p="$pages" -v m="$megapixels" -v k="$kib" -v mode="$mode" 'BEGIN {
    printf "rastertovexao, %s: %.2f s, %.2f x Ghostscript, %.0f ms a page, %.2f ms a megapixel, peak %.1f MB\n",
           mode, s, r, 1000 * s / p, 1000 * s / m, k / 1024 }'
  awk -v r="$ratio" 'BEGIN { exit !(r > 0.5) }' && met=no
  [[ $mode == six-inks ]] && (( kib > 64 * 1024 )) && met=no
done
read -r seconds _ < <(best_of_three "$print" --model j --raster-mode 0 --resolution 600 --test-page -q -o /dev/null)
echo "vexao-print --test-page at 600 dpi, six inks: $seconds s"
echo "target: filter at most half of Ghostscript's time, peak under 64 MB with six inks: $([[ $met == yes ]] && echo met || echo MISSED)"
