#!/usr/bin/env bash
# What a user gets from scripts/package, checked as a user would meet it.
# The .deb: lintian, installed with dpkg -i (the service neither enabled nor
# started, and said so), the programs' --version and --help, the unit through
# systemd-analyze verify, every manual page through man, the conffile; then
# enabled the way an admin would, removed and purged, after which nothing of
# it is left (the file systems are listed before and after). Each Windows
# zip: its files, that every .exe imports only Windows' own DLLs, the README
# readable in any Notepad (UTF-8 with its byte order mark, CR LF), and the
# service's --version under Wine (the x64 one). SHA256SUMS covers all of dist/.
#
#   tests/e2e/packages_e2e.sh [DIST_DIR]      (root; installs and purges tkw)
set -euo pipefail
dist="$(realpath "${1:-dist}")"
failures=0
# say, ok, bad (counted in $failures).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
[ "$(id -u)" = 0 ] || { echo "packages_e2e.sh installs a package: run it as root" >&2; exit 2; }

shopt -s nullglob
debs=("$dist"/tkw_*_amd64.deb)
[ ${#debs[@]} = 1 ] || { echo "expected one tkw_*_amd64.deb in $dist, found ${#debs[@]}" >&2; exit 1; }
deb="${debs[0]}"
version="${deb##*/tkw_}"
version="${version%_amd64.deb}"
say "checking $deb (version $version)"

# ---- SHA256SUMS ----------------------------------------------------------------
if (cd "$dist" && sha256sum --quiet -c SHA256SUMS); then
  listed="$(cut -d' ' -f3- "$dist/SHA256SUMS" | sort | tr '\n' ' ')"
  present="$(cd "$dist" && ls | grep -vx SHA256SUMS | sort | tr '\n' ' ')"
  if [ "$listed" = "$present" ]; then ok "SHA256SUMS matches every file in dist/: $listed"; else bad "SHA256SUMS lists '$listed', dist/ holds '$present'"; fi
else
  bad "SHA256SUMS does not match dist/"
fi

# ---- the Debian package ----------------------------------------------------------
lintian_out="$(lintian --display-info --pedantic "$deb" 2>&1 | grep -v 'running with root privileges' || true)"
if grep -qE '^E:' <<<"$lintian_out"; then bad "lintian finds errors:"; else ok "lintian: no errors"; fi
[ -z "$lintian_out" ] || sed 's/^/      /' <<<"$lintian_out"

if dpkg -s tkw >/dev/null 2>&1; then
  echo "a tkw package is installed already: this check would replace and purge it" >&2
  exit 1
fi
# Everything on the file systems that dpkg, apt and man-db do not keep for
# themselves (their databases, logs and caches change with any install).
snapshot() {
  find /etc /lib /usr /var /opt -xdev \( -path /var/lib/dpkg -o -path /var/log -o -path /var/cache -o -path /var/tmp \
    -o -path /var/lib/apt \) -prune -o -print 2>/dev/null | LC_ALL=C sort
}
snapshot >"$work/before"

install_log="$(dpkg -i "$deb" 2>&1)" || { bad "dpkg -i failed: $install_log"; exit 1; }
ok "installed with dpkg -i"
if grep -q "neither enabled nor started" <<<"$install_log"; then ok "the install says the service is not started"; else bad "the install does not say the service is left stopped: $install_log"; fi
state="$(systemctl is-enabled tkw.service 2>&1 || true)"
if [ "$state" = disabled ]; then ok "tkw.service is installed and not enabled"; else bad "tkw.service is '$state' after the install"; fi
if pgrep -f '^/usr/bin/tkw( |$)' >/dev/null; then bad "/usr/bin/tkw runs after the install"; fi

got="$(/usr/bin/tkw --version)"
if [[ "$got" =~ ^tkw\ $version\ \([0-9]{4}-[0-9]{2}\)$ ]]; then ok "/usr/bin/tkw --version: $got"; else bad "/usr/bin/tkw --version: '$got'"; fi
for program in tkw tkw-sim tkw-replay tkw-report; do
  if help="$("/usr/bin/$program" --help)" && grep -q "^usage: $program" <<<"$help"; then
    ok "/usr/bin/$program --help ($(wc -l <<<"$help") lines)"
  else
    bad "/usr/bin/$program --help"
  fi
done

if verify="$(systemd-analyze verify /lib/systemd/system/tkw.service 2>&1)" && [ -z "$verify" ]; then
  ok "systemd-analyze verify /lib/systemd/system/tkw.service: clean"
else
  bad "systemd-analyze verify: $verify"
fi
for program in tkw tkw-sim tkw-replay tkw-report; do
  page="/usr/share/man/man1/$program.1.gz"
  text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>"$work/man.err" || true)"
  if [ -s "$work/man.err" ] || ! grep -q "^NAME" <<<"$text"; then
    bad "man -l $page: $(cat "$work/man.err")"
  else
    ok "man -l $page: $(wc -l <<<"$text") lines, no warnings"
  fi
done
# Every option of --help is in the page (made from it when building).
missing=""
page="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l /usr/share/man/man1/tkw.1.gz 2>/dev/null)"
for option in $(/usr/bin/tkw --help | grep -oE '^  --[a-z-]+'); do
  grep -qE "^ +$option( |$)" <<<"$page" || missing+=" $option"
done
if [ -z "$missing" ]; then ok "tkw(1) has every option of tkw --help"; else bad "tkw(1) lacks$missing"; fi

conffiles="$(dpkg-query -W -f='${Conffiles}' tkw)"
if grep -q '^ /etc/default/tkw ' <<<"$conffiles"; then ok "/etc/default/tkw is a conffile"; else bad "conffiles: $conffiles"; fi
if grep -q '^TKW_OPTIONS="--map COM1=' /etc/default/tkw && grep -q 'chrony-sock' /etc/default/tkw; then
  ok "/etc/default/tkw names the device and shows the chrony line"
else
  bad "/etc/default/tkw: $(cat /etc/default/tkw)"
fi
for f in /usr/share/doc/tkw/copyright /usr/share/doc/tkw/changelog.gz /usr/share/doc/tkw/README.md.gz \
  /usr/share/doc/tkw/docs/linux.md.gz; do
  [ -f "$f" ] || bad "missing: $f"
done
if [ -d /var/lib/tkw ] && /usr/bin/tkw --dir /var/lib/tkw --set fine=19 >/dev/null && [ -f /var/lib/tkw/horalsys.conf ]; then
  ok "settings written in /var/lib/tkw before the first start"
else
  bad "cannot set the service's settings in /var/lib/tkw"
fi

# An admin's enabling (no running systemd needed for the links), a removal
# and a purge: everything goes, the links and the settings included.
systemctl enable tkw.service >/dev/null 2>&1 || bad "systemctl enable tkw failed"
dpkg -r tkw >/dev/null 2>&1 || bad "dpkg -r tkw failed"
if [ -f /etc/default/tkw ] && [ ! -e /usr/bin/tkw ]; then ok "removed: the programs went, the conffile stays"; else bad "after dpkg -r"; fi
dpkg --purge tkw >/dev/null 2>&1 || bad "dpkg --purge tkw failed"
snapshot >"$work/after"
# Only paths naming tkw count: other programs on the machine may install or
# remove files meanwhile, and all the package's own paths name it.
left="$(comm -13 "$work/before" "$work/after" | grep -i tkw || true)"
gone="$(comm -23 "$work/before" "$work/after" | grep -i tkw || true)"
if [ -z "$left$gone" ]; then
  ok "purged: nothing of tkw is left (no file, link, setting or log)"
else
  bad "after the purge, new: ${left:-none}; gone: ${gone:-none}"
fi

# ---- the Windows zips ---------------------------------------------------------
system_dlls='^(kernel32|msvcrt|user32|gdi32|shell32|comctl32|comdlg32|advapi32|ole32|oleaut32|ws2_32|ucrtbase|api-ms-win-.*)\.dll$'
for arch in x86:i686:pei-i386 x64:x86_64:pei-x86-64; do
  IFS=: read -r name triple format <<<"$arch"
  zip="$dist/tkw-$version-windows-$name.zip"
  base="tkw-$version-windows-$name"
  if [ ! -f "$zip" ]; then bad "missing: $zip"; continue; fi
  files="$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')"
  want="$base/ $base/COPYRIGHT.txt $base/README.txt $base/tkw-replay.exe $base/tkw-report.exe $base/tkw-service.exe $base/tkw.exe "
  [ -n "$(unzip -Z1 "$zip" | grep -x "$base/LICENSE.txt")" ] && want="$base/ $base/COPYRIGHT.txt $base/LICENSE.txt ${want#"$base/ $base/COPYRIGHT.txt "}"
  if [ "$files" = "$want" ]; then ok "$name zip holds $files"; else bad "$name zip holds '$files', expected '$want'"; fi
  unzip -tq "$zip" >/dev/null || bad "$name zip fails its test"
  out="$work/$name"
  mkdir -p "$out" && unzip -q "$zip" -d "$out"
  for exe in tkw tkw-service tkw-replay tkw-report; do
    file="$out/$base/$exe.exe"
    [ -f "$file" ] || continue
    headers="$("$triple-w64-mingw32-objdump" -p "$file")"
    imports="$(awk '/DLL Name:/ { print $3 }' <<<"$headers" | sort -u | tr '\n' ' ')"
    if grep -q "file format $format\$" <<<"$headers" && ! tr ' ' '\n' <<<"$imports" | grep -v '^$' | grep -qivE "$system_dlls"; then
      ok "$name/$exe.exe ($format) imports only system DLLs: $imports"
    else
      bad "$name/$exe.exe: format or imports wrong: $imports"
    fi
    subsystem="Windows CUI"
    [ "$exe" = tkw ] && subsystem="Windows GUI"
    grep -qE "Subsystem.*$subsystem" <<<"$headers" || bad "$name/$exe.exe is not a $subsystem program"
  done
  for text in README.txt COPYRIGHT.txt; do
    f="$out/$base/$text"
    if [ "$(head -c 3 "$f" | od -An -tx1 | tr -d ' ')" = efbbbf ] && ! grep -q $'[^\r]$' <(tail -c +4 "$f") &&
       [ "$(tail -c 2 "$f" | od -An -tx1 | tr -d ' ')" = 0d0a ] && iconv -f UTF-8 -t UTF-16 "$f" >/dev/null; then
      ok "$name/$text: UTF-8 with its byte order mark, CR LF"
    else
      bad "$name/$text is not UTF-8 with a BOM and CR LF line ends"
    fi
  done
  grep -q "TKW $version for Windows ($name)" "$out/$base/README.txt" || bad "$name README.txt does not name the version and build"
done

# tkw-service.exe runs: its version under Wine (64-bit; a prefix of its own).
service="$work/x64/tkw-$version-windows-x64/tkw-service.exe"
if [ -f "$service" ]; then
  wine="$(command -v wine || true)"
  [ -n "$wine" ] || wine=/usr/lib/wine/wine64
  export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  got="$(timeout 300 "$wine" "$service" --version 2>/dev/null | tr -d '\r' || true)"
  if [[ "$got" =~ ^tkw-service\ $version\ \([0-9]{4}-[0-9]{2}\)$ ]]; then ok "tkw-service.exe --version under Wine: $got"; else bad "tkw-service.exe --version under Wine: '$got'"; fi
  wineserver -k 2>/dev/null || true
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
say "all package checks passed"
