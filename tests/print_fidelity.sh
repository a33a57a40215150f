#!/usr/bin/env bash
# Print fidelity: a page of text, line art, gradients and a smooth photo-like
# picture, printed in every quality and colour model of both PPDs, decoded and
# compared with Ghostscript's contone rendering of the same page in cells of
# 1 mm (vexao_fidelity_check says how).
#   print_fidelity.sh filter FILTER PPD_FOLDER CHECK
#   print_fidelity.sh printer-app APP PPD_FOLDER CHECK
# "filter" renders each page with Ghostscript's cups device, set as the PPD's
# choices set it, and runs the filter on it with PPD= pointing at the PPD.
# "printer-app" starts a private printer application with a printer of the
# case's model for each case, on a folder device, and prints the page as PWG
# raster (CMYK, or sGray for grey) with the print-quality, print-color-mode
# and vexao-light-inks of the case, at another resolution than the quality
# prints at where it can be scaled (sent_resolution).
# Each quality prints at its own resolution (300 dpi for Draft, 600 for the
# others: the Resolution choice its PPD keeps with it), and the pages
# alternate between A4 and Letter. Two cases run at a time.
# Exits 77, which ctest counts as skipped, without Ghostscript or, for the
# printer application, ipptool.
set -euo pipefail
support=$(dirname "${BASH_SOURCE[0]}")/support
source "$support/ppd_choices.sh"
source "$support/printer_app_server.sh"
path=$1 program=$2 ppds=$3 check=$4
name="print fidelity ($path)"
skip() { echo "$name: skipped: $*"; exit 77; }
if [[ $path != filter && $path != printer-app ]]; then
  echo "usage: print_fidelity.sh filter|printer-app PROGRAM PPD_FOLDER CHECK" >&2
  exit 2
fi
command -v gs > /dev/null || skip "Ghostscript is not installed"
[[ $path == filter ]] || command -v ipptool > /dev/null || skip "ipptool (cups-ipp-utils) is missing"
started=$SECONDS

work=$(mktemp -d /tmp/vexao-fidelity-XXXXXX)
server_pid= case_pids=()
cleanup() {
  stop_processes "${case_pids[@]}" $server_pid
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$name: $*" >&2
  exit 1
}

# The page, for a sheet of WIDTH x HEIGHT points. Marks in the four corners
# make the printed ink span the sheet; the rest is laid out from the top, in
# process colours, grey, RGB and a Ghostscript font or two.
write_page() {  # FILE WIDTH HEIGHT
  cat > "$1" <<PAGE
%!PS
<< /PageSize [$2 $3] >> setpagedevice
/W $2 def /H $3 def
0 0 0 1 setcmykcolor
0 0 12 12 rectfill W 12 sub 0 12 12 rectfill 0 H 12 sub 12 12 rectfill W 12 sub H 12 sub 12 12 rectfill
0 H 842 sub translate
PAGE
  cat >> "$1" <<'PAGE'
% Text: a heading, body text, small print and grey text.
/Helvetica-Bold findfont 28 scalefont setfont
0.9 0.5 0 0 setcmykcolor 48 700 moveto (Colour fidelity) show
/Times-Roman findfont 11 scalefont setfont 0 0 0 1 setcmykcolor
0 1 5 { 13 mul 680 exch sub 48 exch moveto (The quick brown fox jumps over the lazy dog 0123456789) show } for
/Courier findfont 7 scalefont setfont 0 0.8 0.9 0 setcmykcolor
48 590 moveto (Small print in red: every letter must land where it was drawn.) show
0.5 setgray /Helvetica findfont 9 scalefont setfont 330 640 moveto (Grey text, half tone) show
% Line art: strokes from 0.1 to 2.1 points, circles, hairlines, an RGB star.
0 1 10 { dup 0.2 mul 0.1 add setlinewidth 0 0 0 1 setcmykcolor
         16 mul 48 add 450 moveto 40 120 rlineto stroke } for
1 0 0 0 setcmykcolor 2 setlinewidth newpath 330 510 60 0 360 arc stroke
0 1 0 0 setcmykcolor newpath 420 510 40 0 360 arc fill
0 0 1 0 setcmykcolor 0.5 setlinewidth 0 6 60 { 470 add 460 moveto 0 100 rlineto stroke } for
gsave 0.2 0.6 0.3 setrgbcolor 520 610 translate
  newpath 0 30 moveto 4 { 144 rotate 0 30 lineto } repeat closepath fill grestore
% Gradients: each ink from none to full, then cyan with magenta.
/ramp { /colour exch def /y exch def
  << /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [48 0 548 0] /Extend [false false]
     /Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 colour /N 1 >> >>
  gsave newpath 48 y 500 24 rectclip shfill grestore } def
400 [1 0 0 0] ramp 372 [0 1 0 0] ramp 344 [0 0 1 0] ramp 316 [0 0 0 1] ramp 288 [0.7 0.7 0 0] ramp
% A photo-like picture: smooth RGB waves, 200 x 130 samples over 330 x 215 points.
/pictureWidth 200 def /pictureHeight 130 def /row pictureWidth 3 mul string def /y 0 def
/sample { 0.5 add 255 mul cvi dup 0 lt { pop 0 } if dup 255 gt { pop 255 } if } def
gsave 48 60 translate 330 215 scale
pictureWidth pictureHeight 8 [pictureWidth 0 0 pictureHeight neg 0 pictureHeight]
{ 0 1 pictureWidth 1 sub { /x exch def
    row x 3 mul x 2.1 mul sin y 2.9 mul cos mul 0.45 mul sample put
    row x 3 mul 1 add x y add 1.3 mul sin 0.4 mul x 0.2 mul sub y 0.1 mul add sample put
    row x 3 mul 2 add x y sub 1.7 mul cos 0.45 mul sample put } for
  /y y 1 add def row }
false 3 colorimage grestore
showpage
PAGE
}
write_page "$work/A4.ps" 595 842
write_page "$work/Letter.ps" 612 792

# The cases: every quality and colour model of each PPD that the PPD does
# not keep apart, as "PPD|CHOICES|COLOUR-MODEL|QUALITY|DPI|PAPER".
choices_of() {  # PPD OPTION
  ppd_options "$1" | awk -v option="$2" '$1 == option { $1 = ""; print }'
}
cases=()
for ppd in "$ppds"/vexao105-*.ppd; do
  for quality in $(choices_of "$ppd" VexaoQuality); do
    dpi=$(printed_resolution "$ppd" "$quality")
    for colour in $(choices_of "$ppd" ColorModel); do
      ppd_constrained "$ppd" "ColorModel=$colour" "VexaoQuality=$quality" && continue
      choices="ColorModel=$colour VexaoQuality=$quality"
      [[ " $(choices_of "$ppd" Resolution) " == *" ${dpi}dpi "* ]] && choices="Resolution=${dpi}dpi $choices"
      paper=A4
      (( ${#cases[@]} % 2 == 1 )) && paper=Letter
      cases+=("$ppd|$choices|$colour|$quality|$dpi|$paper")
    done
  done
done
(( ${#cases[@]} > 0 )) || fail "no PPDs in $ppds"

# Runs `$1 INDEX` for every case, two at a time. The waits name the cases
# that run: the printer application's server runs in the background too.
for_each_case() {  # FUNCTION
  local index finished pid running
  case_pids=()
  for index in "${!cases[@]}"; do
    "$1" "$index" &
    case_pids+=($!)
    while (( ${#case_pids[@]} >= 2 )); do
      wait -n -p finished "${case_pids[@]}" || true
      running=()
      for pid in "${case_pids[@]}"; do [[ $pid == "$finished" ]] || running+=("$pid"); done
      case_pids=("${running[@]}")
    done
  done
  wait "${case_pids[@]}" || true
  case_pids=()
}

# Ghostscript's renderings, once for each paper, resolution and ink set: the
# contone references (8-bit CMYK, or grey for grey pages) and, for the
# printer application, the PWG raster it is sent.
gs_render() {  # DOCUMENT DEVICE OUTPUT OPTION...
  local document=$1 device=$2 output=$3
  shift 3
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$device" "$@" -sOutputFile="$output" "$document" > "$output.log" 2>&1 ||
    echo "Ghostscript cannot render $(basename "$output"): $(cat "$output.log")" > "$output.failed"
}
inks_of() { [[ $1 == Gray ]] && echo grey || echo cmyk; }
# The resolution the application is sent a case's page at. Pages at another
# resolution than their quality's are scaled by a whole factor: normal
# quality is sent at 300 dpi and printed at 600, draft sent at 600 and
# printed at 300, photo sent as it prints.
sent_resolution() {  # QUALITY DPI
  case $1 in Draft) echo 600 ;; Normal) echo 300 ;; *) echo "$2" ;; esac
}
# Whether an earlier case than INDEX has the same paper, inks and the
# resolution that KIND (reference or sent) names: that case renders the file.
rendered_earlier() {  # INDEX KIND
  local ppd choices colour quality dpi paper other
  IFS='|' read -r ppd choices colour quality dpi paper <<< "${cases[$1]}"
  local key="$paper/$(inks_of "$colour")/$dpi"
  [[ $2 == sent ]] && key="$paper/$(inks_of "$colour")/$(sent_resolution "$quality" "$dpi")"
  for other in "${cases[@]:0:$1}"; do
    IFS='|' read -r ppd choices colour quality dpi paper <<< "$other"
    local other_key="$paper/$(inks_of "$colour")/$dpi"
    [[ $2 == sent ]] && other_key="$paper/$(inks_of "$colour")/$(sent_resolution "$quality" "$dpi")"
    [[ $other_key == "$key" ]] && return 0
  done
  return 1
}
render_references() {  # INDEX
  local ppd choices colour quality dpi paper inks sent
  IFS='|' read -r ppd choices colour quality dpi paper <<< "${cases[$1]}"
  inks=$(inks_of "$colour") sent=$(sent_resolution "$quality" "$dpi")
  local device=tiff32nc space=6
  [[ $inks == grey ]] && device=tiffgray space=18
  rendered_earlier "$1" reference ||
    gs_render "$work/$paper.ps" $device "$work/$paper-$dpi-$inks.tif" -r"$dpi" -sCompression=pack
  [[ $path == filter ]] || rendered_earlier "$1" sent ||
    gs_render "$work/$paper.ps" pwgraster "$work/$paper-$sent-$inks.pwg" -r"$sent" -dcupsColorSpace=$space -dcupsBitsPerColor=8
}
for_each_case render_references
if compgen -G "$work/*.failed" > /dev/null; then fail "$(cat "$work"/*.failed)"; fi

# Compares a case's printed stream with its reference; the verdict and the
# figures go to WORK/case-INDEX.result.
check_case() {  # INDEX STREAM
  local ppd choices colour quality dpi paper result=$work/case-$1.result
  IFS='|' read -r ppd choices colour quality dpi paper <<< "${cases[$1]}"
  # shellcheck disable=SC2046
  if "$check" $(mode_options "$ppd" "$choices") --colour-model "$colour" \
       --page "$paper=$work/$paper-$dpi-$(inks_of "$colour").tif" "$2" > "$result.figures" 2>&1; then
    echo pass > "$result"
  else
    echo fail > "$result"
  fi
}

# Through the filter: the cups device set as the choices set it, the filter
# with the PPD.
print_through_filter() {  # INDEX
  local ppd choices colour quality dpi paper stream=$work/case-$1.prn
  IFS='|' read -r ppd choices colour quality dpi paper <<< "${cases[$1]}"
  local options
  mapfile -t options < <(ghostscript_options "$ppd" "$choices")
  if ! gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r"$dpi" "${options[@]}" -sOutputFile=- "$work/$paper.ps" \
         2> "$stream.gs.log" | PPD=$ppd "$program" "$(($1 + 1))" fidelity "case $1" 1 "" > "$stream" 2> "$stream.log"; then
    { echo "the filter or Ghostscript failed:"; grep -h ERROR "$stream.log" "$stream.gs.log"; } > "$work/case-$1.result.figures"
    echo fail > "$work/case-$1.result"
    return 0
  fi
  check_case "$1" "$stream"
}

# Through the printer application: the case's job on a printer of its own,
# since a printer refuses a raster job while it prints another, which writes
# it to SPOOL/case-INDEX/page.prn.
ipp_quality() { case $1 in Draft) echo 3 ;; Photo) echo 5 ;; *) echo 4 ;; esac; }
print_through_app() {  # INDEX
  local ppd choices colour quality dpi paper printer=case-$1 job state="" _
  IFS='|' read -r ppd choices colour quality dpi paper <<< "${cases[$1]}"
  local mode=color light=false
  [[ $colour == Gray ]] && mode=monochrome
  [[ $colour == KCMYcm ]] && light=true
  local sent
  sent=$(sent_resolution "$quality" "$dpi")
  job=$(ipptool -t -T 60 -f "$work/$paper-$sent-$(inks_of "$colour").pwg" -d jobname=page -d copies=1 -d filetype=image/pwg-raster \
          -d quality="$(ipp_quality "$quality")" -d colormode=$mode -d resolution="${sent}dpi" -d lightinks=$light \
          "$server/$printer" "$test_folder/printer_app_print_settings.test" 2>&1 |
          sed -n 's/.*job-id (integer) = //p' | head -n 1 || true)
  if [[ -n $job ]]; then
    for _ in $(seq 600); do
      ipptool -t -T 5 -d job_id="$job" "$server/$printer" "$test_folder/printer_app_job_state.test" > "$work/case-$1.state" 2>&1 || true
      state=$(sed -n 's/.*job-state (enum) = //p' "$work/case-$1.state")
      [[ $state =~ ^(completed|canceled|aborted)$ ]] && break
      sleep 0.1
    done
  fi
  if [[ $state != completed ]]; then
    touch "$work/a-job-failed"
    { echo "the job ${job:-was refused and} ended ${state:-unfinished}"
      sed -n 's/.*job-state-message ([a-zA-Z]*) = //p' "$work/case-$1.state" 2>/dev/null || true
    } > "$work/case-$1.result.figures"
    echo fail > "$work/case-$1.result"
    return 0
  fi
  check_case "$1" "$spool/$printer/page.prn"
}

if [[ $path == filter ]]; then
  for_each_case print_through_filter
else
  test_folder=$(dirname "${BASH_SOURCE[0]}")
  start_printer_app "$program" "$work"
  for index in "${!cases[@]}"; do
    ppd=${cases[index]%%|*}
    mkdir "$spool/case-$index"
    "$program" add -d "case-$index" -v "file://$spool/case-$index/" -m "$(basename "$ppd" .ppd)" > /dev/null ||
      fail "cannot add a printer for case $index"
  done
  for_each_case print_through_app
fi

failed=()
for index in "${!cases[@]}"; do
  IFS='|' read -r ppd choices colour quality dpi paper <<< "${cases[$index]}"
  verdict=$(cat "$work/case-$index.result" 2>/dev/null || echo fail)
  sent=""
  [[ $path == filter || $(sent_resolution "$quality" "$dpi") == "$dpi" ]] || sent=", sent at $(sent_resolution "$quality" "$dpi") dpi"
  echo "$name: $(basename "$ppd" .ppd) $quality $colour, $paper at $dpi dpi$sent: $verdict"
  sed 's/^/    /' "$work/case-$index.result.figures" 2>/dev/null || true
  [[ $verdict == pass ]] || failed+=("$(basename "$ppd" .ppd) $quality $colour")
done
elapsed=$((SECONDS - started))
if (( ${#failed[@]} > 0 )); then
  [[ ! -e $work/a-job-failed ]] || show_server_trouble
  list=$(IFS=,; echo "${failed[*]}")
  fail "${#failed[@]} of ${#cases[@]} cases are not faithful to the page: ${list//,/, } ($elapsed s)"
fi
echo "$name: all ${#cases[@]} cases faithful to the page in $elapsed s"
