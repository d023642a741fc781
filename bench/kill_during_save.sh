#!/usr/bin/env bash
# The settings file under SIGKILL: 1000 times, starts tkw-save-loop (which
# saves two different records into horalsys.conf by turns, through the
# program's own save), kills it with SIGKILL 0 to 20 ms into its saving, and
# checks that horalsys.conf is whole: 224 bytes decoding to one of the two
# records. Prints "N/1000 whole", how many kills left the save's temporary
# file behind (the kill came between its creation and the rename), and how
# many of those a tkw --set then leaves (none: it removes them). Figures only.
#
# usage: bench/kill_during_save.sh [BUILD_DIR [KILLS]]     (default: build 1000)
# The scratch directory is made under $TMPDIR (default /tmp): point it at the
# file system to be tried.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
kills="${2:-1000}"
saver="$build/bench/tkw-save-loop"
[ -x "$saver" ] || { echo "no $saver: build first (scripts/build)" >&2; exit 1; }
work="$(mktemp -d)"
SAVER_PID=""
trap '[ -n "$SAVER_PID" ] && kill -KILL "$SAVER_PID" 2>/dev/null; rm -rf "$work"' EXIT

whole=0
midsave=0
leftovers=0
for ((i = 1; i <= kills; i++)); do
  coproc SAVER { exec "$saver" save "$work"; }
  pid=$SAVER_PID
  read -r ready <&"${SAVER[0]}" || { echo "tkw-save-loop did not start" >&2; exit 1; }
  [ "$ready" = saving ] || { echo "tkw-save-loop: $ready" >&2; exit 1; }
  sleep "0.$(printf '%03d' $((RANDOM % 21)))"
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null || true
  SAVER_PID=""
  if "$saver" check "$work"; then
    whole=$((whole + 1))
  fi
  left=$(find "$work" -maxdepth 1 -name 'horalsys.conf.*.new' | wc -l)
  if [ "$left" -gt "$leftovers" ]; then
    midsave=$((midsave + 1))
  fi
  leftovers=$left
done
echo "$whole/$kills whole ($midsave kills came in the middle of a save and left its temporary file behind)"
# What tkw --set makes of them: it removes the saves' leftovers under the
# settings' lock before it saves.
if [ -x "$build/tkw" ]; then
  "$build/tkw" --dir "$work" --set jump=5 >/dev/null 2>&1 || true
  echo "tkw --set then left $(find "$work" -maxdepth 1 -name 'horalsys.conf.*.new' | wc -l) of them"
fi
