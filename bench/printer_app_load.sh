#!/usr/bin/env bash
# A load test of the printer application: its own server on a random
# loopback port, two printers writing to folders in the spool folder, and
# concurrent clients sending a mix of PWG raster, Apple raster, PNG and JPEG
# jobs, a tenth of them canceled while they print and a tenth broken
# (bench/printer_app_load.py does the clients and the checks). See --help.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
source "$repo/tests/support/bar_pages.sh"
source "$repo/tests/support/printer_app_server.sh"

usage() {
  cat <<EOF
Usage: bench/printer_app_load.sh [OPTIONS]
Starts the printer application on a random loopback port with two printers on
folder devices in its spool folder, and has concurrent clients print to them:
PWG raster, Apple raster, PNG and JPEG documents of bars, rendered once with
Ghostscript. A tenth of the jobs are canceled while they print, a tenth carry
broken documents (truncated raster, junk after the sync word, a bad page
header, a truncated PNG). Then it checks that every job ended within its
bound, that each completed job's stream decodes to its pages, that the
server's resident memory at the end is within 20% of the most it held during
the first 20 jobs, that the server still answers and that it shuts down
cleanly.
It reports jobs a minute, the time from submission to the last byte written
(median and 95th percentile) and the server's peak memory. The server runs
with MALLOC_ARENA_MAX=1 unless the variable is set.

Options:
  --quick          300 dpi pages at draft quality and a four-page long document: a run of two
                   minutes at most (the default: 600 dpi, eight pages)
  --jobs N         jobs in all, at least 40 (default 120)
  --clients N      concurrent clients (default 4)
  --bound S        seconds each job may take to end, and each request to be
                   answered (default 60; more for a sanitizer build)
  --time-limit S   send no new job after S seconds (default 900, quick 100)
  --seed N         which jobs are canceled or broken (default 1)
  --build DIR      the build folder with the programs (default build)
  --app PATH       the vexao-printer-app to load, for example a sanitizer
                   build's (default DIR/printer-app/vexao-printer-app)
  --inspect PATH   vexao-inspect (default DIR/tools/vexao-inspect)
  --page-check PATH  vexao_cups_page_check (default DIR/tests/vexao_cups_page_check)
  --help           show this text

A raster job sent to a printer busy with another job is answered
server-error-busy; its client tries again after a pause until the job's bound,
and a job refused until then counts as ended (refused), not as a failure.

Exit status: 0 passed, 1 failed (the reasons on stderr), 2 usage error,
77 Ghostscript, python3 or a program is missing.
EOF
}
usage_error() { echo "printer app load: $*; see --help" >&2; exit 2; }
missing() { echo "printer app load: skipped: $*" >&2; exit 77; }
exec 4>&2  # messages keep going to stderr while the server's output goes to a file
fail() {
  echo "printer app load: FAILED: $*" >&4
  exit 1
}

quick=false jobs=120 clients=4 bound=60 time_limit= seed=1 build=$repo/build app= inspect= page_check=
while (( $# > 0 )); do
  case $1 in
    --help) usage; exit 0 ;;
    --quick) quick=true; shift; continue ;;
    --jobs|--clients|--bound|--time-limit|--seed|--build|--app|--inspect|--page-check)
      (( $# >= 2 )) || usage_error "$1 needs a value" ;;
    *) usage_error "unknown argument '$1'" ;;
  esac
  case $1 in
    --jobs) jobs=$2 ;; --clients) clients=$2 ;; --bound) bound=$2 ;; --time-limit) time_limit=$2 ;;
    --seed) seed=$2 ;; --build) build=$2 ;; --app) app=$2 ;; --inspect) inspect=$2 ;; --page-check) page_check=$2 ;;
  esac
  shift 2
done
for number in jobs clients bound seed ${time_limit:+time_limit}; do
  [[ ${!number} =~ ^[0-9]+$ ]] || usage_error "--${number/_/-} must be a whole number, not '${!number}'"
done
(( jobs >= 40 )) || usage_error "--jobs must be at least 40: memory is compared after the first 20"
(( clients >= 1 && clients <= 64 )) || usage_error "--clients must be from 1 to 64"
(( bound >= 1 )) || usage_error "--bound must be at least 1"
app=${app:-$build/printer-app/vexao-printer-app}
inspect=${inspect:-$build/tools/vexao-inspect}
page_check=${page_check:-$build/tests/vexao_cups_page_check}
if $quick; then resolution=300 long_pages=4 time_limit=${time_limit:-100}
else resolution=600 long_pages=8 time_limit=${time_limit:-900}; fi

command -v gs > /dev/null || missing "Ghostscript is not installed"
command -v python3 > /dev/null || missing "python3 is not installed"
for program in "$app" "$inspect" "$page_check"; do
  [[ -x $program ]] || missing "$program is not built (cmake --build $build --target vexao-printer-app vexao-inspect vexao_cups_page_check)"
done

work=$(mktemp -d /tmp/vexao-app-load-XXXXXX)
server_pid= children_left=false
stop_server() {  # asks the server to stop, then kills it if it has not within 20 s; sets server_status
  [[ -n $server_pid ]] || return 0
  timeout 5 "$app" shutdown > /dev/null 2>&1 || kill "$server_pid" 2>/dev/null || true
  for _ in $(seq 200); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$server_pid" 2>/dev/null; then
    kill -KILL "$server_pid" 2>/dev/null || true
    server_status=killed
  fi
  local status=0
  wait "$server_pid" 2>/dev/null || status=$?
  [[ ${server_status:-} == killed ]] || server_status=$status
  # Processes the server forked that outlived it would hold its sockets.
  if kill -0 -- "-$server_pid" 2>/dev/null; then
    kill -KILL -- "-$server_pid" 2>/dev/null || true
    children_left=true
  fi
  server_pid=
}
cleanup() {
  stop_server
  if [[ ${result:-1} == 0 ]]; then rm -rf "$work"
  else echo "printer app load: the server's log, output and documents are in $work" >&2; fi
}
trap cleanup EXIT

# Under the sanitizers, what PAPPL and libcups leave to the process's end is
# theirs and no leak of ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$repo/tests/pappl_leaks.supp:print_suppressions=0}
# ThreadSanitizer: PAPPL 1.3 takes its system, printer and job locks in
# differing orders, and a suppression matches any frame of a report, so one
# for PAPPL's lock orders would hide our callbacks' too: the lock-order
# checker is off, and a deadlock shows as jobs that do not end.
export TSAN_OPTIONS=${TSAN_OPTIONS:-suppressions=$here/printer_app_tsan.supp:detect_deadlocks=0}

echo "printer app load: rendering the documents at $resolution dpi, printed at the quality that prints at it" >&2
render() {  # POSTSCRIPT DEVICE OUTPUT OPTIONS...
  local input=$1 device=$2 output=$3
  shift 3
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$device" "$@" -sOutputFile="$work/$output" "$work/$input" \
    > "$work/gs.log" 2>&1 || fail "Ghostscript cannot render $output: $(cat "$work/gs.log")"
}
raster=(-r"$resolution" -dcupsColorSpace=19 -dcupsBitsPerColor=8)
write_bar_pages "$work/bars.ps" "0 1 1 setrgbcolor" top+bottom top
write_bar_pages "$work/picture.ps" "0 1 1 setrgbcolor" top+bottom
write_bar_pages "$work/long.ps" "0 1 1 setrgbcolor" $(for _ in $(seq "$long_pages"); do echo grey; done)
render bars.ps pwgraster bars.pwg "${raster[@]}"
render bars.ps urf bars.urf "${raster[@]}"
render picture.ps png16m bars.png -r100
render picture.ps jpeg bars.jpg -r100 -dJPEGQ=95
render long.ps pwgraster long.pwg "${raster[@]}"

# glibc gives threads arenas of their own, up to 16 on two cores, each
# filling with free blocks of its own over the first few hundred jobs, which
# looks like growth. With one arena, what grows after 20 jobs is what the
# server keeps.
export MALLOC_ARENA_MAX=${MALLOC_ARENA_MAX:-1}
set -m  # the server in a process group of its own, which its children share
start_printer_app "$app" "$work" 2> "$work/server.log"
set +m
for printer in a b; do
  mkdir "$spool/$printer"
  "$app" add -d "$printer" -v "file://$spool/$printer/" -m vexao105-band > /dev/null 2>&1 ||
    fail "cannot add printer $printer on file://$spool/$printer/"
done

result=0
python3 "$here/printer_app_load.py" --port "$port" --server-pid "$server_pid" --spool "$spool" \
  --documents "$work" --resolution "$resolution" --long-pages "$long_pages" --app "$app" --inspect "$inspect" \
  --page-check "$page_check" --jobs "$jobs" --clients "$clients" --bound "$bound" --time-limit "$time_limit" \
  --seed "$seed" || result=$?

if (( result != 0 )) && kill -0 "$server_pid" 2>/dev/null && command -v gdb > /dev/null; then
  # Where the server's threads are, before it is asked to stop.
  timeout 60 gdb -p "$server_pid" -batch -ex "thread apply all bt" > "$work/server-stacks.txt" 2>&1 || true
  echo "printer app load: the server's threads at the failure: $work/server-stacks.txt" >&2
fi
stop_server
case $server_status in
  0) ;;
  killed) echo "printer app load: FAILED: the server did not shut down within 20 s and was killed" >&2; result=1 ;;
  *) echo "printer app load: FAILED: the server exited with status $server_status" >&2; result=1 ;;
esac
if $children_left; then
  echo "printer app load: FAILED: processes forked by the server outlived it, and were killed" >&2
  result=1
fi
if grep -qE '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer|SUMMARY: )|runtime error:' "$work/server.log"; then
  echo "printer app load: FAILED: the sanitizers report faults in the server:" >&2
  grep -E '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer|SUMMARY: )|runtime error:|^    #[0-9] ' "$work/server.log" | head -n 40 >&2
  result=1
fi
(( result == 0 )) || show_server_trouble
echo "printer app load: $( ((result == 0)) && echo passed || echo failed)" >&2
exit "$result"
