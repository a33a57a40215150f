#!/usr/bin/env bash
# The printer application as CUPS's driverless queue meets it: a private
# scheduler makes a queue with `lpadmin -m everywhere` from the attributes
# the application advertises, and prints a PDF of bars through it with its
# defaults, at draft quality, with its DeviceGray colour model and
# monochrome. Each job's stream is decoded and its bars checked in
# millimetres at the resolution its quality prints at, so a page printed at
# another size, or in the wrong inks, fails.
#   driverless_end_to_end.sh APP PAGE_CHECK
# Exits 77, which ctest counts as skipped, where the private scheduler
# cannot run (not root, no cupsd) or Ghostscript is missing.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/support/bar_pages.sh"
source "$here/support/printer_app_server.sh"
source "$here/support/private_cupsd.sh"
app=$1 page_check=$2
name="driverless end-to-end"
skip() { echo "$name: skipped: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "the private scheduler runs its filters as lp, which needs root"
[[ -x /usr/sbin/cupsd ]] || skip "cupsd is not installed"
command -v gs > /dev/null || skip "Ghostscript is not installed"
started=$SECONDS

work=$(mktemp -d /tmp/vexao-driverless-XXXXXX)
chmod 755 "$work"
cupsd_pid= server_pid=
cleanup() {
  stop_processes $cupsd_pid $server_pid
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$name: $*" >&2
  grep -E 'ERROR|rror:' "$work/cups/log/error_log" 2>/dev/null | tail -n 20 >&2 || true
  show_server_trouble
  exit 1
}

start_printer_app "$app" "$work/app"
app_uri=$server/vexao
mkdir -p "$spool/out"
"$app" add -d vexao -v "file://$spool/out/" -m vexao105-band > /dev/null || fail "cannot add the application's printer"
prepare_private_cupsd "$work/cups"
start_private_cupsd
retry lpadmin -h "$server" -p driverless -E -v "$app_uri" -m everywhere ||
  fail "lpadmin -m everywhere refused the application: $(cat "$work/cups/command.err")"
# The queue sends Apple raster where the printer takes it, which CUPS's own
# rastertopwg makes. That filter comes in the package `cups` with printer
# drivers that this project does not install; the queue is told to send PWG
# raster instead, which cups-filters renders directly, with the same options.
ppd=$work/cups/etc/ppd/driverless.ppd
for _ in $(seq 100); do [[ -s $ppd ]] && break; sleep 0.1; done
if [[ ! -x /usr/lib/cups/filter/rastertopwg ]]; then
  grep -q '^\*cupsFilter2: "image/urf' "$ppd" || fail "the driverless queue sends neither Apple raster nor PWG raster"
  sed 's|^\*cupsFilter2: "image/urf image/urf|*cupsFilter2: "image/pwg-raster image/pwg-raster|' "$ppd" > "$work/pwg.ppd"
  retry lpadmin -h "$server" -p driverless -P "$work/pwg.ppd" || fail "lpadmin refused the PWG raster queue"
fi

write_bar_pages "$work/bars.ps" "0 1 1 setrgbcolor" top+bottom  # pure sRGB colours, one ink each
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$work/bars.pdf" "$work/bars.ps"
chmod 644 "$work/bars.pdf"

# Prints the document with OPTIONS and checks the application's stream as a
# page of the banded model in MODE-OPTIONS and COLOUR-MODEL.
check_job() {  # WHAT COLOUR-MODEL "MODE-OPTIONS" OPTIONS...
  local what=$1 colour=$2 mode=$3 job _ stream=""
  shift 3
  job=$(retry lp -h "$server" -d driverless "$@" "$work/bars.pdf" | sed -n "s/^request id is \([^ ]*\).*/\1/p" || true)
  [[ -n $job ]] || fail "$what: lp refused the job: $(cat "$work/cups/command.err")"
  for _ in $(seq 600); do
    stream=$(find "$spool/out" -name '*.prn' -newer "$work/bars.pdf" -print -quit)
    [[ -n $stream ]] && ! lpstat -h "$server" -o driverless 2>/dev/null | grep -q "^$job " && break
    sleep 0.1
  done
  [[ -n $stream ]] || fail "$what: nothing reached the application's printer"
  # The stream is whole once the application's job has ended.
  local verdict=""
  for _ in $(seq 50); do
    # shellcheck disable=SC2086
    verdict=$("$page_check" --model e $mode --colour-model "$colour" --pages top+bottom "$stream" 2>&1) && break
    verdict="failed: $verdict"
    sleep 0.2
  done
  [[ $verdict != failed:* ]] || fail "$what did not print at its true size in $colour: $verdict"
  echo "$name: $what: $verdict"
  mv "$stream" "$work/$what.prn"
  touch "$work/bars.pdf"
}

normal="--raster-mode 15 --resolution 600" draft="--raster-mode 20 --resolution 300"
check_job defaults CMYK "$normal"
check_job draft CMYK "$draft" -o print-quality=3
if grep -q '^\*ColorModel DeviceGray' "$ppd"; then
  check_job device-grey Gray "$normal" -o ColorModel=DeviceGray
else
  fail "the driverless queue offers no DeviceGray, though the application advertises DEVW8"
fi
check_job monochrome Gray "$normal" -o print-color-mode=monochrome
echo "$name: four jobs printed at their true size in $((SECONDS - started)) s"
