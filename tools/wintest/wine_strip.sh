#!/usr/bin/env bash
# Runs tkw-e2e.exe (never tkw.exe: that one would step this machine's clock)
# under Wine on a private Xvfb display, with COM1 on one end of a socat pair
# and tkw-sim on the other, and keeps screenshots of the strip and its menu.
# Checks that a correction was logged to clock.log and answered with 55 AA.
#
#   tools/wintest/wine_strip.sh EXE OUTDIR
#
# EXE: build-win64/tkw-e2e.exe (wine64). Needs wine, Xvfb, xdotool, socat,
# imagemagick, fonts-wqy-zenhei and the zh_CN.UTF-8 locale; build/tkw-sim
# from the native build.
set -euo pipefail
exe="$(realpath "$1")"
out="$(realpath -m "$2")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
sim="$root/build/tkw-sim"
mkdir -p "$out"
work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LANG=zh_CN.UTF-8 DISPLAY=:93
pids=()
cleanup() {
  wineserver -k 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb :93 -screen 0 1024x600x24 >/dev/null 2>&1 & pids+=($!)
socat pty,raw,echo=0,link="$work/com1" pty,raw,echo=0,link="$work/sim" >/dev/null 2>&1 & pids+=($!)
sleep 1
timeout 180 wine wineboot -i >/dev/null 2>&1
# Wine's own dialog fonts have no Chinese glyphs: map them to one that has.
cat >"$work/setup.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Tahoma"="WenQuanYi Zen Hei"
"MS Shell Dlg"="WenQuanYi Zen Hei"
"MS Shell Dlg 2"="WenQuanYi Zen Hei"
"SimSun"="WenQuanYi Zen Hei"

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$work/com1"
EOF
wine regedit "$work/setup.reg" >/dev/null 2>&1
wineserver -k 2>/dev/null || true

mkdir "$work/run"
cd "$work/run"
wine "$exe" >/dev/null 2>&1 & pids+=($!)
"$sim" --device "$work/sim" --count 12 >"$work/sim.log" 2>&1 & pids+=($!)
sleep 8
strip_x=$((1024 - 185 - 80))
import -window root "$work/shot.png"
convert "$work/shot.png" -crop 187x19+$((strip_x - 1))+0 -scale 200% "$out/tkw-strip.png"
xdotool mousemove $((strip_x + 90)) 8 click 3
sleep 2
import -window root "$work/menu.png"
convert "$work/menu.png" -crop 360x520+$((strip_x - 95))+0 "$out/tkw-menu.png"
xdotool key Escape
sleep 6

fail=0
if grep -qE '^SET [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}' clock.log 2>/dev/null; then
  echo "clock.log: $(head -1 clock.log)"
else
  echo "no SET line in clock.log" >&2
  fail=1
fi
if grep -q '^TX 55 AA' "$work/sim.log"; then
  echo "receiver got 55 AA"
else
  echo "no 55 AA answer on the line" >&2
  fail=1
fi
frames="$(grep -c '^TX AA AA' "$work/sim.log" || true)"
echo "PC time frames seen: $frames"
[ "$frames" -ge 5 ] || { echo "too few PC time frames" >&2; fail=1; }
echo "screenshots: $out/tkw-strip.png $out/tkw-menu.png"
exit "$fail"
