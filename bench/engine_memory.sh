#!/usr/bin/env bash
# The engine's memory over a long run: tkw-replay with the 2 ms timer (--tick)
# and the monitor on, over KRW_CODE captures of 1, 7 and 35 days from
# bench/make_capture.py (a frame a second, noise, a jump an hour), and the
# peak resident memory of each run. The capture is streamed, so what grows
# would be the engine's. Prints the figures and the run times (about two
# minutes in all).
#
# usage: bench/engine_memory.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
replay="$build/tkw-replay"
[ -x "$replay" ] || { echo "no $replay: build first (scripts/build)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '%-8s %10s %16s %12s\n' run frames 'peak RSS' seconds
for days in 1 7 35; do
  python3 bench/make_capture.py $((days * 86400)) >"$work/capture.cap"
  mkdir "$work/logs"
  /usr/bin/time -f '%M %e' -o "$work/time.out" \
    "$replay" --format 1 --tick --monitor --dir "$work/logs" "$work/capture.cap" >/dev/null
  read -r kib secs <"$work/time.out"
  label="$days days"
  [ "$days" = 1 ] && label="1 day"
  printf '%-8s %10s %12s KiB %12s\n' "$label" $((days * 86400)) "$kib" "$secs"
  rm -rf "$work/capture.cap" "$work/logs"
done
