# Sourced by the scripts that need a virtual X display:
#   start_display FIRST LAST [SIZE] [tray]
# starts Xvfb on a display number it picks itself (-displayfd: no two runs ever race for one,
# and a desktop session is left alone; FIRST and LAST are kept for the callers and unused),
# exports DISPLAY, and with "tray" starts a tray host on it; stop_display ends both.
display_pids=()

start_display() {
  local size="${3:-1024x768x24}" fifo n=""
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  display_pids+=($!)
  # Written once it takes connections.
  read -r -t 30 n <"$fifo" || true
  rm -f "$fifo"
  [ -n "$n" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$n"
  if [ "${4:-}" = tray ]; then
    trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 &
    display_pids+=($!)
  fi
}

# A session bus of the run's own, so that no test reaches the desktop's (its tray, its
# notifications): the program looks for those services on whatever bus it is given.
start_private_bus() {
  local address pid
  { read -r address; read -r pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  display_pids+=("$pid")
  export DBUS_SESSION_BUS_ADDRESS="$address"
}

stop_display() {
  local p
  for p in "${display_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  display_pids=()
}
