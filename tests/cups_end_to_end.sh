#!/usr/bin/env bash
# Prints a two-page PDF through a private CUPS scheduler with the vexao PPD
# and filter, then decodes what the file backend received.
#   cups_end_to_end.sh FILTER PPD INSPECT PAGE_CHECK
# The scheduler listens on a loopback port, keeps its configuration, spool and
# logs in a temporary folder, runs filters as lp, and is stopped on exit.
set -euo pipefail
filter=$1 ppd=$2 inspect=$3 page_check=$4

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
  tail -n 40 "$work/log/error_log" >&2 2>/dev/null || true
  exit 1
}

port=$(( 20000 + RANDOM % 20000 ))
mkdir -p "$work"/{etc/ppd,spool/tmp,log,cache,state,out,bin/filter}
chmod 777 "$work/out"
chown -R root:lp "$work/spool" "$work/cache" "$work/state" && chmod 770 "$work/spool" "$work/spool/tmp"

# cupsd runs only filters from a folder that lp can reach and nobody else can
# write: a private server folder with the system's filters and ours.
for part in backend cgi-bin daemon monitor notifier; do
  [[ -e /usr/lib/cups/$part ]] && ln -s "/usr/lib/cups/$part" "$work/bin/$part"
done
ln -s /usr/lib/cups/filter/* "$work/bin/filter/"
install -m 755 "$filter" "$work/bin/filter/rastertovexao"

cat > "$work/etc/cupsd.conf" <<CONF
Listen 127.0.0.1:$port
LogLevel debug
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$work/etc/cups-files.conf" <<CONF
FileDevice Yes
User lp
Group lp
SystemGroup root
ServerRoot $work/etc
ServerBin $work/bin
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
CONF

/usr/sbin/cupsd -f -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf" &
cupsd_pid=$!
server=127.0.0.1:$port
for _ in $(seq 100); do
  lpstat -h "$server" -r > /dev/null 2>&1 && break
  kill -0 "$cupsd_pid" 2>/dev/null || fail "cupsd did not start"
  sleep 0.1
done
lpstat -h "$server" -r > /dev/null 2>&1 || fail "cupsd does not answer on $server"

output=$work/out/job.prn
# A scheduler that has just started may still drop the first connections.
retry() {
  local attempt
  for attempt in 1 2 3 4 5; do
    "$@" 2> "$work/command.err" && return 0
    sleep 1
  done
  return 1
}
retry lpadmin -h "$server" -p vexao -E -v "file:$output" -P "$ppd" ||
  fail "lpadmin refused the printer: $(cat "$work/command.err")"

# Two pages: a black bar across the top of the first, a cyan bar across the
# bottom of the second.
cat > "$work/doc.ps" <<'PS'
%!PS
/bar { newpath 0 exch moveto 612 0 rlineto 0 72 rlineto -612 0 rlineto closepath fill } def
0 setgray 700 bar showpage
1 0 0 0 setcmykcolor 40 bar showpage
PS
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$work/doc.pdf" "$work/doc.ps"
chmod 644 "$work/doc.pdf"

retry lp -h "$server" -d vexao -o ColorModel=CMYK -o VexaoQuality=Draft -o Resolution=300dpi "$work/doc.pdf" > /dev/null ||
  fail "lp refused the job: $(cat "$work/command.err")"
for _ in $(seq 600); do
  [[ -z $(lpstat -h "$server" -o vexao 2>/dev/null) ]] && break
  sleep 0.2
done
[[ -z $(lpstat -h "$server" -o vexao 2>/dev/null) ]] || fail "the job did not finish"
[[ -s $output ]] || fail "the backend wrote nothing"

mkdir -p "$work/pages"
"$inspect" --model e --raster-mode 20 --out "$work/pages" "$output" || fail "the stream does not decode"
"$page_check" "$output" || fail "the pages do not show the document"
