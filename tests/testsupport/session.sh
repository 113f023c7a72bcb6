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
