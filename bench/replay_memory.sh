#!/usr/bin/env bash
# tkw-replay's peak resident memory on a 1-hour and a 7-day KRW_CODE capture
# (from bench/make_capture.py), read from a file and from standard input. The
# capture is streamed, so the figures should be about the same. Figures only.
#
# usage: bench/replay_memory.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
replay="$build/tkw-replay"
[ -x "$replay" ] || { echo "no $replay: build first (scripts/build)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Peak resident set size in KiB of one tkw-replay run; its output is dropped.
peak_kib() {
  /usr/bin/time -f '%M' -o "$work/time.out" "$@" >/dev/null
  cat "$work/time.out"
}

printf '%-8s %10s %9s %18s %18s\n' capture lines MB 'peak RSS (file)' 'peak RSS (stdin)'
for spec in "1 hour:3600" "7 days:604800"; do
  name="${spec%%:*}"
  seconds="${spec##*:}"
  cap="$work/capture.cap"
  python3 bench/make_capture.py "$seconds" >"$cap"
  lines=$(wc -l <"$cap")
  mb=$(awk -v b="$(wc -c <"$cap")" 'BEGIN { printf "%.1f", b / 1e6 }')
  file_kib=$(peak_kib "$replay" --format 1 --monitor --dir "$work" "$cap")
  stdin_kib=$(peak_kib sh -c '"$1" --format 1 --monitor --dir "$2" - <"$3"' sh "$replay" "$work" "$cap")
  printf '%-8s %10s %9s %14s KiB %14s KiB\n' "$name" "$lines" "$mb" "$file_kib" "$stdin_kib"
  rm -f "$cap" "$work"/*.txt
done
