#!/usr/bin/env bash
# Runs the printer application as a client meets it: a server on a random
# loopback port and a private socket, with its spool folder in a temporary
# folder, and
#   - a printer on a file:// device in the spool folder, which the first job
#     creates and every job appends to, checked with ipptool's
#     ipp-everywhere.test and, where a DNS-SD daemon runs, found through it;
#   - a four-page PWG raster job, two copies of it, the same document as
#     Apple raster and as 1-bit PWG raster, and a PNG and a JPEG picture,
#     whose device output is decoded and checked page by page;
#   - a job canceled while the printer, on a socket:// device that reads
#     slowly, is inside a page: what arrived decodes into whole pages;
#   - three corrupted PWG raster documents, which end their jobs with a reason
#     while the server goes on answering and printing;
#   - no administration over the network without an authentication service:
#     from another of the machine's addresses printing works while the web
#     interface's settings and Pause-Printer are refused, and over loopback
#     the settings and Pause-Printer are refused too;
#   - the devices sub-command and the web interface's Add Printer page,
#     which look for network printers, with or without a DNS-SD daemon;
#   - shutdown, after which the saved state is in the spool folder and
#     nowhere else.
#   printer_app_end_to_end.sh APP INSPECT PAGE_CHECK TEST_FOLDER
# TEST_FOLDER holds the ipptool files printer_app_print_settings.test,
# printer_app_job_state.test and printer_app_pause.test.
# Exits 77, which ctest counts as skipped, without ipptool, Ghostscript or
# python3.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/support/bar_pages.sh"
source "$(dirname "${BASH_SOURCE[0]}")/support/printer_app_server.sh"
app=$1 inspect=$2 page_check=$3
settings_test=$4/printer_app_print_settings.test state_test=$4/printer_app_job_state.test pause_test=$4/printer_app_pause.test
# Print-Job's settings unless a job says otherwise: one copy, normal quality, in colour at 600 dpi.
job_defaults=(-d jobname=job -d copies=1 -d quality=4 -d colormode=color -d resolution=600dpi -d lightinks=false)
skip() { echo "printer app end-to-end: skipped: $*"; exit 77; }
everywhere_test=/usr/share/cups/ipptool/ipp-everywhere.test
command -v ipptool > /dev/null && [[ -f $everywhere_test ]] || skip "ipptool and ipp-everywhere.test (cups-ipp-utils) are missing"
command -v gs > /dev/null || skip "Ghostscript is not installed"
command -v python3 > /dev/null || skip "python3 is not installed"
started=$SECONDS

work=$(mktemp -d /tmp/vexao-app-XXXXXX)
server_pid= receiver_pid=
cleanup() {
  stop_processes $receiver_pid $server_pid
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "printer app end-to-end: $*" >&2
  show_server_trouble
  exit 1
}
touch "$work/started"

start_printer_app "$app" "$work"

# Documents: A4 pages of bars an inch high, "top" in black across the top and
# "bottom" in cyan across the bottom, as PWG raster and as a JPEG. Both are
# pure sRGB colours, which separate into one ink each.
make_postscript() {  # NAME PAGE... where a page is top, bottom, top+bottom or grey
  local name=$1
  shift
  write_bar_pages "$work/$name.ps" "0 1 1 setrgbcolor" "$@"
}
render() {  # NAME DEVICE OUTPUT OPTIONS...
  local name=$1 device=$2 output=$3
  shift 3
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$device" "$@" -sOutputFile="$work/$output" "$work/$name.ps" \
    > "$work/gs.log" 2>&1 || fail "Ghostscript cannot render $name: $(cat "$work/gs.log")"
}
four_pages=top+bottom,top,bottom,top+bottom
make_postscript four ${four_pages//,/ }
render four pwgraster four.pwg -r600 -dcupsColorSpace=19 -dcupsBitsPerColor=8
render four urf four.urf -r600 -dcupsColorSpace=19 -dcupsBitsPerColor=8
render four urf four-device-grey.urf -r600 -dcupsColorSpace=0 -dcupsBitsPerColor=8
make_postscript picture top+bottom
render picture jpeg picture.jpg -r100 -dJPEGQ=95
render picture png16m picture.png -r100
# The 256 tones of each ink in turn, one page an ink, in blocks of 64 x 64
# dots at 600 dpi (tests/support/tone_blocks.h) from the top left corner,
# on a page a dot larger, so that rounding cuts no block short.
cat > "$work/tones.ps" <<'PS'
%!PS
<< /PageSize [123 123] >> setpagedevice
/block 7.68 def
/tones {
  /ink exch def
  0 1 255 {
    /tone exch def
    [0 0 0 0] dup ink tone 255 div put aload pop setcmykcolor
    tone 16 mod block mul 123 tone 16 idiv 1 add block mul sub block block rectfill
  } for
  showpage
} def
0 tones 1 tones 2 tones 3 tones
PS
render tones pwgraster tones.pwg -r600 -dcupsColorSpace=6 -dcupsBitsPerColor=8
# Grey pages halftone into a stream of megabytes a page, more than the
# socket buffers hold.
make_postscript long grey grey grey grey grey grey grey grey
render long pwgraster long.pwg -r600 -dcupsColorSpace=19 -dcupsBitsPerColor=8

add_printer() {  # NAME URI DRIVER
  "$app" add -d "$1" -v "$2" -m "$3" || fail "cannot add printer $1 on $2"
}
submit() {  # PRINTER FILE TYPE [NAME=VALUE...] (the job test's variables)
  local printer=$1 file=$2 type=$3 variable
  shift 3
  local variables=("${job_defaults[@]}" -d filetype="$type")
  for variable; do variables+=(-d "$variable"); done
  device_offset=$(stat -c %s "$spool/out" 2>/dev/null || echo 0)
  ipptool -t -f "$file" "${variables[@]}" "$server/$printer" "$settings_test" > "$work/submit.log" 2>&1 ||
    fail "the server refused $(basename "$file") on $printer: $(cat "$work/submit.log")"
  job=$(sed -n 's/.*job-id (integer) = //p' "$work/submit.log" | head -n 1)
}
job_output() {  # prints the path of a copy of what the last job submitted appended to the device file
  tail -c +$(( device_offset + 1 )) "$spool/out" > "$work/job.prn"
  echo "$work/job.prn"
}
job_attribute() {  # PRINTER JOB-ID ATTRIBUTE
  ipptool -t -T 5 -d job_id="$2" "$server/$1" "$state_test" 2>/dev/null | sed -n "s/.*$3 ([a-zA-Z0-9 ]*) = //p"
}
wait_for_job() {  # PRINTER JOB-ID: prints the final job-state
  local state _
  for _ in $(seq 600); do
    state=$(job_attribute "$1" "$2" job-state)
    case $state in completed|canceled|aborted) echo "$state"; return 0 ;; esac
    sleep 0.1
  done
  fail "job $2 on $1 did not finish"
}
decode_check() {  # STREAM PAGES COLOUR-MODEL WHAT [RESOLUTION]
  "$page_check" --model e --raster-mode 15 --resolution "${5:-600}" --colour-model "$3" --pages "$2" "$1" ||
    fail "$4 did not print as $2"
}

# Listing the attached printers looks for network ones through DNS-SD,
# which must not bring the process down where no daemon runs.
"$app" devices > "$work/devices.log" 2>&1 || fail "devices failed: $(cat "$work/devices.log")"

add_printer vexao "file://$spool/out" vexao105-band
sleep 1  # printer-up-time must be above 0

# Where a DNS-SD daemon runs, the printer added while the server runs is
# advertised.
if [[ -S /run/avahi-daemon/socket ]] && command -v avahi-browse > /dev/null; then
  advertised() { [[ $(timeout 10 avahi-browse -t -r -p _ipp._tcp 2>/dev/null || true) == *";$port;"*'"rp=ipp/print/vexao"'* ]]; }
  for _ in $(seq 10); do advertised && break; sleep 1; done
  advertised || fail "the printer is not advertised through the DNS-SD daemon"
  echo "printer app end-to-end: the printer is advertised through the DNS-SD daemon"
fi

# IPP Everywhere: every expectation but the two in which PAPPL compares its
# own listener URI counts (printer-uri-supported against uri-security-supported,
# and that against uri-authentication-supported): PAPPL lists one URI and
# two security schemes when TLS is possible.
ipptool -tv -f "$work/four.pwg" -d filetype=image/pwg-raster "$server/vexao" "$everywhere_test" > "$work/everywhere.log" 2>&1 || true
# What a failed test says beside the attributes it lists: each line must be
# one of the two expectations above.
unexpected=$(awk '/\[(PASS|FAIL|SKIP)\]$/ { failed = /\[FAIL\]$/; next }
                  failed && /^        [^ ]/ && !/^        [A-Za-z0-9-]+ \(/ && !/^        (RECEIVED|status-code)/' "$work/everywhere.log" |
  grep -vE 'EXPECTED: printer-uri-supported .* SAME-COUNT-AS uri-security-supported|EXPECTED: uri-security-supported .* SAME-COUNT-AS uri-authentication-supported' || true)
[[ -z $unexpected ]] || fail "ipp-everywhere.test finds faults:"$'\n'"$unexpected"
passed=$(grep -c '\[PASS\]$' "$work/everywhere.log" || true)
failed=$(grep -c '\[FAIL\]$' "$work/everywhere.log" || true)
echo "printer app end-to-end: ipp-everywhere.test: $passed passed, $failed failed only on PAPPL's listener URI counts"

# Exactly the resolutions that the qualities print at are offered, with the
# normal quality's as the default: PAPPL renders pictures of print-quality
# normal at the middle resolution offered, and driverless clients render
# documents at the default.
ipptool -tv "$server/vexao" get-printer-attributes.test > "$work/attributes.log" 2>&1 || true
offered() { sed -n "s/^ *$1 ([^)]*) = //p" "$work/attributes.log"; }
for name in printer-resolution-supported pwg-raster-document-resolution-supported; do
  [[ $(offered $name) == 300dpi,600dpi ]] || fail "$name is '$(offered $name)', not the 300 and 600 dpi that print"
done
[[ $(offered printer-resolution-default) == 600dpi ]] || fail "printer-resolution-default is not the normal quality's 600 dpi"
[[ ,$(offered urf-supported), == *,RS300-600,* && ,$(offered urf-supported), == *,DEVW8,* ]] ||
  fail "urf-supported does not offer 300 and 600 dpi and device grey: $(offered urf-supported)"

# The four-page document, timed from submission to the last byte at the device.
submitted=$(date +%s.%N)
submit vexao "$work/four.pwg" image/pwg-raster
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the four-page job did not complete"
last_byte=$(stat -c %.9Y "$spool/out")
cp "$(job_output)" "$work/four.prn"
decode_check "$work/four.prn" "$four_pages" CMYK "the four-page PWG raster job"
"$inspect" --model e --raster-mode 15 --out "$work/pages" "$work/four.prn" > "$work/four-pages.txt" || fail "the inspector cannot decode the four-page job"
echo "printer app end-to-end: four-page PWG raster: $(tail -n 1 "$work/four-pages.txt"), submission to last byte $(
  awk -v from="$submitted" -v to="$last_byte" 'BEGIN { printf "%.3f", to - from }') s"

submit vexao "$work/four.pwg" image/pwg-raster copies=2
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the two copies did not complete"
decode_check "$(job_output)" "$four_pages,$four_pages" CMYK "two copies of the PWG raster job"

submit vexao "$work/four.urf" image/urf
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the Apple raster job did not complete"
decode_check "$(job_output)" "$four_pages" CMYK "the Apple raster job"

submit vexao "$work/picture.png" image/png
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the PNG job did not complete"
decode_check "$(job_output)" top+bottom CMYK "the PNG job"

# Ghostscript's pwgraster device left to itself: 1-bit black at 100 dpi,
# whose page headers PAPPL keeps from drivers. It prints at its true size:
# scaled six times to the 600 dpi of the normal quality.
render four pwgraster one-bit.pwg
submit vexao "$work/one-bit.pwg" image/pwg-raster
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the 1-bit PWG raster job did not complete"
decode_check "$(job_output)" "$four_pages" Gray "the 1-bit PWG raster job"

# Device grey, which a driverless queue sends for its DeviceGray colour
# model, prints as sGray does; monochrome prints sRGB with black ink alone.
submit vexao "$work/four-device-grey.urf" image/urf
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the device grey Apple raster job did not complete"
decode_check "$(job_output)" "$four_pages" Gray "the device grey Apple raster job"
submit vexao "$work/four.pwg" image/pwg-raster colormode=monochrome
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the monochrome PWG raster job did not complete"
decode_check "$(job_output)" "$four_pages" Gray "the monochrome PWG raster job"

# Every tone prints its density within 3%: at high quality with light inks,
# where light cyan and light magenta count a third, and at normal quality
# with four inks.
for settings in "5 true 5 KCMYcm" "4 false 15 CMYK"; do
  read -r quality light_inks raster_mode colour <<< "$settings"
  device_offset=$(stat -c %s "$spool/out" 2>/dev/null || echo 0)
  ipptool -t -f "$work/tones.pwg" "${job_defaults[@]}" -d filetype=image/pwg-raster -d quality="$quality" \
    -d lightinks="$light_inks" "$server/vexao" "$settings_test" > "$work/submit.log" 2>&1 ||
    fail "the server refused the tones at print-quality $quality: $(cat "$work/submit.log")"
  job=$(sed -n 's/.*job-id (integer) = //p' "$work/submit.log" | head -n 1)
  [[ $(wait_for_job vexao "$job") == completed ]] || fail "the tones at print-quality $quality did not complete"
  "$page_check" --model e --raster-mode "$raster_mode" --resolution 600 --colour-model "$colour" \
    --pages tones-C,tones-M,tones-Y,tones-K "$(job_output)" > "$work/tones.log" 2>&1 ||
    fail "the tones at print-quality $quality are off: $(cat "$work/tones.log")"
  echo "printer app end-to-end: print-quality $quality, $colour: $(grep -o 'tones of .*' "$work/tones.log" | paste -sd ';')"
done

# JPEG's ringing would put faint colour beside the bars: printed in grey.
submit vexao "$work/picture.jpg" image/jpeg colormode=monochrome
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the JPEG job did not complete"
decode_check "$(job_output)" top+bottom Gray "the JPEG job"
echo "printer app end-to-end: JPEG: $("$inspect" --model e --raster-mode 15 --single-plane --out "$work/jpeg" "$work/job.prn" | tail -n 1)"

# Cancel inside a page: a socket printer that takes 64 KB, then stalls until
# the job is canceled, then reads to the end.
receiver_port=$(( port + 1 ))
python3 "$(dirname "${BASH_SOURCE[0]}")/support/socket_printer.py" "$receiver_port" "$work" slow "$work/slow.prn" &
receiver_pid=$!
for _ in $(seq 100); do [[ -e $work/listening ]] && break; sleep 0.1; done
add_printer slow "socket://127.0.0.1:$receiver_port" vexao105-band
# PAPPL answers a streamed raster job once it has printed it, so the job is
# sent in the background and found in the printer's list.
ipptool -t -T 120 -f "$work/long.pwg" "${job_defaults[@]}" -d filetype=image/pwg-raster \
  "$server/slow" "$settings_test" > "$work/long-submit.log" 2>&1 &
sender_pid=$!
for _ in $(seq 300); do [[ -e $work/stalled ]] && break; sleep 0.1; done
[[ -e $work/stalled ]] || fail "the socket printer received nothing"
job=$("$app" jobs -d slow | awk '$2 == "processing" { print $1; exit }')
[[ -n $job ]] || fail "the job for the socket printer is not processing"
"$app" cancel -d slow -j "$job" || fail "cannot cancel job $job"
touch "$work/go"
wait "$sender_pid" || true  # the client may see its document cut off
[[ $(wait_for_job slow "$job") == canceled ]] || fail "the canceled job did not end as canceled"
wait "$receiver_pid" || fail "the socket printer did not receive the job"
receiver_pid=
"$inspect" --model e --raster-mode 15 --out "$work/canceled" "$work/slow.prn" > "$work/canceled.txt" ||
  fail "what the canceled job sent does not decode into whole pages"
canceled_pages=$(tail -n 1 "$work/canceled.txt")
[[ $canceled_pages =~ ^([0-9]+)\ pages? ]] && (( BASH_REMATCH[1] >= 1 && BASH_REMATCH[1] < 8 )) ||
  fail "the canceled job sent $canceled_pages, not part of its eight pages"
last_page_lines=$(sed -n 's/^page [0-9]*: .*, \([0-9]*\) lines of.*/\1/p' "$work/canceled.txt" | tail -n 1)
echo "printer app end-to-end: canceled job: $canceled_pages; its last page ended with its form feed after $last_page_lines of 7017 lines"

# Corrupted PWG raster: a first page 200000 lines high, one in a colour
# space the printer does not take, and junk after the sync word. The driver
# ends the first two with document-format-error and says why; PAPPL's own
# reader ends the junk before any page, as aborted-by-system. The server goes
# on answering and printing.
python3 - "$work/four.pwg" "$work" <<'PYTHON'
import struct, sys
document = bytearray(open(sys.argv[1], "rb").read())
def corrupt(name, offset, value):  # a field of the first page header, after the sync word
    changed = bytearray(document)
    struct.pack_into(">I", changed, 4 + offset, value)
    open(sys.argv[2] + "/" + name + ".pwg", "wb").write(changed)
corrupt("too-tall", 376, 200000)  # cupsHeight
corrupt("adobe-rgb", 400, 20)     # cupsColorSpace
open(sys.argv[2] + "/junk.pwg", "wb").write(document[:4] + b"\xa5" * 4096)
PYTHON
for corrupted in too-tall:document-format-error adobe-rgb:document-format-error junk:aborted-by-system; do
  name=${corrupted%%:*} reason=${corrupted#*:}
  submit vexao "$work/$name.pwg" image/pwg-raster
  [[ $(wait_for_job vexao "$job") == aborted ]] || fail "the $name document did not abort its job"
  reasons=$(job_attribute vexao "$job" job-state-reasons)
  [[ $reasons == *$reason* ]] || fail "the $name document's job ended with reasons '$reasons', not $reason"
  echo "printer app end-to-end: $name PWG raster: aborted, $reasons: $(job_attribute vexao "$job" job-state-message)"
done
submit vexao "$work/four.pwg" image/pwg-raster
[[ $(wait_for_job vexao "$job") == completed ]] || fail "the server no longer prints after the corrupted documents"

# Without an authentication service nobody administers over the network,
# the loopback address included: from another of the machine's addresses a
# client prints, but pausing the printer and the web interface's settings
# pages are refused, and so they are over loopback. The test's own `add`
# administered over the local socket, as the server's user.
web_status() {  # URL: the HTTP status after redirects, certificates unchecked
  python3 - "$1" <<'PYTHON'
import ssl, sys, urllib.error, urllib.request
context = ssl.create_default_context()
context.check_hostname, context.verify_mode = False, ssl.CERT_NONE
try:
    print(urllib.request.urlopen(sys.argv[1], context=context, timeout=20).status)
except urllib.error.HTTPError as error:
    print(error.code)
PYTHON
}
pause_status() {  # ADDRESS
  ipptool -tv -T 20 "ipp://$1:$port/ipp/print/vexao" "$pause_test" 2>&1 | sed -n 's/.*status-code = \([a-z-]*\).*/\1/p' | head -n 1
}
other_address=$(hostname -I 2>/dev/null | tr ' ' '\n' | grep -E '^[0-9]+(\.[0-9]+){3}$' | grep -v '^127\.' | head -n 1 || true)
if [[ -n $other_address ]]; then
  # Print-Job, and Create-Job with Send-Document, which PAPPL allows only
  # under the job owner's name.
  ipptool -t -T 60 -f "$work/four.pwg" "${job_defaults[@]}" -d filetype=image/pwg-raster \
    "ipp://$other_address:$port/ipp/print/vexao" "$settings_test" > "$work/remote.log" 2>&1 ||
    fail "a client on $other_address cannot print: $(cat "$work/remote.log")"
  ipptool -t -T 60 -f "$work/four.pwg" -d filetype=image/pwg-raster "ipp://$other_address:$port/ipp/print/vexao" \
    create-job.test > "$work/remote.log" 2>&1 ||
    fail "a client on $other_address cannot send a document to its job: $(cat "$work/remote.log")"
  for page in addprinter vexao/delete logs; do
    [[ $(web_status "http://$other_address:$port/$page") == 403 ]] || fail "the web page /$page is open to $other_address"
  done
  [[ $(pause_status "$other_address") == client-error-forbidden ]] || fail "a client on $other_address may pause the printer"
  echo "printer app end-to-end: from $other_address: printing allowed, administration refused"
fi
[[ $(web_status "http://127.0.0.1:$port/addprinter") == 403 ]] || fail "the web interface's settings are open over loopback"
[[ $(pause_status 127.0.0.1) == client-error-forbidden ]] || fail "a client on the loopback address may pause the printer"
echo "printer app end-to-end: over loopback, administration refused"

"$app" shutdown || fail "shutdown failed"
wait "$server_pid" || fail "the server did not stop cleanly"
server_pid=
[[ -f $spool/vexao-printer-app.state ]] || fail "the server saved no state in its spool folder"
[[ -z $other_address ]] || compgen -G "$spool/ssl/*.crt" > /dev/null || fail "the server's TLS certificate is not in its spool folder"
if [[ $(id -u) -eq 0 ]]; then
  # Besides files named after the application: the TLS credentials that
  # libcups would make for root in /etc/cups/ssl.
  stray=$( (find /var/lib /var/spool /etc /root -newer "$work/started" -name '*vexao-printer-app*'
            find /etc/cups/ssl /root/.cups -newer "$work/started" -type f) 2>/dev/null || true)
  [[ -z $stray ]] || fail "the server wrote outside its spool folder: $stray"
fi
echo "printer app end-to-end: passed in $(( SECONDS - started )) s"
