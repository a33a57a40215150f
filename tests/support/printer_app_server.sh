# Starts the printer application for a test, on a random loopback port and a
# private local socket, so that its sub-commands reach this server alone and
# never a packaged service or another test's server.
#   start_printer_app APP WORK [SERVER-OPTION...]
# WORK is the test's temporary folder: the spool folder is WORK/spool and the
# socket WORK/runtime/app.sock. Sets port, server_pid, spool and server (the
# base of the printers' URIs); exports VEXAO_PRINTER_APP_SOCKET and a private
# HOME, TMPDIR, XDG_CONFIG_HOME and XDG_RUNTIME_DIR. Fails the test through
# the caller's `fail` when the server does not start.
start_printer_app() {
  local app=$1 work=$2 option options=()
  shift 2
  for option; do options+=(-o "$option"); done
  spool=$work/spool
  mkdir -p "$work"/{home,tmp,config,runtime} "$spool"
  export HOME=$work/home TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
  export VEXAO_PRINTER_APP_SOCKET=$work/runtime/app.sock
  port=$(( 20000 + RANDOM % 20000 ))
  "$app" server -o server-port="$port" -o spool-directory="$spool" -o log-file="$spool/log" -o log-level=debug \
    "${options[@]}" &
  server_pid=$!
  for _ in $(seq 100); do
    (exec 3<> "/dev/tcp/127.0.0.1/$port") 2>/dev/null && [[ -S $VEXAO_PRINTER_APP_SOCKET ]] && break
    kill -0 "$server_pid" 2>/dev/null || fail "the server did not start"
    sleep 0.1
  done
  [[ -S $VEXAO_PRINTER_APP_SOCKET ]] || fail "the server does not listen on its private socket"
  server=ipp://127.0.0.1:$port/ipp/print
}

# Stops the test's processes: each PID is killed and waited for.
stop_processes() {  # PID...
  local pid
  for pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

# The server log's last errors and warnings, on standard error, to show why
# a test failed.
show_server_trouble() {
  grep -E '^[EW] ' "$spool/log" 2>/dev/null | tail -n 20 >&2 || true
}
