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
  printf '%s\0' "$tmp/home/.local/share/brisquel" -- "$tmp/from/$name/Wjql.ini" "$tmp/from/$name/-x" '' >"$tmp/expected"
  cmp -s "$tmp/expected" "$tmp/got" || fail "started in $(printf %q "$name"): $(xargs -0 printf '<%s>' <"$tmp/got")"
done

# The window's launcher hands any argument to the command line as it was, telling it the
# folder it was typed in (the window takes none); only no argument opens the window.
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
run -y shred a.txt '' && check brisquel-cli "$work" "$from" -y shred a.txt ''
run -C lists preview files && check brisquel-cli "$work" "$from" -C lists preview files
run --json clean && check brisquel-cli "$work" "$from" --json clean
run Wjql.ini && check brisquel-cli "$work" "$from" Wjql.ini
run prevew && check brisquel-cli "$work" "$from" prevew
run -style fusion && check brisquel-cli "$work" "$from" -style fusion
run && check Kelvane "$work" unset

# A planted file's name is a file too, not an option, in a companion's launcher.
sed -e 's/@LAUNCHER_PROGRAM@/probe/' -e 's|@LAUNCHER_TO_PROGRAMS@|../lib|' -e 's|@LAUNCHER_TO_SHIPPED@|../share|' \
  "$template" >"$tmp/bin/launcher"
(cd "$from" && env -u XDG_DATA_HOME HOME="$tmp/home" "$tmp/bin/launcher" --platformpluginpath 0evil a.txt -- file:///x)
printf '%s\0' "$work" -- "$from/--platformpluginpath" "$from/0evil" "$from/a.txt" "$from/--" file:///x >"$tmp/expected"
cmp -s "$tmp/expected" "$tmp/got" || fail "planted option names: $(xargs -0 printf '<%s>' <"$tmp/got")"
echo PASS
