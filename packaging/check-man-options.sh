#!/usr/bin/env bash
# Every option that `brevin-cli --help` names must be in the manual page, so
# the two cannot drift apart. Usage: check-man-options.sh BREVIN-CLI MANPAGE
set -euo pipefail
cli=$1
page=$2
# The page as man renders it, with the roff escapes of "-" gone.
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
missing=0
for option in $("$cli" --help | grep -oE -- '(^|[ ,(])--?[a-z][a-z-]*' | sed 's/^[ ,(]//' | sort -u); do
  if ! grep -qF -- "$option" <<<"$text"; then
    echo "not in $page: $option"
    missing=1
  fi
done
[ "$missing" -eq 0 ] && echo "every option of --help is in the manual page"
exit "$missing"
