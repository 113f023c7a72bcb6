# Sourced by the tests that run the real program: a work folder, the processes they start
# (ended last started first, since the program stores its files as it ends), and a
# session bus of the test's own, never the machine's.
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

private_bus() {
  local address bus
  { read -r address; read -r bus; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  pids+=("$bus")
  export DBUS_SESSION_BUS_ADDRESS=$address
}

# A left click at (x, y) of window $1, as a hand makes it: the window raised (without a
# window manager every window opens at the same place), the pointer brought in from outside
# so that the control there sees it enter (a pointer left there by an earlier test moves
# nowhere, and a GTK button takes no click it was not entered for), a pause, then the click.
click_at() {
  xdotool windowraise "$1" 2>/dev/null || true
  xdotool mousemove --sync 1000 760
  xdotool mousemove --sync --window "$1" "$2" "$3" sleep 0.15 click 1
}

# The program $1's main window, once mapped (empty before). xdotool's names match whatever
# their case: the tray icon's window ("sentrel") matches too, and may be mapped first.
main_window() {
  local w
  for w in $(xdotool search --all --onlyvisible --pid "$1" --name '^Sentrel$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Sentrel ] && { echo "$w"; return 0; }
  done
  return 0
}
