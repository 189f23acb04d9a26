#!/usr/bin/env bash
# Catches a program whose --version is not its name and the project's version on one line, with
# nothing on stderr and exit status 0 (help2man makes the manual pages from it), and a
# telmax-config that needs a display to say its version.
# Usage: versions.sh VERSION PROGRAM...
set -uo pipefail
version=$1
shift

failed=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for program; do
  name=$(basename "$program")
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version 2>"$err")
  status=$?
  if [ "$status" -ne 0 ] || [ "$out" != "$name $version" ] || [ -s "$err" ]; then
    echo "FAIL: $name --version gave exit status $status, stdout '$out', stderr '$(cat "$err")';" \
         "wanted exit status 0 and '$name $version'"
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "ok: each program's --version says its name and $version"
exit "$failed"
