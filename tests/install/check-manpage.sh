#!/usr/bin/env bash
# An installed man page, compressed as Debian installs it, renders without a warning from man
# or groff, and documents every option the program's --help lists.
#   check-manpage.sh ROOT PROGRAM
set -euo pipefail
root=$1 program=$2
page="$root/usr/share/man/man1/$program.1.gz"
out=$( { LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >/dev/null; } 2>&1)
out+=$(gzip -dc "$page" | groff -man -ww -z 2>&1)
[ -z "$out" ] || { echo "$out"; exit 1; }
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E ascii -l "$page" 2>/dev/null | col -b)
options=$("$root/usr/bin/$program" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+' | sort -u)
[ -n "$options" ] || { echo "$program --help lists no options"; exit 1; }
fail=0
for option in $options; do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$text" || { echo "$page does not document $option"; fail=1; }
done
exit $fail
