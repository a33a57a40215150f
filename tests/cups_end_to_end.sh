#!/usr/bin/env bash
# Prints through a private CUPS scheduler with the vexao PPDs and filter, and
# decodes what the file backends received:
#   - two copies of a two-page PDF, uncollated and collated: four pages each,
#     and four pages billed;
#   - a one-page PDF with every combination of the choices of every option of
#     both PPDs, one queue per combination.
#   cups_end_to_end.sh FILTER LIBRARY PPD_FOLDER INSPECT PAGE_CHECK
# The scheduler listens on a loopback port, keeps its configuration, spool and
# logs in a temporary folder, runs filters as lp, and is stopped on exit.
# Without root or a scheduler it exits 77, which ctest counts as skipped.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/support/bar_pages.sh"
source "$(dirname "${BASH_SOURCE[0]}")/support/ppd_choices.sh"
source "$(dirname "${BASH_SOURCE[0]}")/support/private_cupsd.sh"
filter=$1 library=$2 ppds=$3 inspect=$4 page_check=$5
skip() { echo "cups end-to-end: skipped: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "the private scheduler runs its filters as lp, which needs root"
[[ -x /usr/sbin/cupsd ]] || skip "cupsd is not installed"
command -v gs > /dev/null || skip "Ghostscript is not installed"
started=$SECONDS

work=$(mktemp -d /tmp/vexao-cups-XXXXXX)
chmod 755 "$work"
cupsd_pid=
cleanup() {
  if [[ -n $cupsd_pid ]]; then
    kill "$cupsd_pid" 2>/dev/null || true
    wait "$cupsd_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "cups end-to-end: $*" >&2
  grep -E 'ERROR|rror:' "$work/log/error_log" | tail -n 40 >&2 2>/dev/null || true
  exit 1
}

prepare_private_cupsd "$work"
# Filters run as lp, which need not reach the build tree, and the scheduler
# passes no loader path to them: the filter and its library are copied into
# the private folder and started through a script that points the loader there.
install -m 755 "$filter" "$work/lib/rastertovexao"
install -m 644 "$library" "$work/lib/"
printf '#!/bin/sh\nLD_LIBRARY_PATH=%s exec %s "$@"\n' "$work/lib" "$work/lib/rastertovexao" > "$work/bin/filter/rastertovexao"
chmod 755 "$work/bin/filter/rastertovexao"
start_private_cupsd

add_queue() {  # NAME PPD
  retry lpadmin -h "$server" -p "$1" -E -v "file:$work/out/$1.prn" -P "$2" ||
    fail "lpadmin refused queue $1: $(cat "$work/command.err")"
}

submit() {  # QUEUE DOCUMENT OPTIONS...
  local queue=$1 document=$2
  shift 2
  retry lp -h "$server" -d "$queue" "$@" "$document" > /dev/null || fail "lp refused $* on $queue: $(cat "$work/command.err")"
}

# Every combination of the options that ppd_options lists, one a line, as
# "Name=choice Name=choice ...".
combinations() {
  local combos=("") next combo name choices choice
  while read -r name choices; do
    next=()
    for combo in "${combos[@]}"; do
      for choice in $choices; do next+=("${combo:+$combo }$name=$choice"); done
    done
    combos=("${next[@]}")
  done
  printf '%s\n' "${combos[@]}"
}

# Waits until no job is pending or processing. A job whose filters failed
# stays behind as stopped; the checks of its output tell.
wait_for_jobs() {
  local _ jobs
  for _ in $(seq 1200); do
    jobs=$(ipptool -c "ipp://$server/" get-jobs.test || true)
    [[ $jobs =~ ,(pending|processing), ]] || return 0
    sleep 0.2
  done
  fail "the jobs did not finish"
}

# A4 documents made of two bars an inch high: "top", black across the top of
# the page, and "bottom", light cyan across the bottom.
make_document() {  # NAME PAGE... where a page is top, bottom or top+bottom
  local name=$1
  shift
  write_bar_pages "$work/$name.ps" "0.3 0 0 0 setcmykcolor" "$@"
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$work/$name.pdf" "$work/$name.ps"
  chmod 644 "$work/$name.pdf"
}
make_document bars top+bottom
make_document two-pages top bottom

band_ppd=$ppds/vexao105-band.ppd
copies_options=(-n 2 -o ColorModel=CMYK -o VexaoQuality=Draft -o Resolution=300dpi)
add_queue uncollated "$band_ppd"
submit uncollated "$work/two-pages.pdf" "${copies_options[@]}"
add_queue collated "$band_ppd"
submit collated "$work/two-pages.pdf" "${copies_options[@]}" -o collate=true

combinations=()  # "PPD|Name=choice ..." for queue combinationN
for ppd in "$ppds"/*.ppd; do
  while read -r combination; do
    queue=combination${#combinations[@]}
    combinations+=("$ppd|$combination")
    add_queue "$queue" "$ppd"
    options=()
    for setting in $combination; do options+=(-o "$setting"); done
    submit "$queue" "$work/bars.pdf" "${options[@]}"
  done < <(ppd_options "$ppd" | combinations)
done
wait_for_jobs

copies_mode="--model $(sed -n 's/^\*cupsModelNumber: *//p' "$band_ppd") --raster-mode 20 --resolution 300"
failed=0
report() {
  echo "cups end-to-end: $*" >&2
  failed=1
}
mkdir -p "$work/pages"
# shellcheck disable=SC2086
"$inspect" $copies_mode --out "$work/pages" "$work/out/uncollated.prn" > /dev/null || report "the inspector cannot decode the copies"
for queue in uncollated collated; do
  pages=top,top,bottom,bottom
  [[ $queue == collated ]] && pages=top,bottom,top,bottom
  # shellcheck disable=SC2086
  "$page_check" $copies_mode --colour-model CMYK --pages $pages "$work/out/$queue.prn" > /dev/null ||
    report "two $queue copies of two pages did not print as $pages"
  # The page log counts what the filter reported: the pages sent.
  billed=$(awk -v queue=$queue '$1 == queue && $6 == "total" { print $7 }' "$work/log/page_log")
  [[ $billed == 4 ]] || report "two $queue copies of two pages were billed as ${billed:-no} pages"
done

for index in "${!combinations[@]}"; do
  ppd=${combinations[index]%%|*} combination=${combinations[index]#*|}
  colour_model=$(grep -o 'ColorModel=[^ ]*' <<< "$combination")
  # shellcheck disable=SC2046
  "$page_check" $(mode_options "$ppd" "$combination") --colour-model "${colour_model#*=}" --pages top+bottom \
    "$work/out/combination$index.prn" > /dev/null || report "$(basename "$ppd") with $combination did not print the document"
done
[[ $failed == 0 ]] || fail "some jobs did not print as asked"
echo "cups end-to-end: the copies and ${#combinations[@]} combinations printed in $(( SECONDS - started )) s"
