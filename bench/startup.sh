#!/usr/bin/env bash
# Start-up cost of whole `pierline` processes at rest: `--help`, `presets` and `dock --json` on a
# sandbox home with 1 and with 1,000 presets, against `defaults export` of the same home and
# against the floor, a bare Qt program that runs that `defaults export` and prints its output.
# Usage: bench/startup.sh [BUILD_DIR]   (default: build). Needs hyperfine (scripts/bootstrap).
set -euo pipefail
build=$(realpath "${1:-build}")
pierline="$build/pierline"
defaults="$build/libexec/pierline/defaults"
floor="$build/bench/bench_startup_floor"
for tool in "$pierline" "$defaults" "$floor"; do
  [ -x "$tool" ] || { echo "missing $tool: build pierline, pierline_tools and bench_startup_floor" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is missing: run scripts/bootstrap" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

count_libraries() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -c 'calling init:'; }
echo "libraries loaded: pierline --help $(count_libraries "$pierline" --help)," \
  "defaults export $(count_libraries "$defaults" export com.apple.dock -)"

for count in 1 1000; do
  export PIERLINE_HOME="$work/home-$count"
  "$pierline" sandbox init >/dev/null
  "$pierline" presets >/dev/null # makes the store with its default preset
  for ((i = 2; i <= count; i++)); do "$pierline" preset create "Preset $i" >/dev/null 2>&1; done
  echo
  echo "== $count preset(s) in $PIERLINE_HOME"
  hyperfine --shell=none --warmup 5 --min-runs 50 --export-markdown "$work/$count.md" \
    -n "pierline --help" "$pierline --help" \
    -n "pierline presets" "$pierline presets" \
    -n "pierline dock --json" "$pierline dock --json" \
    -n "floor: Qt program running defaults export" "$floor $defaults" \
    -n "defaults export" "$defaults export com.apple.dock -" >/dev/null 2>&1
  cat "$work/$count.md"
done
echo
echo "Goals: presets at 1,000 presets <= 20 ms; dock --json <= 2x defaults export."
