#!/usr/bin/env bash
# Builds one fuzz target through CMake (clang, PIERLINE_BUILD_FUZZ=ON) and runs it.
#   fuzz/run.sh [TARGET] [SECONDS]     TARGET: dock_plist_fuzzer (default), store_fuzzer,
#     advanced_hotkey_fuzzer, shortcut_table_fuzzer, instance_frame_fuzzer, desktop_file_fuzzer, backup_fuzzer, webapp_line_fuzzer,
#     deep_link_fuzzer, theme_file_fuzzer, spacer_design_fuzzer, spacer_metadata_fuzzer, icns_fuzzer or
#     quayshare_answer_fuzzer; SECONDS default 60
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_JOBS (build jobs, default 2).
set -euo pipefail

target="${1:-dock_plist_fuzzer}"
seconds="${2:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
build="${FUZZ_BUILD_DIR:-$repo/build-fuzz}"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DPIERLINE_BUILD_FUZZ=ON -DPIERLINE_BUILD_TESTS=OFF -DPIERLINE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target "$target"

# The checked-in seeds stay as they are; new inputs go to the build folder.
corpus="$build/corpus/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$corpus" "$artifacts"
args=()
case "$target" in
  dock_plist_fuzzer)
    args=("$here/corpus/dock" -dict="$here/dock.dict" -max_len=65536)
    ;;
  store_fuzzer)
    seeds="$build/seeds/store"
    if [ ! -f "$seeds/presets.sqlite" ]; then
      cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target store_fuzz_seeds
      PIERLINE_HOME="$build/seed-home" "$build/fuzz/store_fuzz_seeds" "$seeds"
    fi
    args=("$seeds" -max_len=32768)
    ;;
  advanced_hotkey_fuzzer)
    args=("$here/corpus/advanced_hotkeys" -max_len=8192)
    ;;
  instance_frame_fuzzer)
    args=(-max_len=4096)
    ;;
  desktop_file_fuzzer)
    args=("$here/corpus/desktop_file" -max_len=4096)
    ;;
  shortcut_table_fuzzer)
    args=("$here/corpus/shortcut_tables" -max_len=16384)
    ;;
  backup_fuzzer)
    args=("$here/corpus/backup" -max_len=65536)
    ;;
  webapp_line_fuzzer)
    args=("$here/corpus/webapp_lines" -max_len=4096)
    ;;
  deep_link_fuzzer)
    args=("$here/corpus/deep_links" -max_len=4096)
    ;;
  theme_file_fuzzer)
    args=("$here/corpus/theme_file" -max_len=16384)
    ;;
  spacer_design_fuzzer)
    args=("$here/corpus/spacer_design" -max_len=4096)
    ;;
  spacer_metadata_fuzzer)
    args=("$here/corpus/spacer_metadata" -max_len=8192)
    ;;
  icns_fuzzer)
    args=("$here/corpus/icns" -max_len=65536)
    ;;
  quayshare_answer_fuzzer)
    args=("$here/corpus/quayshare_answers" -max_len=4096)
    ;;
  *)
    echo "unknown fuzz target: $target" >&2
    exit 2
    ;;
esac

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$build/fuzz/$target" "$corpus" "${args[@]}" -max_total_time="$seconds" -timeout=10 \
  -artifact_prefix="$artifacts/"
