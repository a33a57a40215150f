#!/usr/bin/env bash
# Who may administer a server that root runs, and where its file devices
# write. As root it starts a server on a loopback port and a private socket,
# over a spool folder left open (0755, with a state file and a log readable by
# all), whose saved state has a printer on a file in the folder and one on a
# file outside it, and checks that
#   - the spool folder becomes 0700, its state file and log 0600, and the
#     saved printer on the outside file is not brought back;
#   - an unprivileged account (nobody) reads the status over the socket but
#     may not add or delete a printer or shut the server down, while an
#     account whose group is lpadmin may;
#   - over the loopback address, without an authentication service, no
#     client may pause a printer or create one;
#   - root may not add a printer on a file outside the spool folder, a file
#     that was in the spool folder before is appended to, not emptied, and a
#     folder device gets a new file for each job;
#   - with file-devices=off no file device is taken, nor brought back from
#     the saved state.
#   printer_app_authority.sh APP TEST_FOLDER
# TEST_FOLDER holds the ipptool files printer_app_pause.test and
# printer_app_create_printer.test. Exits 77, which ctest counts as skipped,
# when not run as root or without setpriv, ipptool or python3.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/support/printer_app_server.sh"
app=$1 pause_test=$2/printer_app_pause.test create_test=$2/printer_app_create_printer.test
skip() { echo "printer app authority: skipped: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "it runs the server as root"
command -v setpriv > /dev/null || skip "setpriv (util-linux) is missing"
command -v ipptool > /dev/null || skip "ipptool (cups-ipp-utils) is missing"
command -v python3 > /dev/null || skip "python3 is not installed"

work=$(mktemp -d /tmp/vexao-app-authority-XXXXXX)
server_pid=
cleanup() {
  if [[ -n $server_pid ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "printer app authority: $*" >&2
  grep -E '^[EW] ' "$spool/log" 2>/dev/null | tail -n 20 >&2 || true
  exit 1
}
# The unprivileged account reaches the socket in $work/runtime, and no more.
chmod 0711 "$work"
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }

spool=$work/spool
mkdir -m 0755 "$spool"
echo "text written before the server" > "$spool/before.prn"
echo "not the server's" > "$work/victim.txt"
# PAPPL 1.3 answers printer-id 0 for a printer created while it runs, so
# the `delete` sub-command finds only printers that the state brought back.
cat > "$spool/vexao-printer-app.state" <<STATE
NextPrinterID 3
<Printer did="MFG:Vexao;MDL:105 Band;" driver="vexao105-band" id="1" name="outside" uri="file://$work/victim.txt">
</Printer>
<Printer did="MFG:Vexao;MDL:105 Band;" driver="vexao105-band" id="2" name="office" uri="file://$spool/before.prn">
</Printer>
STATE
touch "$spool/log"
chmod 0644 "$spool/vexao-printer-app.state" "$spool/log"

start_printer_app "$app" "$work"
[[ $(stat -c %a "$spool") == 700 ]] || fail "the spool folder is $(stat -c %a "$spool"), not 700"
for file in vexao-printer-app.state log; do
  [[ $(stat -c %a "$spool/$file") == 600 ]] || fail "$file is $(stat -c %a "$spool/$file"), not 600"
done
printers() { "$app" printers; }
[[ $(printers) == office ]] || fail "the saved state brought back $(printers | tr "\n" " "), not the printer office alone"

# Over the local socket.
refused() {  # WHAT COMMAND...: the command fails with "Forbidden"
  local what=$1
  shift
  if "$@" > "$work/refused.log" 2>&1; then fail "$what was allowed"; fi
  grep -q Forbidden "$work/refused.log" || fail "$what failed, but not as forbidden: $(cat "$work/refused.log")"
}
as_nobody "$app" status > /dev/null || fail "nobody cannot read the server's status over its socket"
refused "nobody adding a printer" as_nobody "$app" add -d intruder -v "file://$spool/intruder.prn" -m vexao105-band
refused "nobody deleting a printer" as_nobody "$app" delete -d office
refused "nobody shutting the server down" as_nobody "$app" shutdown
[[ $(printers) == office ]] || fail "nobody changed the printers: $(printers)"
# The group comes with CUPS; where it is missing, nobody is in it.
if getent group lpadmin > /dev/null; then
  setpriv --reuid=nobody --regid=lpadmin --clear-groups "$app" add -d admins -v "file://$spool/admins.prn" -m vexao105-band ||
    fail "an account of the lpadmin group cannot add a printer"
fi
echo "printer app authority: over the socket nobody reads the status and is refused add, delete and shutdown"

# Over the loopback address, without an authentication service.
ipp_status() {  # URI TEST [NAME=VALUE...]: the status-code, asked as nobody
  local uri=$1 test=$2 variable variables=()
  shift 2
  for variable; do variables+=(-d "$variable"); done
  as_nobody ipptool -tv -T 20 "${variables[@]}" "$uri" "$test" 2>&1 | sed -n 's/.*status-code = \([a-z-]*\).*/\1/p' | head -n 1
}
[[ $(ipp_status "ipp://127.0.0.1:$port/ipp/print/office" "$pause_test") == client-error-forbidden ]] ||
  fail "a loopback client may pause a printer"
[[ $(ipp_status "ipp://127.0.0.1:$port/ipp/system" "$create_test" name=loopback device="file://$spool/loopback.prn") == \
  client-error-forbidden ]] || fail "a loopback client may create a printer"
echo "printer app authority: over loopback Pause-Printer and Create-Printer are refused"

# File devices.
if "$app" add -d outside -v "file://$work/victim.txt" -m vexao105-band 2> /dev/null; then
  fail "root added a printer on a file outside the spool folder"
fi
python3 - "$work/page.png" <<'PYTHON'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + b"\0\0\0" * 16 for _ in range(16))
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0))
                              + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PYTHON
print_page() {  # PRINTER: prints page.png and waits for the job to complete
  local job state _
  job=$("$app" submit -d "$1" "$work/page.png") || fail "cannot print to $1"
  job=${job##*-}
  for _ in $(seq 300); do
    state=$("$app" jobs -d "$1" | awk -v job="$job" '$1 == job { print $2 }')
    [[ $state == completed || $state == aborted || $state == canceled ]] && break
    sleep 0.1
  done
  [[ $state == completed ]] || fail "the job on $1 ended as '$state'"
}
before=$(stat -c %s "$spool/before.prn")
print_page office
[[ $(head -n 1 "$spool/before.prn") == "text written before the server" ]] || fail "the job emptied the file it printed to"
(( $(stat -c %s "$spool/before.prn") > before )) || fail "the job appended nothing to the device file"
[[ $(cat "$work/victim.txt") == "not the server's" ]] || fail "the file outside the spool folder changed"
# A folder device: each job writes a new file named after it.
mkdir "$spool/jobs"
"$app" add -d folder -v "file://$spool/jobs/" -m vexao105-band || fail "root cannot add a printer on a folder in the spool"
print_page folder
[[ -s $spool/jobs/page.png.prn ]] || fail "the folder device's job wrote no file of its own: $(ls "$spool/jobs")"
echo "printer app authority: a file outside the spool folder is refused; a job appends to the file already there, or writes a new one in a folder"

"$app" delete -d office || fail "root cannot delete a printer over the socket"
"$app" shutdown || fail "root cannot shut the server down over the socket"
wait "$server_pid" || fail "the server did not stop cleanly"
server_pid=

# The same state and spool with file devices turned off.
start_printer_app "$app" "$work" file-devices=off
[[ -z $(printers) ]] || fail "file devices came back from the saved state with file devices off: $(printers | tr "\n" " ")"
if "$app" add -d off -v "file://$spool/off.prn" -m vexao105-band 2> /dev/null; then
  fail "a file device was added with file devices off"
fi
"$app" shutdown
wait "$server_pid" || fail "the server did not stop cleanly"
server_pid=
echo "printer app authority: with file-devices=off no file device is taken or brought back"
