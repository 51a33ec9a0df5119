#!/usr/bin/env bash
# Drives the bash completion as bash does on Tab: the typed words in COMP_WORDS, the word
# under the cursor last, then compares the sorted COMPREPLY with each row's expectation.
#   check_completion.sh COMPLETION_FILE
set -uo pipefail
completion=$(realpath "$1")

# bash-completion's helpers, as an interactive shell has them.
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion || { echo "FAIL: no bash-completion" >&2; exit 1; }
# shellcheck disable=SC1090
source "$completion"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The folder the user is in, and a working folder with its backups.
mkdir -p "$tmp/here/my folder" "$tmp/here/sub" "$tmp/here/$(printf 'gbk\xc0\xac')" \
  "$tmp/data/brisquel/注册表备份" "$tmp/other/注册表备份"
touch "$tmp/here/my file.txt" "$tmp/here/-y.txt" "$tmp/here/$(printf 'name\xff.bin')" "$tmp/here/old.reg" \
  "$tmp/here/notes.txt" "$tmp/here/sub/a.REG" \
  "$tmp/data/brisquel/注册表备份/2026-12-01_10-00-00.reg" \
  "$tmp/data/brisquel/注册表备份/2026-12-07_09-30-00.reg" \
  "$tmp/data/brisquel/注册表备份/readme.txt" \
  "$tmp/other/注册表备份/2026-11-30_08-00-00.reg"
cd "$tmp/here" || exit 1
export HOME=$tmp/home XDG_DATA_HOME=$tmp/data

failures=0
# check EXPECTED WORD...: completes the last WORD; EXPECTED is the replies, sorted, each
# followed by |.
check() {
  local expected=$1 got
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _brisquel brisquel "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  got=$( ((${#COMPREPLY[@]})) && printf '%s|' "${COMPREPLY[@]}" | tr '|' '\n' | LC_ALL=C sort | tr '\n' '|')
  if [[ $got != "$expected" ]]; then
    printf 'FAIL: %q: expected %q, got %q\n' "$*" "$expected" "$got" >&2
    failures=$((failures + 1))
  fi
}

# Subcommands, and the common options before or after them.
check 'clean|help|preview|restore|shred|wipe|' brisquel ''
check 'preview|' brisquel -C 'my folder' --json p
check '-C|' brisquel restore -C
check '--version|' brisquel -q preview --v
check 'clean|help|preview|restore|shred|wipe|' brisquel help ''
check '' brisquel help shred ''
check '' brisquel unknown ''
# The lists, once.
check 'files|registry|' brisquel preview ''
check 'registry|' brisquel -q clean r
check '' brisquel clean files ''
# The unattended options of preview and clean; --min-age takes days.
check '--unattended|' brisquel clean --un
check '1|30|7|' brisquel clean --unattended --min-age ''
check 'files|registry|' brisquel preview --unattended --min-age 7 ''
# -C takes folders, also with a space or a byte that is no UTF-8 in their names.
check "$(printf 'gbk\xc0\xac')|my folder|sub|" brisquel -C ''
check 'my folder|' brisquel shred -C my
# shred: its own options, passes, and any path.
check '--|--help|--json|--passes|--quiet|--version|--zero|-C|-h|-n|-q|-z|' brisquel shred -
check '--help|--json|--quiet|--version|--yes|-C|-h|-q|-y|' brisquel -
check '1|3|7|' brisquel shred -n ''
check '3|' brisquel shred --passes 3
check 'my file.txt|my folder|' brisquel shred -n 3 my
# wipe: one folder.
check '--|--help|--json|--quiet|--version|-C|-h|-q|' brisquel wipe -
check 'my folder|' brisquel -y wipe my
check '' brisquel wipe sub ''
# restore: .reg files here and anywhere, and the working folder's backups by name.
check "2026-12-01_10-00-00.reg|2026-12-07_09-30-00.reg|$(printf 'gbk\xc0\xac')|my folder|old.reg|sub|" \
  brisquel restore ''
check '2026-12-07_09-30-00.reg|' brisquel restore 2026-12-07
check '' brisquel restore ../2026
check 'sub/a.REG|' brisquel restore sub/
check '2026-11-30_08-00-00.reg|' brisquel restore -C "$tmp/other" 2026
check '2026-11-30_08-00-00.reg|' brisquel -C.. -C other restore 2026
check '' brisquel restore old.reg ''
check '-y.txt|' brisquel shred -- -y

# What Tab puts on the line in an interactive bash, where readline quotes what it inserts:
# each row is what is typed, then the line after Tab.
python3 - "$completion" <<'PYTHON' || failures=$((failures + 1))
import os, pty, select, sys, time
completion = sys.argv[1].encode()
rows = [
    (b'brisquel -q pr', b'brisquel -q preview '),
    (b'brisquel shred my\\ fi', b'brisquel shred my\\ file.txt '),
    (b'brisquel shred "my fo', b'brisquel shred "my folder"/'),
    (b'brisquel shred na', b'brisquel shred name\xff.bin '),
    (b'brisquel -C gb', b'brisquel -C gbk\xc0\xac/'),
    (b'brisquel restore 2026-12-0', b'brisquel restore 2026-12-0'),
    (b'brisquel restore 2026-12-07', b'brisquel restore 2026-12-07_09-30-00.reg '),
]
pid, fd = pty.fork()
if pid == 0:
    os.execvp('bash', ['bash', '--norc', '--noprofile', '-i'])
pending = b''
def read_until(mark):
    """What the terminal shows up to mark; the rest stays for the next call."""
    global pending
    end = time.time() + 10
    while mark not in pending and time.time() < end:
        if select.select([fd], [], [], 0.1)[0]:
            pending += os.read(fd, 4096)
    out, _, pending = pending.partition(mark)
    return out + mark
# Ctrl-T prints the line between markers; Ctrl-U clears it for the next row.
os.write(fd, b"PS1='<''p>'; source /usr/share/bash-completion/bash_completion; source '" + completion +
         b"'; bind -x '\"\\C-t\": printf \"\\n<<%s>>\\n\" \"$READLINE_LINE\"'; echo re\"\"ady\n")
# Typed only once readline reads the line: before, the terminal would take Ctrl-U itself.
read_until(b'ready\r\n')
read_until(b'<p>')
failed = 0
for typed, expected in rows:
    os.write(fd, typed + b'\t\x14\x15')
    got = read_until(b'>>\r\n').rpartition(b'<<')[2].partition(b'>>')[0]
    read_until(b'<p>')
    if got != expected:
        print(f'FAIL: Tab after {typed!r} gave {got!r}, expected {expected!r}', file=sys.stderr)
        failed += 1
os.write(fd, b'exit\n')
sys.exit(failed)
PYTHON

if ((failures)); then
  echo "FAIL: $failures completions" >&2
  exit 1
fi
echo PASS
