#!/usr/bin/env bash
# The printer application's jobs under load and when they go wrong, on a
# server of its own (a random loopback port and a private socket):
#   - a printer whose socket:// device stops reading holds up no other
#     printer: a one-page job on a second printer completes in seconds;
#   - raster jobs refused by that busy printer, while jobs complete
#     elsewhere and the server saves its state, leave it answering;
#   - a page wider than the print mode takes is refused before anything of
#     it is sent;
#   - a PWG raster cut inside a page and sent chunked ends its job at once
#     with document-format-error, and the printer prints the next job;
#   - a PNG with ten copies canceled inside its first page sends that page,
#     with its form feed, and no further copy;
#   - the state saved at shutdown holds the last job's end.
#   printer_app_jobs.sh APP INSPECT
# Exits 77, which ctest counts as skipped, without ipptool, Ghostscript or
# python3.
set -euo pipefail
support=$(dirname "${BASH_SOURCE[0]}")/support
source "$support/bar_pages.sh"
source "$support/printer_app_server.sh"
app=$1 inspect=$2
skip() { echo "printer app jobs: skipped: $*"; exit 77; }
command -v ipptool > /dev/null || skip "ipptool (cups-ipp-utils) is missing"
command -v gs > /dev/null || skip "Ghostscript is not installed"
command -v python3 > /dev/null || skip "python3 is not installed"
started=$SECONDS
# Instrumented builds convert pages several times slower.
quick=${VEXAO_PRINTER_APP_QUICK_SECONDS:-10}

work=$(mktemp -d /tmp/vexao-app-jobs-XXXXXX)
server_pid= background_pids=()
cleanup() {
  stop_processes "${background_pids[@]}" $server_pid
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "printer app jobs: $*" >&2
  show_server_trouble
  exit 1
}
note() { echo "printer app jobs: $*"; }

start_printer_app "$app" "$work"

# Documents: grey A4 pages, megabytes of printer stream each; a small page
# (4 x 2 inches) with a black bar; a page 20000 pixels wide; the small page
# cut inside its pixels; a tiny grey picture, which PAPPL scales to the page.
render() {  # POSTSCRIPT DEVICE OUTPUT OPTIONS...
  local postscript=$1 device=$2 output=$3
  shift 3
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$device" "$@" -sOutputFile="$work/$output" "$work/$postscript" \
    > "$work/gs.log" 2>&1 || fail "Ghostscript cannot render $output: $(cat "$work/gs.log")"
}
raster=(-dcupsColorSpace=19 -dcupsBitsPerColor=8)
write_bar_pages "$work/grey.ps" "0 0 0 setrgbcolor" grey grey grey grey
render grey.ps pwgraster grey.pwg -r300 "${raster[@]}"
echo '%!PS
<< /PageSize [288 144] >> setpagedevice 0 setgray 0 60 288 40 rectfill showpage' > "$work/small.ps"
render small.ps pwgraster small.pwg -r300 "${raster[@]}"
echo '%!PS
<< /PageSize [4800 48] >> setpagedevice showpage' > "$work/wide.ps"
render wide.ps pwgraster wide.pwg -r300 "${raster[@]}"
write_bar_pages "$work/picture.ps" "0 0 0 setrgbcolor" grey
render picture.ps png16m picture.png -r10
# The wide page's pixels become noise, which the printer stream cannot
# compress; the cut page is the small one cut halfway through its pixels.
python3 - "$work" <<'PYTHON'
import os, struct, sys
work = sys.argv[1]
pixels = 4 + 1796  # the sync word and the first page header
wide = open(work + "/wide.pwg", "rb").read()[:pixels]
width, height = struct.unpack_from(">II", wide, 4 + 372)
with open(work + "/wide.pwg", "wb") as document:
    document.write(wide)
    for _ in range(height):
        document.write(b"\0")  # the line once
        for start in range(0, width, 128):  # literal runs of up to 128 pixels
            count = min(128, width - start)
            document.write(bytes([257 - count if count > 1 else 0]) + os.urandom(3 * count))
small = open(work + "/small.pwg", "rb").read()
open(work + "/cut.pwg", "wb").write(small[:pixels + (len(small) - pixels) // 2])
PYTHON

# Print-Job with a job name, so that a folder device names its file after it.
cat > "$work/print.test" <<'TEST'
{
  NAME "Print-Job"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name $user
  ATTR name job-name $name
  ATTR mimeMediaType document-format $filetype
  GROUP job-attributes-tag
  ATTR integer copies $copies
  ATTR resolution printer-resolution $resolution
  FILE $filename
  DISPLAY job-id
}
TEST
cat > "$work/state.test" <<'TEST'
{
  NAME "Get-Job-Attributes"
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job_id
  ATTR keyword requested-attributes job-state,job-state-reasons
  STATUS successful-ok
  DISPLAY job-state
  DISPLAY job-state-reasons
}
TEST

print_job() {  # PRINTER FILE TYPE NAME [ipptool option...]: prints the job id, if the job was created
  local printer=$1 file=$2 type=$3 name=$4
  shift 4
  { ipptool "$@" -t -T 60 -f "$file" -d filetype="$type" -d name="$name" -d copies=1 -d resolution=300dpi \
      "$server/$printer" "$work/print.test" 2>&1 || true; } | sed -n 's/.*job-id (integer) = //p' | head -n 1
}
job_attribute() {  # PRINTER JOB-ID ATTRIBUTE
  ipptool -t -T 5 -d job_id="$2" "$server/$1" "$work/state.test" 2>/dev/null | sed -n "s/.*$3 ([a-zA-Z0-9 ]*) = //p"
}
wait_for_job() {  # PRINTER JOB-ID SECONDS: prints the final job-state, or "unfinished"
  local state deadline=$((SECONDS + $3))
  while ((SECONDS < deadline)); do
    state=$(job_attribute "$1" "$2" job-state)
    case $state in completed|canceled|aborted) echo "$state"; return 0 ;; esac
    sleep 0.1
  done
  echo unfinished
}
pages_of() {  # STREAM: "N page(s)" when it decodes into whole pages
  "$inspect" --model e --raster-mode 15 --out "$work/decoded" "$1" 2>/dev/null | tail -n 1 | grep -oE '^[0-9]+ pages?' || echo "no whole pages"
}
answering() {
  ipptool -T 5 "$server/a" get-printer-attributes.test > /dev/null 2>&1
}

# Waits for a file that a listener writes.
wait_for_file() {  # FILE WHAT
  for _ in $(seq 300); do [[ -e $1 ]] && return 0; sleep 0.1; done
  fail "$2"
}
# The socket printers, one stalled and one slow, each with a flag folder.
start_socket_printer() {  # PORT FLAGS MODE [OUTPUT]
  mkdir -p "$2"
  python3 "$support/socket_printer.py" "$@" &
  background_pids+=($!)
  wait_for_file "$2/listening" "the socket printer on port $1 did not start"
}

# A stalled device holds up its own printer alone: a one-page job on
# another printer completes while the stalled printer's job, megabytes of
# stream, waits on its socket. PAPPL answers a raster Print-Job once it has
# printed it, so the stalled job is sent in the background. Sets `held`,
# the stalled job.
check_stalled_printer() {
  print_job stalled "$work/grey.pwg" image/pwg-raster held > /dev/null &
  background_pids+=($!)
  wait_for_file "$work/stalled-flags/connected" "the stalled printer's job did not reach its device"
  held=$("$app" jobs -d stalled | awk '$2 == "processing" { print $1; exit }')
  [[ -n $held ]] || fail "the job for the stalled printer is not processing"
  sleep 1  # while its pages fill the socket's buffers
  local begun=$SECONDS job
  job=$(print_job a "$work/small.pwg" image/pwg-raster other-printer)
  [[ -n $job && $(wait_for_job a "$job" "$quick") == completed ]] ||
    fail "a one-page job on another printer did not complete within $quick s of a stalled printer's job"
  [[ $(pages_of "$spool/a/other-printer.prn") == "1 page" ]] || fail "the one-page job did not print one page"
  [[ $(job_attribute stalled "$held" job-state) == processing ]] || fail "the stalled printer's job did not stay stalled"
  note "a job on another printer completed in $((SECONDS - begun)) s while a printer's device stalled"
}

# Raster jobs to the busy printer are refused, while jobs complete on
# printer a and the server saves its state after each: PAPPL's refusal and
# its state saving used to lock each other out.
check_refusals_while_saving() {
  local refusals_before sender round job refusals
  refusals_before=$(grep -c 'Aborting job' "$spool/log" || true)
  for sender in 1 2 3 4; do
    for round in $(seq 15); do print_job stalled "$work/small.pwg" image/pwg-raster busy > /dev/null; done &
    background_pids+=($!)
  done
  for round in $(seq 8); do
    job=$(print_job a "$work/small.pwg" image/pwg-raster "completing-$round")
    [[ -n $job && $(wait_for_job a "$job" "$quick") == completed ]] ||
      fail "job $round on printer a did not complete beside refused jobs"
  done
  wait "${background_pids[@]: -4}" || true
  answering || fail "the server no longer answers after refusing raster jobs while saving its state"
  refusals=$(($(grep -c 'Aborting job' "$spool/log" || true) - refusals_before))
  ((refusals > 0)) || fail "the busy printer refused no raster job"
  note "$refusals raster jobs refused by a busy printer while 8 jobs completed; the server answers"
}

# The stalled job, canceled, ends once its device closes the connection.
release_stalled_printer() {
  "$app" cancel -d stalled -j "$held" || fail "cannot cancel the stalled job"
  touch "$work/stalled-flags/release"
  [[ $(wait_for_job stalled "$held" "$quick") =~ ^(canceled|aborted)$ ]] || fail "the stalled job did not end once canceled"
  answering || fail "the server stopped once the stalled printer closed its connection"
}

# 20000 pixels is wider than the mode's lines can be: the page is refused
# before its first line, with nothing sent.
check_wide_page() {
  local job
  job=$(print_job a "$work/wide.pwg" image/pwg-raster wide)
  [[ -n $job && $(wait_for_job a "$job" "$quick") == aborted ]] || fail "the 20000-pixel page did not abort its job"
  [[ $(job_attribute a "$job" job-state-reasons) == *document-format-error* ]] ||
    fail "the 20000-pixel page's job ended without document-format-error"
  [[ ! -s $spool/a/wide.prn || $(pages_of "$spool/a/wide.prn") =~ ^[0-9]+\ pages?$ ]] ||
    fail "the 20000-pixel page's job left part of a page at the printer"
  note "a 20000-pixel page is refused: $(grep -o 'Page 1: it is 20000 pixels wide[^.]*' "$spool/log" | head -n 1)"
}

# Cut inside a page and sent chunked: the job ends at once, not when the
# client gives up, with the page ended by its form feed, and the printer
# goes on to the next job.
check_cut_short_chunked() {
  local begun=$SECONDS job took
  job=$(print_job a "$work/cut.pwg" image/pwg-raster cut -c)
  took=$((SECONDS - begun))
  ((took < quick)) || fail "the cut-short chunked document held its printer for $took s"
  [[ -n $job && $(wait_for_job a "$job" "$quick") == aborted ]] || fail "the cut-short document did not abort its job"
  [[ $(job_attribute a "$job" job-state-reasons) == *document-format-error* ]] ||
    fail "the cut-short document's job ended without document-format-error"
  [[ $(pages_of "$spool/a/cut.prn") == "1 page" ]] || fail "the cut-short page did not end with its form feed"
  job=$(print_job a "$work/small.pwg" image/pwg-raster after-cut)
  [[ -n $job && $(wait_for_job a "$job" "$quick") == completed ]] || fail "the printer did not print after the cut-short document"
  note "a cut-short chunked document ended in $took s; the next job printed"
}

# Ten copies of a picture at 600 dpi, megabytes a page, canceled while the
# printer stalls inside the first: that page ends, and no copy follows.
# Sets `job`, the picture's job.
check_canceled_copies() {
  local receiver_pid
  start_socket_printer "$slow_port" "$work/slow-flags" slow "$work/slow.prn"
  receiver_pid=${background_pids[-1]}
  "$app" add -d slow -v "socket://127.0.0.1:$slow_port" -m vexao105-band || fail "cannot add printer slow"
  job=$(ipptool -t -T 60 -f "$work/picture.png" -d filetype=image/png -d name=copies -d copies=10 -d resolution=600dpi \
    "$server/slow" "$work/print.test" 2>&1 | sed -n 's/.*job-id (integer) = //p' | head -n 1)
  [[ -n $job ]] || fail "the server refused the picture"
  wait_for_file "$work/slow-flags/stalled" "the slow printer received nothing"
  "$app" cancel -d slow -j "$job" || fail "cannot cancel the picture's job"
  touch "$work/slow-flags/go"
  [[ $(wait_for_job slow "$job" 60) == canceled ]] || fail "the picture's job did not end as canceled"
  wait "$receiver_pid" || fail "the slow printer did not receive the job"
  [[ $(pages_of "$work/slow.prn") == "1 page" ]] ||
    fail "the canceled picture sent $(pages_of "$work/slow.prn"), not the one page it was inside"
  note "a picture canceled inside copy 1 of 10 sent 1 page"
}

mkdir "$spool/a"
"$app" add -d a -v "file://$spool/a/" -m vexao105-band || fail "cannot add printer a"
stalled_port=$((port + 1)) slow_port=$((port + 2))
start_socket_printer "$stalled_port" "$work/stalled-flags" stall
"$app" add -d stalled -v "socket://127.0.0.1:$stalled_port" -m vexao105-band || fail "cannot add printer stalled"

check_stalled_printer
check_refusals_while_saving
release_stalled_printer
check_wide_page
check_cut_short_chunked
check_canceled_copies
answering || fail "the server no longer answers"

# The state saved at shutdown holds the last change: the canceled picture.
"$app" shutdown || fail "shutdown failed"
wait "$server_pid" || fail "the server did not stop cleanly"
server_pid=
sed -n '/^<Printer .* name="slow" /,/^<\/Printer>/p' "$spool/vexao-printer-app.state" |
  grep -q "^Job .* id=\"$job\" .*state=\"7\"" || fail "the state saved at shutdown does not hold the canceled picture's job"
! compgen -G "$spool/*.partial" > /dev/null || fail "a state save left its partial file"
note "passed in $((SECONDS - started)) s"
