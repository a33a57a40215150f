#!/usr/bin/env bash
# Every override of a library function in the printer application is still
# called. The overrides are the definitions marked VEXAO_OVERRIDES_LIBRARY
# in the application's sources; each notes its first call in the file that
# VEXAO_OVERRIDE_TRACE names. On a server of its own (a random loopback port
# and a private socket) the test takes each path by which PAPPL 1.3.1
# reaches one:
#   - starting the server: cupsSetServerCredentials (PAPPL sets the TLS
#     credentials with the host name) and _papplMainloopGetServerPath (its
#     socket, which every sub-command asks for too);
#   - `add` on a file device over the socket: papplClientIsAuthorized
#     (Create-Printer is administration) and papplDeviceIsSupported;
#   - a PWG raster job: _papplJobProcessRaster, which prints it from its
#     request, and cupsRasterReadHeader2, cupsRasterReadPixels and
#     cupsRasterClose, with which PAPPL reads it;
#   - a PNG job: _papplJobProcess, the spooled job's thread, and
#     png_read_end, which PAPPL calls after reading the picture;
#   - `devices`: avahi_service_browser_new, which PAPPL calls to list DNS-SD
#     printers, with or without a daemon.
# It fails if an override was not entered, or if one was entered that the
# scan of the sources did not find. For a missing one it says whether the
# dynamic linker binds libpappl's reference to the executable at all.
#   printer_app_overrides.sh APP SOURCE_FOLDER
# SOURCE_FOLDER holds the application's sources. Exits 77, which ctest
# counts as skipped, without Ghostscript.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/support/printer_app_server.sh"
app=$1 sources=$2
skip() { echo "printer app overrides: skipped: $*"; exit 77; }
command -v gs > /dev/null || skip "Ghostscript is not installed"

work=$(mktemp -d /tmp/vexao-app-overrides-XXXXXX)
server_pid=
cleanup() {
  stop_processes $server_pid
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "printer app overrides: $*" >&2
  show_server_trouble
  exit 1
}

# The overrides, by the same rule as the configure-time check: the name
# before the first parenthesis on each marked line.
expected=()
while IFS= read -r line; do
  [[ $line =~ ([A-Za-z_][A-Za-z0-9_]*)\( ]] || fail "no function name on the line \"$line\""
  expected+=("${BASH_REMATCH[1]}")
done < <(cat "$sources"/*.cpp | grep '^VEXAO_OVERRIDES_LIBRARY ')
((${#expected[@]} > 0)) || fail "no override found in $sources"

# A small page as PWG raster and as a PNG picture.
echo '%!PS
<< /PageSize [144 72] >> setpagedevice 0 setgray 0 20 144 30 rectfill showpage' > "$work/page.ps"
render() {  # OUTPUT DEVICE OPTION...
  local output=$1 device=$2
  shift 2
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$device" "$@" -sOutputFile="$work/$output" "$work/page.ps" \
    > "$work/gs.log" 2>&1 || fail "Ghostscript cannot render $output: $(cat "$work/gs.log")"
}
render page.pwg pwgraster -r300 -dcupsColorSpace=18 -dcupsBitsPerColor=8
render page.png png16m -r72

export VEXAO_OVERRIDE_TRACE=$work/trace
start_printer_app "$app" "$work"
mkdir "$spool/a"
"$app" add -d a -v "file://$spool/a/" -m vexao105-band || fail "cannot add a printer on a file device"

print() {  # FILE [submit option...]: prints FILE on printer a and waits for the job to complete
  local file=$1 job state _
  shift
  job=$("$app" submit -d a "$@" "$file") || fail "cannot print $(basename "$file")"
  job=${job##*-}
  for _ in $(seq 300); do
    state=$("$app" jobs -d a | awk -v job="$job" '$1 == job { print $2 }')
    [[ $state == completed || $state == aborted || $state == canceled ]] && break
    sleep 0.1
  done
  [[ $state == completed ]] || fail "the job printing $(basename "$file") ended as '$state'"
}
print "$work/page.pwg" -o document-format=image/pwg-raster
print "$work/page.png" -o document-format=image/png
"$app" devices > "$work/devices.log" 2>&1 || fail "devices failed: $(cat "$work/devices.log")"
"$app" shutdown || fail "shutdown failed"
wait "$server_pid" || fail "the server did not stop cleanly"
server_pid=

# Whether the dynamic linker binds libpappl's reference to NAME to the
# executable's definition, as it reports when it binds every symbol at start.
bound_to_app() {  # NAME
  if [[ ! -f $work/bindings ]]; then
    LD_DEBUG=bindings LD_BIND_NOW=1 "$app" --help 2>&1 > /dev/null | grep -F 'binding file /' | grep -F /libpappl > "$work/bindings" || true
  fi
  grep -qF "to $(realpath "$app") [0]: normal symbol \`$1'" "$work/bindings"
}

[[ -f $work/trace ]] || fail "no override noted its call in $work/trace"
sort -u "$work/trace" > "$work/entered"
printf '%s\n' "${expected[@]}" | sort -u > "$work/expected"
missing=$(comm -23 "$work/expected" "$work/entered")
unknown=$(comm -13 "$work/expected" "$work/entered")
[[ -z $unknown ]] || fail "overrides entered that the scan of $sources did not find: $unknown"
if [[ -n $missing ]]; then
  for name in $missing; do
    if bound_to_app "$name"; then
      echo "printer app overrides: $name was not called, though libpappl's reference to it binds to $app" >&2
    else
      echo "printer app overrides: $name was not called, and libpappl's reference to it does not bind to $app" >&2
    fi
  done
  fail "$(wc -w <<< "$missing") of ${#expected[@]} overrides were not called"
fi
echo "printer app overrides: all ${#expected[@]} overrides were called: $(tr '\n' ' ' < "$work/entered")"
