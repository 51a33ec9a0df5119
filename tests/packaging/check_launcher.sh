#!/usr/bin/env bash
# Runs the launcher, made from its template, in front of a probe that records its working
# folder and arguments, from folders whose names end in newlines: a relative file name
# must reach the file in the folder the launcher was started in, not a sibling's.
#   check_launcher.sh LAUNCHER_TEMPLATE
set -euo pipefail
template=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$tmp/bin" "$tmp/lib" "$tmp/share" "$tmp/home"
sed -e 's/@LAUNCHER_PROGRAM@/probe/' -e 's|@LAUNCHER_TO_PROGRAMS@|../lib|' -e 's|@LAUNCHER_TO_SHIPPED@|../share|' \
  "$template" >"$tmp/bin/launcher"
printf '#!/bin/sh\nprintf "%%s\\0" "$PWD" "$@" >"%s/got"\n' "$tmp" >"$tmp/lib/probe"
chmod +x "$tmp/bin/launcher" "$tmp/lib/probe"

for name in $'list\n' $'list\n\n' $'list \n' 'list'; do
  mkdir -p "$tmp/from/$name"
  (cd "$tmp/from/$name" && env -u XDG_DATA_HOME HOME="$tmp/home" "$tmp/bin/launcher" Wjql.ini -x '')
  printf '%s\0' "$tmp/home/.local/share/brisquel" "$tmp/from/$name/Wjql.ini" -x '' >"$tmp/expected"
  cmp -s "$tmp/expected" "$tmp/got" || fail "started in $(printf %q "$name"): $(xargs -0 printf '<%s>' <"$tmp/got")"
done

# The window's launcher hands a subcommand to the command line with its arguments as they
# were, telling it the folder they were typed in; anything else still opens the window.
sed -e 's/@LAUNCHER_PROGRAM@/Kelvane/' -e 's|@LAUNCHER_TO_PROGRAMS@|../lib|' -e 's|@LAUNCHER_TO_SHIPPED@|../share|' \
  "$template" >"$tmp/bin/brisquel"
chmod +x "$tmp/bin/brisquel"
for program in Kelvane brisquel-cli; do
  printf '#!/bin/sh\nprintf "%%s\\0" %s "$PWD" "${BRISQUEL_CALLER_DIR-unset}" "$@" >"%s/got"\n' "$program" "$tmp" \
    >"$tmp/lib/$program"
  chmod +x "$tmp/lib/$program"
done
from=$tmp/from/$'list\n'
work=$tmp/home/.local/share/brisquel
check() {
  local expected=("$@")
  printf '%s\0' "${expected[@]}" >"$tmp/expected"
  cmp -s "$tmp/expected" "$tmp/got" || fail "expected $(printf '<%s>' "${expected[@]}"), got $(xargs -0 printf '<%s>' <"$tmp/got")"
}
run() { (cd "$from" && env -u XDG_DATA_HOME -u BRISQUEL_CALLER_DIR HOME="$tmp/home" "$tmp/bin/brisquel" "$@"); }
run shred -y a.txt '' && check brisquel-cli "$work" "$from" shred -y a.txt ''
run -C lists preview files && check brisquel-cli "$work" "$from" -C lists preview files
run --json clean && check brisquel-cli "$work" "$from" --json clean
run Wjql.ini && check Kelvane "$work" unset "$from/Wjql.ini"
run && check Kelvane "$work" unset
echo PASS
