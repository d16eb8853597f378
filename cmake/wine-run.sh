#!/bin/sh
# Runs a test program under Wine: wine-run.sh WINE PROGRAM [ARG...]
# Now and then Wine starts no program at all: a failing status within
# milliseconds and not a byte of output. A test program always prints before
# it can fail, so only such a run is tried again; a test that ran and failed
# is never repeated.
wine=$1
shift
out=$(mktemp) && err=$(mktemp) || exit 1
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  "$wine" "$@" >"$out" 2>"$err"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then
    break
  fi
  echo "wine-run: Wine started no program (status $status, attempt $attempt)" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
