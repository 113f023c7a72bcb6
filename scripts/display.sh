# Sourced by the scripts that need a virtual X display:
#   start_display FIRST LAST [SIZE] [tray]
# starts Xvfb on the first free display number in FIRST..LAST (so parallel runs and a
# desktop session are left alone), exports DISPLAY, and with "tray" starts a tray host on
# it; stop_display ends both.
display_pids=()

start_display() {
  local first="$1" last="$2" size="${3:-1024x768x24}" n disp=""
  for n in $(seq "$first" "$last"); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then disp=":$n"; break; fi
  done
  [ -n "$disp" ] || { echo "no free display number in $first..$last" >&2; return 1; }
  Xvfb "$disp" -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
  display_pids+=($!)
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
  export DISPLAY="$disp"
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
