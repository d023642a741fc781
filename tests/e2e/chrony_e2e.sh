#!/usr/bin/env bash
# TKW as the time source of a network: tkw-sim (2 s ahead of this PC) on one
# end of a pseudo-terminal pair, tkw --dry-run --no-step --chrony-sock on the
# other, feeding a chronyd of the test's own (-x: it never touches this
# machine's clock; no NTP port, no UDP command port, its socket and files in
# a scratch directory). tkw starts first, so it meets no socket and says so;
# once chronyd is up it takes the samples. Checks that chronyd selects the
# reference clock TKW (#*), that its tracking finds this PC 2 s slow of it
# within a few milliseconds (the fine adjustment set to 0:
# a pseudo-terminal has no line delay), and that tkw never stepped the clock.
#
#   tests/e2e/chrony_e2e.sh BUILD_DIR        (needs root, chrony and socat)
set -euo pipefail
build="$(realpath "${1:-build}")"
for tool in chronyd chronyc socat; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
work="$(mktemp -d)"
chmod 700 "$work"  # chronyd keeps its command socket only in a private directory
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
# say, ok, bad (counted in $failures) and wait_until, polling every 0.5 s.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
wait_every=0.5
cd "$work"

socat pty,raw,echo=0,link="$work/receiver" pty,raw,echo=0,link="$work/pc" >socat.log 2>&1 & pids+=($!)
wait_until 10 test -e "$work/pc" || { echo "socat made no pair" >&2; exit 1; }
"$build/tkw" --set fine=0 >/dev/null
"$build/tkw-sim" --device "$work/receiver" --offset-seconds 2 >sim.log 2>&1 & pids+=($!)
TKW_INSTANCE="chrony-e2e-$$" "$build/tkw" --dry-run --no-step --chrony-sock "$work/tkw.sock" \
  --map "COM1=$work/pc" >tkw.log 2>&1 & pids+=($!)
said() { grep -q "$1" tkw.log; }
if wait_until 10 said "chrony's socket $work/tkw.sock: No such file or directory; trying again with each frame"; then
  ok "no chronyd yet: said once, tkw runs on"
else
  bad "no word of the missing socket: $(tr '\n' '|' <tkw.log)"
fi

cat >chrony.conf <<CONF
refclock SOCK $work/tkw.sock refid TKW poll 0 filter 4
port 0
cmdport 0
bindcmdaddress $work/chronyd.sock
pidfile $work/chronyd.pid
driftfile $work/drift
CONF
chronyd -x -d -u root -f "$work/chrony.conf" >chronyd.log 2>&1 & pids+=($!)
chronyc_() { chronyc -h "$work/chronyd.sock" -n "$@" 2>/dev/null; }
if wait_until 15 said "chrony's socket $work/tkw.sock takes the samples"; then ok "chronyd up: tkw's samples go in"; else bad "tkw never reached chronyd"; fi
selected() { chronyc_ sources | grep -q '^#\* TKW'; }
if wait_until 60 selected; then
  ok "chronyd selected the reference clock: $(chronyc_ sources | grep 'TKW' | tr -s ' ')"
else
  bad "TKW not selected: $(chronyc_ sources | tr '\n' '|')"
fi
sleep 5  # a few more samples
# The offset to compare is tracking's "System time": chronyd -x never
# corrects the clock, so it keeps that as the clock's error and measures the
# samples after the first against its own corrected time (chronyc sources
# shows the 2 s in brackets only until the first update).
# "System time     : 2.000199080 seconds slow of NTP time"
system="$(chronyc_ tracking | awk -F': ' '/^System time/ { print $2 }')"
if awk -v s="$system" 'BEGIN { split(s, f, " "); d = f[1] - 2.0; if (d < 0) d = -d; exit !(f[3] == "slow" && d < 0.005) }'; then
  ok "this PC is $system (tkw-sim runs 2 s ahead)"
else
  bad "chronyd's tracking: system time $system, expected 2.000 s slow within 5 ms"
fi
if grep -q '^SET ' tkw.log; then bad "tkw stepped the clock: $(grep -m1 '^SET ' tkw.log)"; else ok "tkw never stepped the clock (--no-step)"; fi

[ "$failures" -eq 0 ] || { echo "--- tkw"; cat tkw.log; echo "--- chronyd"; cat chronyd.log; exit 1; }
say "all checks passed"
