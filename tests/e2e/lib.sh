# Shared by the end-to-end scripts, which source it: time-stamped lines,
# checks counted in the caller's $failures, and a bounded wait.
# shellcheck shell=bash

say() { printf '%s  %s\n' "$(date -u +%T)" "$*"; }
ok() { say "ok    $*"; }
bad() { say "FAIL  $*" >&2; failures=$((failures + 1)); }
# wait_until SECONDS COMMAND...: polls COMMAND every $wait_every seconds (each
# script sets its own; 0.2 if it does not) until it succeeds or SECONDS pass.
wait_until() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep "${wait_every:-0.2}"
  done
}
