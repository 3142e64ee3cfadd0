#!/usr/bin/env bash
# Starts tarvik under a virtual X server, registers the bundled samples through the folder
# dialog, runs the analysis (F5) and captures the main window to docs/main-window.png. The
# samples are copied to ~/projects/sample for the time being, so the picture shows a folder
# such as a user's project has, not one of the machine it was taken on.
# Usage: tools/screenshot.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build}")
out="$top/docs/main-window.png"

sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
need=""
for p in xvfb openbox xdotool imagemagick fonts-ipafont-gothic; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || need="$need $p"
done
[ -z "$need" ] || { $sudo apt-get update -qq; $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need; }

sample="$HOME/projects/sample"
if [ -e "$sample" ]; then echo "$sample is in the way; move it elsewhere first" >&2; exit 1; fi

# A copy of the program with its own settings, so the real Tarvik.ini is left alone.
work=$(mktemp -d)
cp "$build/tarvik" "$work/"
cp "$top/data/Tarvik.ini" "$work/"
app="" wm=""
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill $app $wm "$xvfb" 2>/dev/null || true
    rm -rf "$work" "$sample"
    rmdir "$HOME/projects" 2>/dev/null || true
}
trap cleanup EXIT
mkdir -p "$sample"
cp -r "$top/tests/samples/." "$sample/"
export DISPLAY=$display
sleep 1
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
LC_ALL=C.UTF-8 "$work/tarvik" >/dev/null 2>&1 &
app=$!
for _ in $(seq 50); do win=$(xdotool search --name '^Tarvik$' 2>/dev/null | head -1) && [ -n "$win" ] && break; sleep 0.2; done
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
xdotool mousemove --window "$win" 300 200 click 1
xdotool key ctrl+d
sleep 1.5
xdotool type --delay 5 "$sample"
xdotool key Return
sleep 1
xdotool key Escape     # the folder dialog opens again until cancelled
sleep 0.5
xdotool key F5
sleep 2
mkdir -p "$(dirname "$out")"
# Qt makes several windows of that name: take the one that is shown at full size.
for w in $(xdotool search --onlyvisible --name '^Tarvik$'); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -gt 200 ] && break
done
import -window "$w" "$out"
echo "wrote $out"
