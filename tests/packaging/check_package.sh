#!/usr/bin/env bash
# Checks the installed tree or the Debian package built from the build folder.
#   check_package.sh install SOURCE BUILD VERSION [EXTRA...]   install into a DESTDIR, run the launchers
#   check_package.sh deb SOURCE BUILD VERSION [EXTRA...]       build the .deb, inspect it, run lintian
# Each EXTRA is a companion program and its launcher (Pifu:brisquel-skins), or another file
# the installation must hold, relative to the prefix.
set -euo pipefail
mode=$1 source=$2 build=$3 version=$4
shift 4
companions=() extras=()
for extra do
  case $extra in
    *:*) companions+=("$extra") ;;
    *) extras+=("$extra") ;;
  esac
done

tmp=$(mktemp -d)
app=""
# Installing rewrites the build folder's install_manifest.txt, which a user may still need
# to uninstall a real installation: keep theirs.
manifest=$build/install_manifest.txt
[ -e "$manifest" ] && cp -p "$manifest" "$tmp/manifest"
cleanup() {
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; fi
  if [ -e "$tmp/manifest" ]; then cp -p "$tmp/manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# The files every installation holds, relative to the prefix.
expected_files() {
  echo bin/brisquel lib/brisquel/Kelvane lib/brisquel/brisquel-regdel.exe
  echo share/brisquel/Wjql.ini share/brisquel/Zcql.ini share/brisquel/Guanyu.dat
  echo share/applications/example.brisquel.Brisquel.desktop
  echo share/metainfo/example.brisquel.Brisquel.metainfo.xml
  echo share/doc/brisquel/copyright share/doc/brisquel/changelog.gz share/man/man1/brisquel.1.gz
  for size in 16 32 48 64 128 256; do
    echo share/icons/hicolor/${size}x$size/apps/example.brisquel.Brisquel.png
  done
  local pair
  for pair in "${companions[@]}"; do
    echo "lib/brisquel/${pair%%:*} bin/${pair#*:} share/man/man1/${pair#*:}.1.gz"
  done
  echo "${extras[@]}"
}

check_tree() {
  local root=$1 file
  for file in $(expected_files); do
    [ -e "$root/$file" ] || fail "not installed: $file"
  done
  # Nothing installed may look for libraries in the build tree.
  for file in "$root"/lib/brisquel/*; do
    if file -b "$file" | grep -q '^ELF' && readelf -d "$file" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
      fail "$file searches the build tree: $(readelf -d "$file" | grep -E 'R(UN)?PATH')"
    fi
  done
}

# The file managers' "shred" entries: Debian packages no validator for Nemo's and Caja's
# formats, so their groups and keys are checked here. Each runs the installed shredder
# with the selected files.
check_file_manager_entries() {
  local prefix=$1 entry group exec
  for entry in "kio/servicemenus/*.desktop:Desktop Action shred" "nemo/actions/*.nemo_action:Nemo Action" \
               "file-manager/actions/*.desktop:X-Action-Profile shred"; do
    group=${entry#*:}
    local file
    file=$(echo "$prefix"/share/${entry%%:*})
    [ -f "$file" ] || fail "no file-manager entry $file"
    # The group's own keys: from its header to the next one.
    exec=$(sed -n "/^\[$group\]\$/,/^\[/{s/^Exec=//p}" "$file")
    [ "$exec" = "brisquel-shredder %F" ] || fail "$file: [$group] runs '$exec'"
    [ -x "$prefix/bin/${exec%% *}" ] || fail "$file runs ${exec%% *}, which is not installed"
    grep -qxF 'Name=用 Filefs 粉碎' "$file" || fail "$file: no Name=用 Filefs 粉碎"
    grep -q '^Icon\(-Name\)\?=example.brisquel.Shredder$' "$file" || fail "$file: no shredder icon"
  done
  grep -qx 'Type=Action' "$prefix"/share/file-manager/actions/*.desktop || fail "the Caja entry is no action"
  grep -qx 'Selection=notnone' "$prefix"/share/nemo/actions/*.nemo_action || fail "the Nemo action needs a selection"
}

# The manual page as lintian reads it: groff's warnings are faults.
check_manual() {
  local page=$1 warnings
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
}

# The scheduled cleaning: both user units pass systemd-analyze verify, and the service's
# command, run as the user manager runs it, cleans the working folder's lists. The service
# names the launcher of the prefix installed to, so this installs once more, without a
# DESTDIR, where that launcher really is.
check_units() {
  local prefix=$tmp/prefix home=$tmp/unit-home
  cmake --install "$build" --prefix "$prefix" >/dev/null
  local units=$prefix/lib/systemd/user
  mkdir -m 700 "$tmp/runtime"
  # verify also looks up the Documentation= pages with man.
  XDG_RUNTIME_DIR=$tmp/runtime MANPATH=$prefix/share/man systemd-analyze --user verify \
    "$units/brisquel-clean.service" "$units/brisquel-clean.timer" >"$tmp/verify" 2>&1 \
    || { cat "$tmp/verify" >&2; fail "systemd-analyze verify"; }
  [ ! -s "$tmp/verify" ] || { cat "$tmp/verify" >&2; fail "systemd-analyze verify warns"; }

  local command
  command=$(sed -n 's/^ExecStart=//p' "$units/brisquel-clean.service")
  [ "${command%% *}" = "$prefix/bin/brisquel" ] || fail "the service runs '$command'"
  local work=$home/.local/share/brisquel junk=$tmp/junk
  mkdir -p "$work" "$junk"
  # Unattended, it leaves what changed or was read within the last week.
  touch -d '10 days ago' "$junk/a.tmp" "$junk/with space.tmp" "$junk/$(printf '\xb2\xe2\xca\xd4').tmp" "$junk/keep.log"
  touch "$junk/fresh.tmp"
  printf '%s\r\n' "$junk/*.tmp" >"$work/Wjql.ini"
  : >"$work/Zcql.ini"
  # The user manager's environment: no terminal, no display, no Wine prefix of the user's.
  # shellcheck disable=SC2086
  (cd / && env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 WINEPREFIX="$tmp/no-prefix" \
    $command </dev/null >"$tmp/clean.log" 2>&1) || { cat "$tmp/clean.log" >&2; fail "'$command' failed"; }
  [ "$(ls -A "$junk" | tr '\n' ' ')" = "fresh.tmp keep.log " ] || fail "the service left $(ls -A "$junk" | tr '\n' ' ')"
  [ ! -e "$tmp/no-prefix" ] || fail "the service made a Wine prefix"
}

# Starts a launcher with a fresh environment and waits until the program it execs runs;
# leaves its pid in $app.
start() {
  local home=$1 launcher=$2 from=$3 program=${PROGRAM:-Kelvane}
  shift 3
  # The window takes no arguments (with any, the launcher runs the command line); a
  # companion takes files.
  local given=(relative/file.txt "")
  if [ "$program" = Kelvane ]; then
    given=()
  fi
  (cd "$from" && exec env -u XDG_DATA_HOME HOME="$home" "$@" QT_QPA_PLATFORM=offscreen \
      QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu "$launcher" "${given[@]}") >"$tmp/app.log" 2>&1 &
  app=$!
  program=$(dirname "$launcher")/../lib/brisquel/$program
  local waited=0
  until [ "$(readlink -f /proc/$app/exe 2>/dev/null)" = "$(readlink -f "$program")" ]; do
    kill -0 "$app" 2>/dev/null || { cat "$tmp/app.log" >&2; fail "$launcher ended at once"; }
    [ $((waited += 1)) -lt 200 ] || fail "$launcher never started $program"
    sleep 0.05
  done
  # The window is up within a second or two; a program that dies on start is caught here.
  sleep 2
  kill -0 "$app" 2>/dev/null || { cat "$tmp/app.log" >&2; fail "$program ended on its own"; }
}

stop() {
  kill "$app"
  wait "$app" 2>/dev/null || true
  app=""
}

check_install() {
  local root=$tmp/root
  DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
  check_tree "$root/usr"

  local desktop
  for desktop in "$root"/usr/share/applications/*.desktop "$root"/usr/share/kio/servicemenus/*.desktop; do
    desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  done
  check_file_manager_entries "$root/usr"
  local metainfo=$root/usr/share/metainfo/example.brisquel.Brisquel.metainfo.xml
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
  grep -qF "<release version=\"$version\"" "$metainfo" || fail "metainfo lacks release $version"
  check_manual "$root/usr/share/man/man1/brisquel.1.gz"

  # First start: a fresh home gets the working folder with the shipped files, and each
  # program runs there, a companion with its file arguments made absolute.
  local home=$tmp/home work=$tmp/home/.local/share/brisquel name pair
  mkdir -p "$home" "$tmp/elsewhere"
  for pair in Kelvane:brisquel "${companions[@]}"; do
    PROGRAM=${pair%%:*} start "$home" "$root/usr/bin/${pair#*:}" "$tmp/elsewhere"
    [ "$(readlink -f /proc/$app/cwd)" = "$(readlink -f "$work")" ] || fail "${pair%%:*} does not run in $work"
    local arguments
    arguments=$(xargs -0 printf '<%s>' </proc/$app/cmdline)
    if [ "${pair%%:*}" != Kelvane ]; then
      [[ $arguments == *"><--><$tmp/elsewhere/relative/file.txt><>" ]] \
        || fail "arguments not passed on as absolute paths after --: $arguments"
    fi
    stop
  done
  for name in Wjql.ini Zcql.ini Guanyu.dat; do
    cmp -s "$source/data/$name" "$work/$name" || fail "$name not copied to the working folder"
  done
  if [ -e "$root/usr/share/brisquel/Pifu.she" ]; then
    cmp -s "$root/usr/share/brisquel/Pifu.she" "$work/Pifu.she" || fail "the default skin not copied"
  fi

  # Second start: the user's edited list stays, a list they lost comes back, and no
  # temporary copy is left behind.
  printf 'C:\\my\\own\\*.tmp\r\n' >"$work/Wjql.ini"
  cp "$work/Wjql.ini" "$tmp/edited"
  rm "$work/Zcql.ini"
  start "$home" "$root/usr/bin/brisquel" "$tmp/elsewhere"
  stop
  cmp -s "$tmp/edited" "$work/Wjql.ini" || fail "the user's Wjql.ini was overwritten"
  cmp -s "$source/data/Zcql.ini" "$work/Zcql.ini" || fail "a missing Zcql.ini was not restored"
  [ -z "$(find "$work" -name '.*')" ] || fail "temporary files left: $(ls -A "$work")"

  # XDG_DATA_HOME moves the working folder; a relative one is ignored, as the XDG base
  # directory rules ask.
  start "$home" "$root/usr/bin/brisquel" "$tmp/elsewhere" XDG_DATA_HOME="$tmp/data"
  [ "$(readlink -f /proc/$app/cwd)" = "$tmp/data/brisquel" ] || fail "XDG_DATA_HOME not used"
  stop
  start "$tmp/home2" "$root/usr/bin/brisquel" "$tmp/elsewhere" XDG_DATA_HOME=relative
  [ "$(readlink -f /proc/$app/cwd)" = "$tmp/home2/.local/share/brisquel" ] || fail "relative XDG_DATA_HOME used"
  stop

  check_units
}

check_deb() {
  local deb=$tmp/brisquel_${version}_amd64.deb
  (cd "$build" && cpack -G DEB -B "$tmp" >/dev/null)
  [ -e "$deb" ] || fail "no $(basename "$deb"): $(ls "$tmp")"
  dpkg-deb -x "$deb" "$tmp/root"
  check_tree "$tmp/root/usr"
  local field
  for field in "Package: brisquel" "Version: $version" "Section: utils" "Recommends: wine, wine64" "qt6-wayland"; do
    dpkg-deb -f "$deb" | grep -qF "$field" || fail "control lacks '$field'"
  done
  dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "no shared-library dependencies"
  local verdict=0
  lintian --fail-on error "$deb" >"$tmp/lintian" 2>&1 || verdict=$?
  grep -v 'running with root privileges' "$tmp/lintian" || true
  [ "$verdict" -eq 0 ] || fail "lintian reports errors"
}

case $mode in
  install) check_install ;;
  deb) check_deb ;;
  *) fail "unknown mode $mode" ;;
esac
echo "PASS: $mode"
