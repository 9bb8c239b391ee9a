#!/usr/bin/env bash
# Resident memory of the idle app (`pierline run` on the xcb platform), read from /proc/PID/status
# once the app has settled:
#   - without a tray host, and with a StatusNotifierWatcher stand-in on the session bus;
#   - with no context rules, and with a rule on every source (workspace, Do Not Disturb, displays,
#     network), each source real: an Xvfb, GSettings on the keyfile backend, NetworkManager's
#     stand-in on a private system bus.
# Usage: bench/rss.sh [BUILD_DIR] [RUNS]   (defaults: build, 3). Prints the median of RUNS per case.
# Needs xvfb, dbus-daemon and python3-dbusmock (scripts/bootstrap).
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
settle=${PIERLINE_RSS_SETTLE_SECONDS:-3}
pierline="$build/pierline"
[ -x "$pierline" ] || { echo "missing $pierline: build the pierline target" >&2; exit 1; }
for tool in Xvfb dbus-daemon gdbus gsettings; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/bootstrap" >&2; exit 1; }
done
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || { echo "python3-dbusmock is missing: run scripts/bootstrap" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a child that prints one line once it serves; the line goes to $2.
serve() {
  local out=$1
  shift
  "$@" >"$out" 2>"$out.err" &
  pids+=($!)
  for _ in $(seq 200); do
    [ -s "$out" ] && return 0
    sleep 0.05
  done
  echo "did not start: $*" >&2
  cat "$out.err" >&2
  exit 1
}

serve "$work/display" Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp
export DISPLAY=":$(head -1 "$work/display")"
serve "$work/session" dbus-daemon --session --nofork --print-address=1
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/session")
serve "$work/system" dbus-daemon --session --nofork --print-address=1
export DBUS_SYSTEM_BUS_ADDRESS=$(head -1 "$work/system")
export QT_QPA_PLATFORM=xcb GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# NetworkManager's stand-in with one device, so the network watcher has a source.
/usr/bin/python3 -m dbusmock --system --template networkmanager >"$work/nm.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
  gdbus introspect --address "$DBUS_SYSTEM_BUS_ADDRESS" -d org.freedesktop.NetworkManager \
    -o /org/freedesktop/NetworkManager >/dev/null 2>&1 && break
  sleep 0.05
done
gdbus call --address "$DBUS_SYSTEM_BUS_ADDRESS" -d org.freedesktop.NetworkManager -o /org/freedesktop/NetworkManager \
  -m org.freedesktop.DBus.Mock.AddWiFiDevice wlan0 wlan0 100 >/dev/null

# The tray host: a StatusNotifierWatcher that says a host is there and takes every item.
start_watcher() {
  /usr/bin/python3 -m dbusmock --session org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher >"$work/watcher.log" 2>&1 &
  watcher=$!
  pids+=($watcher)
  for _ in $(seq 200); do
    gdbus introspect --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher >/dev/null 2>&1 && break
    sleep 0.05
  done
  local mock=(gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher)
  "${mock[@]}" -m org.freedesktop.DBus.Mock.AddMethod org.kde.StatusNotifierWatcher \
    RegisterStatusNotifierItem s '' '' >/dev/null
  "${mock[@]}" -m org.freedesktop.DBus.Mock.AddMethod org.kde.StatusNotifierWatcher \
    RegisterStatusNotifierHost s '' '' >/dev/null
  "${mock[@]}" -m org.freedesktop.DBus.Mock.AddProperties org.kde.StatusNotifierWatcher \
    "{'IsStatusNotifierHostRegistered': <true>, 'ProtocolVersion': <0>, 'RegisteredStatusNotifierItems': <@as []>}" \
    >/dev/null
}
stop_watcher() {
  kill "$watcher" 2>/dev/null || true
  wait "$watcher" 2>/dev/null || true
}

# One idle app on a fresh home: its VmRSS in kB once settled, and the tray host it saw.
measure() {
  local rules=$1
  export PIERLINE_HOME="$work/home-$RANDOM$RANDOM"
  "$pierline" sandbox init >/dev/null
  "$pierline" settings set showMainWindowOnLaunch false >/dev/null
  if [ "$rules" = every ]; then
    "$pierline" preset create Work --from-dock >/dev/null
    "$pierline" rule add --workspace 3 Work >/dev/null
    "$pierline" rule add --dnd on Work >/dev/null
    "$pierline" rule add --display HDMI-9 Work >/dev/null
    "$pierline" rule add --network Elsewhere Work >/dev/null
  fi
  "$pierline" run >"$work/app.log" 2>&1 &
  local app=$!
  for _ in $(seq 400); do
    "$pierline" status >/dev/null 2>&1 && break
    sleep 0.05
  done
  sleep "$settle"
  local host
  host=$("$pierline" status --json | /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["statusItem"]["host"])')
  if [ "$rules" = every ]; then
    local watching
    watching=$("$pierline" rule check --json |
      /usr/bin/python3 -c 'import json,sys; print(sum(w["available"] for w in json.load(sys.stdin)["watchers"]))')
    [ "$watching" = 4 ] || { echo "only $watching of 4 watchers run" >&2; "$pierline" rule check >&2; }
  fi
  local rss
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$app/status")
  "$pierline" quit >/dev/null 2>&1 || kill "$app"
  wait "$app" 2>/dev/null || true
  echo "$rss $host"
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

run_case() {
  local name=$1 rules=$2 values=() host=""
  for ((i = 0; i < runs; i++)); do
    read -r rss host < <(measure "$rules")
    values+=("$rss")
  done
  local mid
  mid=$(printf '%s\n' "${values[@]}" | median)
  printf '%-34s %8s kB  (runs: %s; tray host: %s)\n' "$name" "$mid" "${values[*]}" "$host"
  eval "result_${3}=$mid"
}

echo "idle app after ${settle}s, median of $runs"
run_case "no tray host, no rules" none bare
run_case "no tray host, a rule per source" every rules
start_watcher
run_case "tray host, no rules" none tray
stop_watcher
echo
echo "tray item costs:      $((result_tray - result_bare)) kB"
echo "every watcher costs:  $((result_rules - result_bare)) kB   (goal: within 2048 kB)"
