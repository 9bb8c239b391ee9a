#!/usr/bin/env bash
# Start-up cost of whole `pierline` processes at rest: `--help`, `presets` and `dock --json` on a
# sandbox home with 1 and with 1,000 presets, against `defaults export` of the same home.
# Usage: bench/startup.sh [BUILD_DIR]   (default: build). Needs hyperfine (scripts/bootstrap).
set -euo pipefail
build=$(realpath "${1:-build}")
pierline="$build/pierline"
defaults="$build/libexec/pierline/defaults"
for tool in "$pierline" "$defaults"; do
  [ -x "$tool" ] || { echo "missing $tool: build the pierline and pierline_tools targets" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is missing: run scripts/bootstrap" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

echo "libraries loaded by pierline --help: $(LD_DEBUG=libs "$pierline" --help 2>&1 >/dev/null | grep -c 'calling init:')"

for count in 1 1000; do
  export PIERLINE_HOME="$work/home-$count"
  "$pierline" sandbox init >/dev/null
  "$pierline" presets >/dev/null # makes the store with its default preset
  for ((i = 2; i <= count; i++)); do "$pierline" preset create "Preset $i" >/dev/null; done
  echo
  echo "== $count preset(s) in $PIERLINE_HOME"
  hyperfine --shell=none --warmup 3 --min-runs 30 --export-markdown "$work/$count.md" \
    -n "pierline --help" "$pierline --help" \
    -n "pierline presets" "$pierline presets" \
    -n "pierline dock --json" "$pierline dock --json" \
    -n "defaults export" "$defaults export com.apple.dock -" >/dev/null
  cat "$work/$count.md"
done
echo
echo "Goals: presets at 1,000 presets <= 20 ms; dock --json <= 2x defaults export."
