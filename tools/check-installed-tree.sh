#!/usr/bin/env bash
# Checks an installed Tarvik under ROOT (a DESTDIR or an unpacked package), touching nothing
# outside temporary folders: the files are where a Debian desktop expects them and pass
# Debian's validators, the manual pages render, and the installed tarvik-count finds its
# default settings and makes a user's copy in an empty home.
# Usage: tools/check-installed-tree.sh ROOT PREFIX VERSION
set -euo pipefail
root=$1 prefix=$2 version=$3
top=$(cd "$(dirname "$0")/.." && pwd)
tree=$root$prefix
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for f in bin/tarvik bin/tarvik-count share/tarvik/Tarvik.ini share/man/man1/tarvik.1.gz \
         share/man/man1/tarvik-count.1.gz share/bash-completion/completions/tarvik-count share/doc/tarvik/copyright; do
    [ -f "$tree/$f" ] && pass "$f" || fail "$f is not installed"
done

desktop=$(find "$tree/share/applications" -name '*.desktop' 2>/dev/null | head -n 1)
if [ -z "$desktop" ]; then
    fail "no desktop file in share/applications"
else
    id=$(basename "$desktop" .desktop)
    desktop-file-validate "$desktop" && pass "desktop-file-validate $id.desktop" || fail "desktop-file-validate $id.desktop"
    grep -qx 'Exec=tarvik %F' "$desktop" || fail "the desktop file does not start 'tarvik %F'"
    grep -qx "Icon=$id" "$desktop" || fail "the desktop file does not name the icon $id"
    # Folders only: an opener claimed for source types would become their default where no
    # editor claims them.
    grep -qx 'MimeType=inode/directory;' "$desktop" && pass "the desktop file claims folders only" \
        || fail "the desktop file claims $(grep '^MimeType=' "$desktop")"
    metainfo=$tree/share/metainfo/$id.metainfo.xml
    appstreamcli validate --no-net "$metainfo" && pass "appstreamcli validate" || fail "appstreamcli validate $metainfo"
    [ -f "$tree/share/icons/hicolor/scalable/apps/$id.svg" ] && pass "scalable icon" || fail "no scalable icon $id.svg"
    png=$tree/share/icons/hicolor/48x48/apps/$id.png
    size=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "none")' "$png" 2>/dev/null || echo none)
    [ "$size" = 48x48 ] && pass "48 px icon" || fail "the 48 px icon $png is $size"
fi

for page in tarvik tarvik-count; do
    err=$(mktemp)
    if out=$(MANWIDTH=80 MAN_DISABLE_SECCOMP=1 man --warnings -E UTF-8 -l "$tree/share/man/man1/$page.1.gz" 2>"$err") \
        && [ ! -s "$err" ] && grep -q "$version" <<<"$out" && grep -q '^NAME' <<<"$out"; then
        pass "man -l $page.1.gz"
    else
        fail "man -l $page.1.gz: $(cat "$err")"
    fi
    rm -f "$err"
done
head -n 1 "$tree/share/doc/tarvik/copyright" 2>/dev/null | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
    && pass "copyright in Debian's format" || fail "share/doc/tarvik/copyright is not in Debian's copyright format"
bash -n "$tree/share/bash-completion/completions/tarvik-count" && pass "completion parses" || fail "completion does not parse"
# What bash offers at the end of LINE, which readline has split into WORD... (at "=" and ":").
complete_at() {
    bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; COMP_LINE=$2; COMP_POINT=${#2}
             shift 2; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
             _tarvik_count tarvik-count "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
             printf "%s " "${COMPREPLY[@]}"' _ "$tree/share/bash-completion/completions/tarvik-count" "$@"
}
got=$(complete_at "tarvik-count --summary dir:" tarvik-count --summary dir :)
[ "$got" = "1 2 3 4 5 " ] && pass "completion of --summary dir:" || fail "completion of --summary dir: offered '$got'"
got=$(complete_at "tarvik-count --summary u" tarvik-count --summary u)
[ "$got" = "unregistered " ] && pass "completion of --summary u" || fail "completion of --summary u offered '$got'"

for program in tarvik tarvik-count; do
    got=$("$tree/bin/$program" --version 2>&1 || true)
    [ "$got" = "$program $version" ] && pass "$program --version" || fail "$program --version printed '$got'"
done

# A user's first run: an empty home, no XDG variables, the installed default found from bin/.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
if out=$(cd "$home" && env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" \
        "$tree/bin/tarvik-count" -f csv "$top/tests/samples" 2>&1) && grep -q Counted <<<"$out" \
        && ! grep -q NoEngine <<<"$out"; then
    pass "tarvik-count counts tests/samples with the installed default"
else
    fail "tarvik-count over tests/samples: $out"
fi
cmp -s "$home/.config/tarvik/Tarvik.ini" "$tree/share/tarvik/Tarvik.ini" \
    && pass "~/.config/tarvik/Tarvik.ini made from the default" || fail "no copy of the default in ~/.config/tarvik"

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed tree checked"
