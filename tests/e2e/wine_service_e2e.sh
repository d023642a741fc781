#!/usr/bin/env bash
# The Windows service end to end under Wine: tkw-service-e2e.exe (the build
# whose clock writes "SET ..." lines to clock.log in its directory instead of
# stepping the clock) installed with Wine's service manager in a private
# prefix, COM1 mapped to one end of a socat pair, tkw-sim on the other end.
#
#   tests/e2e/wine_service_e2e.sh TKW_SERVICE_E2E_EXE TKW_SIM
#
# Checks, in the order an administrator would meet them:
#   - --version and --help in a console;
#   - --detect COM1 finds the receiver's format (MN_CODE from tkw-sim);
#   - --calibrate COM1 --trust-clock finds tkw-sim's --late-ms 200 within
#     2 ms of when its frames went out; without --trust-clock the clock,
#     which nothing adjusts here, is refused with the commands that mend it;
#   - install --dir "C:\TKW data" (a space, quoted on the registered command
#     line): the service TKW, automatic, LocalService, its directory made;
#   - --dir ... --set writes the service's settings there;
#   - sc start: RUNNING, and the Windows Time service (made in the prefix,
#     automatic, Type NTP) is named once in the service's daily log;
#   - a receiver frame gives a SET line in clock.log at the frame's time plus
#     135 ms, 55 AA goes back, STATUS green in the log;
#   - a console copy beside the running service is refused with
#     "串口校时程序已经在运行！" (the lock tkw.exe shares);
#   - sc stop: STOPPED with exit code 0, "stopped" in the log, and
#     --correct-now says the service is not running; with Type NoSync a new
#     start says nothing of the Windows Time service;
#   - a jump waits (the receiver 30 s ahead, no correction on a jump): the
#     log's yellow status names tkw-service --correct-now, which reaches the
#     service and a SET follows; then, 30 s further, the service's control
#     code 200 sent as `sc control TKW 200` would (tkw-sc-control.exe: Wine's
#     sc has no "control") gives a SET too;
#   - a service started beside a console copy says "串口校时程序已经在运行！"
#     in its log and stops with exit code 1;
#   - the lock's name taken first by another user (tkw-lock-squatter.exe: a
#     mutex, one nobody may open, an object of another kind) stops neither
#     the service nor a console copy, which say so;
#   - uninstall: the service is gone, its directory stays; --correct-now
#     says there is none.
# Not here, since Wine cannot show them: a console that is not an
# administrator's (Wine's user is one), the restart after a failure (Wine
# keeps no failure actions), power events (no way to send one) and a COM
# port in use by another program (Wine lets a second program open it).
#
# Needs wine (64-bit) and socat. Never runs tkw-service.exe: that one would
# step the clock.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 TKW_SERVICE_E2E_EXE TKW_SIM" >&2; exit 2; }
exe="$(realpath "$1")"
sim="$(realpath "$2")"
case "$(basename "$exe")" in tkw-service-e2e.exe) ;; *) echo "only tkw-service-e2e.exe may run here" >&2; exit 2 ;; esac
[ -f "$exe" ] || { echo "no $exe: build the x64 Windows targets first" >&2; exit 2; }
wine="$(command -v wine || true)"
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
for tool in "$wine" wineserver socat iconv; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
failures=0
cleanup() {
  exec 8>&- 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "$failures" -ne 0 ] || [ "${KEEP_WORK:-0}" = 1 ]; then
    echo "--- the service's directory:"; ls -la "$data" 2>/dev/null || true
    for f in "$data"/service-*.txt; do [ -f "$f" ] && { echo "--- $f"; iconv -f GBK -t UTF-8 "$f"; }; done
    for f in "$work"/*.log; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# say, ok, bad (counted in $failures) and wait_until, polling every 0.2 s.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

socat pty,raw,echo=0,link="$work/com1" pty,raw,echo=0,link="$work/receiver" >"$work/socat.log" 2>&1 & pids+=($!)
wait_until 10 test -e "$work/receiver" || { echo "socat did not start" >&2; exit 1; }
# Held open for the whole run: socat ends when the last user of an end closes it.
exec 7<>"$work/receiver"

say "making the Wine prefix"
timeout 300 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { echo "wineboot failed" >&2; exit 1; }
cat >"$work/setup.reg" <<EOF
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$work/com1"
EOF
"$wine" regedit "$work/setup.reg" >/dev/null 2>&1
# The port map is read when wineserver starts.
timeout 60 wineserver -w 2>/dev/null || true
# Wine ends its session, and with it every service, once the last ordinary
# program has gone: a console waiting on a pipe that nothing writes keeps it
# up (and with it the same wineserver) between the calls below.
# Whichever call starts the session, its system processes inherit that call's
# output: the first call writes to no pipe, or a pipe read below would never
# see its end.
"$wine" sc query TKW </dev/null >/dev/null 2>&1 || true
mkfifo "$work/keep"
"$wine" cmd <"$work/keep" >/dev/null 2>&1 & pids+=($!)
exec 8>"$work/keep"

cp "$exe" "$WINEPREFIX/drive_c/tkw-service-e2e.exe"
svc='C:\tkw-service-e2e.exe'
dir='C:\TKW data'
data="$WINEPREFIX/drive_c/TKW data"
run() { "$wine" "$svc" "$@" 2>&1 | tr -d '\r'; }
sc() { "$wine" sc "$@" 2>&1 | tr -d '\r'; }
state() { sc query TKW | awk '/STATE/ { print $3 }'; }  # "STATE : 4 RUNNING"
state_is() { [ "$(state)" = "$1" ]; }
log_text() { cat "$data"/service-*.txt 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r'; }
logged() { log_text | grep -q -- "$1"; }

# ---- In a console.
if run --version | grep -qE '^tkw-service [0-9]+\.[0-9]+\.[0-9]+ \([0-9]{4}-[0-9]{2}\)$'; then
  ok "--version: $(run --version)"
else
  bad "--version: $(run --version)"
fi
help="$(run --help)"
if grep -q 'install \[--dir DIR\] \[options\]' <<<"$help" && ! grep -q -- '--map' <<<"$help"; then
  ok "--help lists install and no Linux-only option"
else
  bad "--help: $help"
fi

# ---- The receiver's format found by listening (the port is free before install).
say "--detect COM1, MN_CODE on the line"
"$sim" --device "$work/receiver" --format 3 --count 8 >"$work/detect-sim.log" 2>&1 & detect_sim=$!
detected="$(run --detect COM1)" && rc=0 || rc=$?
kill "$detect_sim" 2>/dev/null || true
wait "$detect_sim" 2>/dev/null || true
if [ "$rc" = 0 ] && grep -qE '^COM1: MN_CODE at 4800 bit/s, 3 frames, [0-9-]{10} [0-9:]{8}, this PC [0-9.]+ s (behind|ahead)$' <<<"$detected"; then
  ok "$(grep '^COM1: ' <<<"$detected")"
else
  bad "--detect COM1: status $rc, $detected"
fi

# ---- The receiver's delay measured (the port still free), and the clock's state said.
say "--calibrate COM1, a receiver 200 ms late"
"$sim" --device "$work/receiver" --format 1 --late-ms 200 --stamp >"$work/calibrate-sim.log" 2>&1 & calibrate_sim=$!
calibrated="$(run --calibrate COM1 --trust-clock --seconds 10)" && rc=0 || rc=$?
kill "$calibrate_sim" 2>/dev/null || true
wait "$calibrate_sim" 2>/dev/null || true
median="$(sed -n 's/^receiver delay: median \([0-9.]*\) ms, .*/\1/p' <<<"$calibrated")"
# Against when the frames really went out (their median), within 2 ms: Wine's serial path takes its time too.
sent="$(awk '/^SENT / { print ($2 % 1000000000) / 1e6 }' "$work/calibrate-sim.log" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')"
if [ "$rc" = 0 ] && grep -qE '^COM1 KRW_CODE at 4800 bit/s: [0-9]+ frames in 10 s$' <<<"$calibrated" && [ -n "$median" ] &&
   awk -v m="$median" -v s="$sent" 'BEGIN { exit !(m - s < 2 && s - m < 2) }' &&
   grep -qE '^fine adjustment now 135 ms: the clock is set [0-9.]+ ms early; calibrated value: 20[0-2]$' <<<"$calibrated"; then
  ok "$(grep '^receiver delay' <<<"$calibrated") (sent at $sent ms)"
else
  bad "--calibrate COM1: status $rc, sent at $sent ms, $calibrated"
fi
unsure="$(run --calibrate COM1 --seconds 10)" && rc=0 || rc=$?
if [ "$rc" = 1 ] && grep -q '^tkw-service: the clock: not synchronised: no Windows Time service, and nothing adjusts the clock$' <<<"$unsure" &&
   grep -q 'w32tm /resync' <<<"$unsure" && grep -q 'sc stop TKW' <<<"$unsure"; then
  ok "--calibrate without --trust-clock: $(grep -m1 'the clock: ' <<<"$unsure")"
else
  bad "--calibrate without --trust-clock: status $rc, $unsure"
fi

# ---- The Windows Time service, as a PC that synchronises with the Internet has it.
sc create W32Time binpath= 'C:\windows\system32\w32time-missing.exe' start= auto >/dev/null
"$wine" reg add 'HKLM\SYSTEM\CurrentControlSet\Services\W32Time\Parameters' /v Type /t REG_SZ /d NTP /f >/dev/null 2>&1

# ---- Install.
say "install --dir \"$dir\""
out="$(run install --dir "$dir" --comm-log)"
if [ -d "$data" ] && grep -q 'installed the service "TKW"' <<<"$out"; then ok "installed; $dir made"; else bad "install: $out"; fi
image="$("$wine" reg query 'HKLM\System\CurrentControlSet\Services\TKW' /v ImagePath 2>/dev/null | tr -d '\r' | awk -F'REG_SZ +' '/ImagePath/ { print $2 }')"
if [ "$image" = "$svc service --dir \"$dir\" --comm-log" ]; then ok "command line: $image"; else bad "command line: $image"; fi
config="$("$wine" reg query 'HKLM\System\CurrentControlSet\Services\TKW' 2>/dev/null | tr -d '\r')"
if grep -qE 'Start +REG_DWORD +0x2$' <<<"$config" && grep -q 'NT AUTHORITY\\LocalService' <<<"$config"; then
  ok "starts at boot, as NT AUTHORITY\\LocalService"
else
  bad "service configuration: $config"
fi
if state_is 1; then ok "stopped until started (the port is to be set first)"; else bad "state after install: $(state)"; fi
again="$(run install --dir "$dir")" && rc=0 || rc=$?
if grep -q 'installed already' <<<"$again"; then ok "a second install is refused: $(head -1 <<<"$again")"; else bad "second install: $again"; fi

# ---- Settings in the service's directory.
run --dir "$dir" --set port=1 format=KRW_CODE >"$work/set.log"
if [ "$(stat -c %s "$data/horalsys.conf" 2>/dev/null)" = 224 ]; then ok "--dir --set wrote horalsys.conf there"; else bad "no horalsys.conf in $dir: $(cat "$work/set.log")"; fi

# ---- Start, and a receiver.
say "sc start TKW"
sc start TKW >"$work/start.log"
if wait_until 20 state_is 4; then ok "RUNNING"; else bad "state after sc start: $(state)"; fi
if wait_until 10 logged 'the Windows Time service sets this clock too (W32Time starting at boot, Type NTP)'; then
  ok "the Windows Time service named in the log, with the command that stops it"
else
  bad "no word of the Windows Time service: $(log_text)"
fi
( "$sim" --device "$work/receiver" --format 1 --count 6 --stamp 2>"$work/sim.err" >"$work/sim.log" ) || true
first_set="$(grep -m1 '^SET ' "$data/clock.log" 2>/dev/null | tr -d '\r' || true)"
if [ -n "$first_set" ]; then
  set_ms=$(( $(date -d "$(cut -d' ' -f2-3 <<<"$first_set" | cut -d. -f1)" +%s) * 1000 + 10#$(cut -d. -f2 <<<"$first_set" | cut -c1-3) ))
  best=""
  while read -r _ ns _; do
    d=$((set_ms - ns / 1000000000 * 1000))
    if [ "$d" -ge 135 ] && [ "$d" -le 400 ]; then best="$d"; break; fi
  done < <(grep 'SENT ' "$work/sim.log")
  if [ -n "$best" ]; then ok "corrected: $(cut -d' ' -f1-3 <<<"$first_set"), the frame's second + $best ms"; else bad "$first_set matches no frame's second + 135..400 ms"; fi
else
  bad "no SET line in clock.log"
fi
if grep -q 'TX 55 AA$' "$work/sim.log"; then ok "55 AA back after the correction"; else bad "no 55 AA on the line"; fi
if logged '^[0-9-]* [0-9:]* STATUS green'; then ok "STATUS green in the log"; else bad "no STATUS green in the log"; fi
if ls "$data"/??????C.txt >/dev/null 2>&1; then ok "communication log written (--comm-log from install)"; else bad "no communication log in $dir"; fi

# ---- One program sets the clock.
second="$(timeout 60 "$wine" "$svc" --dir "$dir" 2>&1 | tr -d '\r')" && rc=0 || rc=$?
if [ "$rc" = 1 ] && grep -q '^串口校时程序已经在运行！$' <<<"$second"; then
  ok "a console copy beside the service: 串口校时程序已经在运行！, status 1"
else
  bad "console copy beside the service: status $rc, $second"
fi

# ---- Stop; and with the Windows Time service set to NoSync, a start says nothing of it.
say "sc stop TKW"
sc stop TKW >"$work/stop.log"
if wait_until 20 state_is 1; then ok "STOPPED"; else bad "state after sc stop: $(state)"; fi
if sc query TKW | grep -qE 'WIN32_EXIT_CODE +: 0 ' && logged 'tkw-service: stopped$'; then ok "exit code 0, \"stopped\" in the log"; else bad "after stop: $(sc query TKW | tr '\n' ' ')"; fi
asked="$(run --correct-now)" && rc=0 || rc=$?
if [ "$rc" = 1 ] && grep -q 'the service TKW is not running' <<<"$asked"; then ok "--correct-now, stopped: $asked"; else bad "--correct-now, stopped: status $rc, $asked"; fi
"$wine" reg add 'HKLM\SYSTEM\CurrentControlSet\Services\W32Time\Parameters' /v Type /t REG_SZ /d NoSync /f >/dev/null 2>&1
# For the next part: no correction on a jump, and the scheduled one (whose
# frame finds the jump) some 15 s from now on the receiver's clock 30 s ahead.
run --dir "$dir" --set no-correct-on-jump=on second=$(( (10#$(date +%S) + 45) % 60 )) >"$work/set2.log"
sc start TKW >/dev/null
# The notice comes before the line naming the port: wait for the second start's.
started_twice() { [ "$(log_text | grep -c 'COM1, 4800 bit/s')" = 2 ]; }
wait_until 20 started_twice || bad "the service did not start again: $(log_text | tail -3)"
if [ "$(log_text | grep -c 'Windows Time service')" = 1 ]; then ok "W32Time with Type NoSync: nothing said"; else bad "the Windows Time service named again: $(log_text | grep 'Windows Time')"; fi

# ---- A jump waits, and a correction is asked for: from a console, and by the
# service's control code. A receiver in step first takes the start-up
# correction; one 30 s ahead then finds the jump, which the schedule refuses.
say "a jump pending; tkw-service --correct-now, then control code 200"
sets() { grep -c '^SET ' "$data/clock.log" 2>/dev/null || true; }
more_sets() { [ "$(sets)" -gt "$1" ]; }
n="$(sets)"
"$sim" --device "$work/receiver" --format 1 --count 3 >/dev/null 2>&1 || true
wait_until 5 more_sets "$n" || bad "no start-up correction from a receiver in step"
"$sim" --device "$work/receiver" --format 1 --offset-seconds 30 >/dev/null 2>&1 & jump_sim=$!
if wait_until 70 logged '^[0-9-]* [0-9:]* STATUS yellow 标准与本地时间跳跃，如校正请运行 tkw-service --correct-now！$'; then
  ok "a jump pending: $(log_text | grep -o 'STATUS yellow.*' | tail -1)"
else
  bad "no yellow status naming --correct-now: $(log_text | grep STATUS | tail -2)"
fi
n="$(sets)"
asked="$(run --correct-now)" && rc=0 || rc=$?
if [ "$rc" = 0 ] && grep -q 'asked the service TKW to correct' <<<"$asked" && wait_until 5 more_sets "$n" &&
   logged 'correction asked for (service control 200): at the next accepted frame'; then
  ok "--correct-now: $asked; $(grep '^SET ' "$data/clock.log" | tail -1 | tr -d '\r')"
else
  bad "--correct-now with a jump pending: status $rc, $asked; $(sets) SET lines, was $n"
fi
kill "$jump_sim" 2>/dev/null || true
wait "$jump_sim" 2>/dev/null || true
"$sim" --device "$work/receiver" --format 1 --offset-seconds 60 >/dev/null 2>&1 & jump_sim=$!
sleep 3
n="$(sets)"
control="$("$wine" "$(dirname "$exe")/tkw-sc-control.exe" TKW 200 2>&1 | tr -d '\r')" || true
if grep -q SUCCESS <<<"$control" && wait_until 5 more_sets "$n"; then
  ok "control code 200: $control; $(grep '^SET ' "$data/clock.log" | tail -1 | tr -d '\r')"
else
  bad "control code 200 with a jump pending: $control; $(sets) SET lines, was $n"
fi
kill "$jump_sim" 2>/dev/null || true
wait "$jump_sim" 2>/dev/null || true

# ---- The other way round: a copy in a console holds the clock, and the
# service, started after it, ends by itself with status 1 (not a crash: the
# manager does not start it again).
sc stop TKW >/dev/null
wait_until 20 state_is 1 || bad "the service did not stop: $(state)"
"$wine" "$svc" --dir 'C:\' --dry-run >"$work/console.log" 2>&1 &
console_pid=$!
pids+=("$console_pid")
if wait_until 30 grep -q '^STATUS' "$work/console.log"; then
  sc start TKW >/dev/null
  refused() { state_is 1 && logged '^[0-9-]* [0-9:]* 串口校时程序已经在运行！$'; }
  if wait_until 20 refused && sc query TKW | grep -qE 'SERVICE_EXIT_CODE +: 1 '; then
    ok "started beside a console copy: 串口校时程序已经在运行！ in the log, stopped with exit code 1"
  else
    bad "the service beside a console copy: $(sc query TKW | tr '\n' ' ') $(log_text | tail -2)"
  fi
else
  bad "the console copy did not run: $(tr -d '\r' <"$work/console.log")"
fi
"$wine" taskkill /f /im tkw-service-e2e.exe >/dev/null 2>&1 || true

# ---- A squatter: any local user may take the lock's name before TKW starts,
# as a mutex anyone may look at, one that lets no one open it, or an object
# of another kind. None of them stops the service (the first) or a console
# copy (the others), both with the right to set the clock: each runs and says
# that the name is held by a program that cannot set the clock. (Wine runs
# every program with an administrator's rights: the copies without them,
# which such a name still stops, are left to the unit test of the rule.)
squatter="$(dirname "$exe")/tkw-lock-squatter.exe"
weak='the single-instance lock Global\\TKW is [a-z ]* [^,]*, not by a program that can set the clock: running all the same'
if [ -f "$squatter" ]; then
  for form in mutex deny event; do
    "$wine" "$squatter" TKW "$form" >"$work/squat-$form.log" 2>&1 &
    pids+=($!)
    if ! wait_until 30 grep -q '^ready' "$work/squat-$form.log"; then
      bad "the squatter ($form) did not take the name: $(tr -d '\r' <"$work/squat-$form.log")"
    elif [ "$form" = mutex ]; then
      sc start TKW >/dev/null || true
      if wait_until 20 logged "tkw-service: $weak" && state_is 4; then
        ok "the service beside another user's mutex of the name: RUNNING, $(log_text | grep -o 'is held by [^,]*' | tail -1)"
      else
        bad "the service beside a squatter: $(state) $(log_text | tail -2)"
      fi
      sc stop TKW >/dev/null || true
      wait_until 20 state_is 1 || bad "the service did not stop: $(state)"
    else
      "$wine" "$svc" --dir 'C:\' --dry-run >"$work/beside-$form.log" 2>&1 &
      pids+=($!)
      if wait_until 30 grep -q '^STATUS' "$work/beside-$form.log" && grep -q "$weak" "$work/beside-$form.log"; then
        ok "a console copy beside a squatter ($form): runs, $(grep -o 'is [a-z]* by [^,]*' "$work/beside-$form.log")"
      else
        bad "a console copy beside a squatter ($form): $(tr -d '\r' <"$work/beside-$form.log" | head -3)"
      fi
      "$wine" taskkill /f /im tkw-service-e2e.exe >/dev/null 2>&1 || true
    fi
    "$wine" taskkill /f /im tkw-lock-squatter.exe >/dev/null 2>&1 || true
  done
else
  bad "no $squatter beside tkw-service-e2e.exe"
fi

# ---- Uninstall.
say "uninstall"
out="$(run uninstall)"
if grep -q 'removed the service "TKW"' <<<"$out" && ! "$wine" sc query TKW >/dev/null 2>&1; then
  ok "uninstalled (stopped first)"
else
  bad "uninstall: $out / $(sc query TKW | tr '\n' ' ')"
fi
if [ -f "$data/horalsys.conf" ] && ls "$data"/service-*.txt >/dev/null 2>&1; then ok "$dir and its files stay"; else bad "$dir after uninstall: $(ls "$data" 2>&1)"; fi
asked="$(run --correct-now)" && rc=0 || rc=$?
if [ "$rc" = 1 ] && grep -q 'no service named TKW is installed' <<<"$asked"; then ok "--correct-now, uninstalled: $asked"; else bad "--correct-now, uninstalled: status $rc, $asked"; fi

[ "$failures" -eq 0 ] || exit 1
say "all checks passed"
