#!/usr/bin/env bash
# Photographs the knob panel as the program builds it, for the help page:
# runs Lumivane on the sample picture on a private X display, grabs the
# panel with its frame (title bar, menu bar, sliders, buttons) and stores it
# as a 303 x 201 uncompressed 24-bit bitmap. Run it again whenever the panel
# changes.
#
# The window theme is openbox's Clearlooks with a 4-pixel border and a
# taller title bar, so that the framed panel (295 pixels of client width)
# comes out 303 wide; the frame is 202 high, and the last row of the bottom
# border is left out.
#
# Usage: make-knobpanel-picture.sh [BUILD_DIR] [OUTPUT]
#   (defaults: build/ or $LUMIVANE_BUILD_DIR, resources/pictures/knobpanel.bmp)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-${LUMIVANE_BUILD_DIR:-$here/build}}")
output=$(realpath -m "${2:-$here/resources/pictures/knobpanel.bmp}")
[ -x "$build/lumivane" ] || { echo "no program at $build/lumivane (run scripts/build)" >&2; exit 1; }

# shellcheck source=../tests/e2e/gui-env.sh
. "$here/tests/e2e/gui-env.sh"
theme_home=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-theme.XXXXXX")
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  gui_env_stop
  rm -rf "$theme_home"
}
trap cleanup EXIT

theme="$theme_home/themes/LumivaneGrab/openbox-3"
mkdir -p "$theme"
sed -e 's/^border.width:.*/border.width: 4/' -e 's/^padding.height:.*/padding.height: 5/' \
  /usr/share/themes/Clearlooks/openbox-3/themerc >"$theme/themerc"
openbox_config "$theme_home/rc.xml" LumivaneGrab
sed -i '/place="ActiveWindow"/,/<\/font>/s|<size>8</size>|<size>9</size>|' "$theme_home/rc.xml"
export XDG_DATA_HOME="$theme_home" GUI_ENV_OPENBOX_CONFIG="$theme_home/rc.xml"
gui_env_start 1024x768x24

"$build/lumivane" "$here/resources/sample.bmp" >/dev/null 2>&1 &
app=$!
panel=
for _ in $(seq 100); do
  for w in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
    xprop -id "$w" WM_WINDOW_ROLE | grep -q '"knobs"' && panel=$w
  done
  [ -n "$panel" ] && break
  sleep 0.1
done
[ -n "$panel" ] || { echo "the knob panel did not come up" >&2; exit 1; }
# The panel is the active window, as after start-up; the pointer is out of
# its way, and everything has had time to paint.
timeout 5 xdotool windowactivate --sync "$panel" >/dev/null 2>&1 || true
xdotool mousemove 1000 700
sleep 1

read -r x y w h <<<"$(xwininfo -id "$panel" | awk '/Absolute upper-left X/{x=$4}
  /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')"
read -r left right top bottom <<<"$(xprop -id "$panel" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
fw=$((w + left + right))
fh=$((h + top + bottom))
[ "$fw" -eq 303 ] && [ "$fh" -ge 201 ] ||
  { echo "the framed panel is ${fw}x${fh}, expected 303 x 201 or more" >&2; exit 1; }
import -window root -crop "303x201+$((x - left))+$((y - top))" +repage \
  -type TrueColor BMP3:"$output.tmp"
mv "$output.tmp" "$output"
echo "wrote $output"
