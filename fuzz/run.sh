#!/usr/bin/env bash
# Builds the Dock plist fuzz target with clang's libFuzzer and runs it.
#   fuzz/run.sh [seconds]        default 60
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz).
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
build="${FUZZ_BUILD_DIR:-$repo/build-fuzz}"
mkdir -p "$build/objects" "$build/corpus/dock" "$build/artifacts"

src="$repo/src"
sources=(
  "$src/platform/Plist.cpp"
  "$src/platform/Url.cpp"
  "$src/platform/Utf8.cpp"
  "$src/platform/Log.cpp"
  "$src/platform/ProcessRunner.cpp"
  "$src/platform/linux/SystemPaths.cpp"
  "$src/dock/DockItem.cpp"
  "$src/dock/DockReader.cpp"
  "$src/core/PresetRecord.cpp"
  "$here/DockPlistFuzzer.cpp"
)
flags=(-std=c++20 -O1 -g -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$src" -DPIERLINE_TOOLS_DIR_DEFAULT=\"/nonexistent\")
read -r -a deps <<<"$(pkg-config --cflags Qt6Core libplist-2.0)"
read -r -a libs <<<"$(pkg-config --libs Qt6Core libplist-2.0)"

objects=()
for s in "${sources[@]}"; do
  o="$build/objects/$(basename "${s%.cpp}").o"
  if [ ! -f "$o" ] || [ "$s" -nt "$o" ] || [ "$here/run.sh" -nt "$o" ]; then
    clang++ "${flags[@]}" "${deps[@]}" -c "$s" -o "$o"
  fi
  objects+=("$o")
done
clang++ "${flags[@]}" "${objects[@]}" "${libs[@]}" -o "$build/dock_plist_fuzzer"

# The seed corpus stays as checked in; new inputs go to the build folder.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$build/dock_plist_fuzzer" "$build/corpus/dock" "$here/corpus/dock" \
  -dict="$here/dock.dict" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -artifact_prefix="$build/artifacts/"
