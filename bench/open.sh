#!/usr/bin/env bash
# A pierline:// switch link handed to the running app, from exec until the app has handed the switch
# to the apply entry and answered, against a bare `pierline --version`. The preset is already on
# the Dock and "skip if same preset" is on, so every run enters the apply entry and writes nothing
# (the 4-second guard only counts completed writes).
# Usage: bench/open.sh [BUILD_DIR]   (default: build). Needs hyperfine (scripts/bootstrap).
set -euo pipefail
build=$(realpath "${1:-build}")
pierline="$build/pierline"
[ -x "$pierline" ] || { echo "missing $pierline: build the pierline target" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is missing: run scripts/bootstrap" >&2; exit 1; }

work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" PIERLINE_HOME="$work/home" QT_QPA_PLATFORM=offscreen
mkdir -m 0700 "$XDG_RUNTIME_DIR"
app=""
cleanup() {
  [ -n "$app" ] && { "$pierline" quit >/dev/null 2>&1 || kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

"$pierline" sandbox init >/dev/null
"$pierline" preset create Bench --from-dock >/dev/null
"$pierline" settings set skipApplyIfSamePreset true >/dev/null
"$pierline" run >"$work/app.log" 2>&1 &
app=$!
for _ in $(seq 200); do
  "$pierline" status --json 2>/dev/null | grep -q '"running": true' && break
  sleep 0.05
done
"$pierline" apply Bench >/dev/null
sleep 4.2 # past the guard of the write above
link="pierline://switch?name=Bench"
"$pierline" open "$link" >/dev/null

hyperfine --shell=none --warmup 5 --min-runs 50 --export-markdown "$work/open.md" \
  -n "pierline --version" "$pierline --version" \
  -n "pierline open (app running)" "$pierline open $link" >/dev/null
cat "$work/open.md"
# The structured log goes to the journal when one is reachable, else to the home's log file.
entered=$(grep -c "Applying preset from deep link: Bench" "$PIERLINE_HOME/Library/Logs/Pierline.log" 2>/dev/null || true)
echo
echo "links the app handed to the apply entry (structured log file): ${entered:-see the journal}"
echo "Goal: pierline open <= 1.2x pierline --version."
