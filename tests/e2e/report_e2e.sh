#!/usr/bin/env bash
# tkw-report as a user meets it: a week of offsets files up to today, made
# through the program's own statistics and writer (tkw-offsets-week: a PC
# clock drifting some 25 ppm, a day without a file, hours without the
# program), turned into a page with tkw-report's defaults, then rendered by
# headless Chromium and looked at: the picture's size, that it is not blank,
# and each plot's colour spread across the week in its own plot, the plots
# one under the other. Also: no file for any day (exit 1, said), bad options
# (exit 2), and a page that fetches nothing.
#
#   tests/e2e/report_e2e.sh [BUILD_DIR] [PICTURE]
# PICTURE: keep the rendered page there, cut to its content and in 256
# colours (as scripts/report-picture makes docs/tkw-report.png). Without Chromium
# the test is skipped, but under CI (CI=true), where scripts/setup installs
# it, it fails.
set -euo pipefail
build="$(realpath "${1:-build}")"
picture="${2:+$(realpath -m "$2")}"
browser=""
for b in chromium chromium-browser google-chrome; do
  if command -v "$b" >/dev/null; then browser="$(command -v "$b")"; break; fi
done
if [ -z "$browser" ]; then
  if [ "${CI:-}" = true ]; then
    echo "report_e2e: no Chromium to render the page (scripts/setup installs it for CI)" >&2
    exit 1
  fi
  echo "report_e2e: skipped: no Chromium to render the page (apt-get install chromium)"
  exit 0
fi
for tool in convert identify; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (ImageMagick)" >&2; exit 2; }
done
for exe in "$build/tkw-report" "$build/tests/tkw-offsets-week"; do
  [ -x "$exe" ] || { echo "not built: $exe" >&2; exit 2; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
# say, ok and bad (counted in $failures).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$work"
report() { "$build/tkw-report" "$@"; }

# ---- the page, from the defaults: today and the six days before ----------------
# (made again should midnight pass between the files and the report)
for attempt in 1 2; do
  today="$(date +%F)"
  rm -rf files && mkdir files
  "$build/tests/tkw-offsets-week" files "$today"
  rc=0
  report --dir files -o report.html 2>report.err || rc=$?
  [ "$(date +%F)" = "$today" ] && break
done
if [ "$rc" = 0 ] && [ "$(grep -c '^tkw-report: read files/' report.err)" = 6 ] &&
   grep -q '^tkw-report: wrote report.html (6 of 7 day(s) had a file)$' report.err; then
  ok "tkw-report --dir files: read the six files of the last seven days, said so and wrote the page"
else
  bad "tkw-report --dir files: status $rc: $(cat report.err)"
fi
fetched="$(grep -oiE '<script|<link|<img|@import|url\(|(src|href)=|https?://[^"]*' report.html |
  grep -vx 'http://www.w3.org/2000/svg' || true)"
if [ -z "$fetched" ]; then ok "the page fetches nothing (no script, link, picture or web address)"; else bad "the page refers to: $fetched"; fi

mkdir empty
rc=0
report --dir empty -o none.html 2>none.err || rc=$?
if [ "$rc" = 1 ] && grep -q "no offsets file (YYMMDDO.csv) for any of the 7 day(s) up to $today in the directory empty" none.err &&
   [ ! -e none.html ]; then
  ok "no file for any day: exit 1, said, no page"
else
  bad "no file for any day: status $rc, $(cat none.err)"
fi
for args in "--days 0" "--days 367" "--until 2026-13-01" "--bogus" "-o"; do
  rc=0
  # shellcheck disable=SC2086
  report $args 2>/dev/null || rc=$?
  [ "$rc" = 2 ] || bad "tkw-report $args: status $rc, not 2"
done
ok "bad options: exit 2"

# ---- the picture -----------------------------------------------------------------
shot="$work/report.png"
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$work/profile" \
  --window-size=1000,2000 --screenshot="$shot" "file://$work/report.html" >browser.log 2>&1 || true
if [ ! -s "$shot" ]; then
  bad "Chromium made no picture: $(tail -n 3 browser.log)"
  exit 1
fi
size="$(identify -format '%wx%h' "$shot")"
[ "$size" = 1000x2000 ] && ok "the picture is 1000x2000" || bad "the picture is $size, not 1000x2000"
colours="$(identify -format '%k' "$shot")"
[ "$colours" -gt 100 ] && ok "the picture is not blank ($colours colours)" || bad "the picture has $colours colours: blank?"

# Where a colour lies in the picture: "LEFT RIGHT TOP BOTTOM PIXELS".
where() {
  convert "$shot" -alpha off -fuzz 4% -fill '#ff00ff' -opaque "$1" -fill white +opaque '#ff00ff' \
    -format '%@ ' -write info: -channel G -separate -format '%[fx:round((1-mean)*w*h)]' info: |
    sed -E 's/^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+) /\3 \1 \4 \2 /' |
    awk '{ print $1, $1 + $2, $3, $3 + $4, $5 }'
}
# Each plot's colours: drawn across the week (wider than 600 of the 1000 pixels:
# the legend alone is 14) and more than its legend's few pixels.
declare -A box
for entry in offset:'#1f77b4' band:'#a6cee3' corrections:'#e6550d' jitter:'#2ca02c' drift:'#9467bd'; do
  name="${entry%%:*}" colour="${entry#*:}"
  read -r left right top bottom pixels < <(where "$colour")
  box[$name]="$top $bottom"
  if [ $((right - left)) -gt 600 ] && [ "$pixels" -gt 600 ]; then
    ok "$name ($colour): $pixels pixels across x $left..$right, y $top..$bottom"
  else
    bad "$name ($colour): $pixels pixels across x $left..$right, y $top..$bottom: not drawn across the week"
  fi
done
# One plot under the other: the offset's colours end above the jitter's, and
# the jitter's above the drift's.
read -r _ offset_bottom <<<"${box[corrections]}"
read -r jitter_top jitter_bottom <<<"${box[jitter]}"
read -r drift_top _ <<<"${box[drift]}"
if [ "$offset_bottom" -lt "$jitter_top" ] && [ "$jitter_bottom" -lt "$drift_top" ]; then
  ok "the plots lie one under the other: offset to y $offset_bottom, jitter $jitter_top..$jitter_bottom, drift from $drift_top"
else
  bad "the plots overlap: offset to y $offset_bottom, jitter $jitter_top..$jitter_bottom, drift from $drift_top"
fi

if [ -n "$picture" ]; then
  # Down to the end of the content, with a margin.
  read -r _ _ _ content_bottom < <(convert "$shot" -format '%@' info: |
    sed -E 's/^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$/\3 \1 \4 \2/' | awk '{ print $1, $2, $3, $3 + $4 }')
  convert "$shot" -crop "1000x$((content_bottom + 16))+0+0" +repage -strip "PNG8:$picture"
  say "kept the page as $picture ($(identify -format '%wx%h' "$picture"))"
fi

if [ "$failures" -ne 0 ]; then
  say "$failures check(s) failed; Chromium said: $(grep -v -e dbus -e '^$' browser.log | tail -n 3)"
  exit 1
fi
say "tkw-report end to end: all checks passed"
