#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# SECONDS (default 60). The seed corpus is copied to a scratch directory, so
# the repository is left as it is; a crash leaves its input in that directory
# (the path is printed) and makes this script fail.
#
#   fuzz/run.sh [SECONDS] [TARGET...]      targets: handlechunk config
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(handlechunk config)

root="$PWD"
cxx="${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}"
# A cache made with another compiler would be thrown away by CMake together
# with the options given here; start that one afresh instead.
if [ -f build-fuzz/CMakeCache.txt ] && ! grep -qx "CMAKE_CXX_COMPILER:[A-Z]*=$cxx" build-fuzz/CMakeCache.txt; then
  rm -rf build-fuzz
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTKW_FUZZ=ON -DTKW_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}")

scratch="$(mktemp -d "${TMPDIR:-/tmp}/tkw-fuzz.XXXXXX")"
status=0
for t in "${targets[@]}"; do
  work="$scratch/$t"
  mkdir -p "$work/corpus"
  cp fuzz/corpus/"$t"/* "$work/corpus/"
  echo "== fuzz_$t for ${seconds}s (corpus and any crash in $work)"
  if (cd "$work" && "$root/build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 corpus >"$work/log" 2>&1); then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^Done ' "$work/log" || true
    rm -rf "$work"
  else
    status=1
    tail -n 60 "$work/log"
    echo "fuzz_$t FAILED; reproduce with: build-fuzz/fuzz/fuzz_$t $(ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null | head -1)"
  fi
done
[ "$status" -eq 0 ] && rm -rf "$scratch"
exit "$status"
