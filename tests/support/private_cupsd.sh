# A private CUPS scheduler for a test, on a random loopback port, with all it
# keeps in the test's folder: it never touches the machine's own scheduler.
# cupsd runs its filters as lp, so the test must run as root.
#   prepare_private_cupsd WORK   makes WORK's folders and the configuration;
#                                filters may then be added to WORK/bin/filter
#   start_private_cupsd          starts it: sets cupsd_pid and server (HOST:PORT)
#   retry COMMAND...             runs COMMAND up to five times
# The caller defines `fail`, and stops cupsd_pid when it ends.

prepare_private_cupsd() {  # WORK
  local work=$1 part
  cupsd_work=$1
  cupsd_port=$(( 20000 + RANDOM % 20000 ))
  mkdir -p "$work"/{etc/ppd,spool/tmp,log,cache,state,out,bin/filter,lib}
  chmod 777 "$work/out"
  chown -R root:lp "$work/spool" "$work/cache" "$work/state" && chmod 770 "$work/spool" "$work/spool/tmp"
  # cupsd runs only filters from a folder that lp can reach and nobody else
  # can write: a private server folder with the system's filters.
  for part in backend cgi-bin daemon monitor notifier; do
    [[ -e /usr/lib/cups/$part ]] && ln -s "/usr/lib/cups/$part" "$work/bin/$part"
  done
  ln -s /usr/lib/cups/filter/* "$work/bin/filter/"
  # The filter limit lets two jobs run at a time, one for each processor of
  # a small machine; the log is kept whole for the messages of failed jobs.
  cat > "$work/etc/cupsd.conf" <<CONF
Listen 127.0.0.1:$cupsd_port
LogLevel debug
MaxLogSize 0
FilterLimit 600
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
}

start_private_cupsd() {
  /usr/sbin/cupsd -f -c "$cupsd_work/etc/cupsd.conf" -s "$cupsd_work/etc/cups-files.conf" &
  cupsd_pid=$!
  server=127.0.0.1:$cupsd_port
  for _ in $(seq 100); do
    lpstat -h "$server" -r > /dev/null 2>&1 && break
    kill -0 "$cupsd_pid" 2>/dev/null || fail "cupsd did not start"
    sleep 0.1
  done
  lpstat -h "$server" -r > /dev/null 2>&1 || fail "cupsd does not answer on $server"
}

# A scheduler that has just started may still drop the first connections.
retry() {
  local _
  for _ in 1 2 3 4 5; do
    "$@" 2> "$cupsd_work/command.err" && return 0
    sleep 1
  done
  return 1
}
