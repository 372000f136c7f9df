#!/usr/bin/env bash
# End-to-end tests: runs the real program on a private X display with a
# window manager and drives it with the pointer and the keyboard, as a user
# would. Each case starts the program afresh; a failing case leaves a
# screenshot of the whole screen in the artefact folder.
#
# Usage: run-e2e.sh LUMIVANE LUMIVANE_RENDER ARTEFACT_DIR [CASE...]
set -uo pipefail

LUMIVANE=$(realpath "$1")
RENDER=$(realpath "$2")
ARTEFACTS=$(realpath -m "$3")
shift 3
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb openbox xdotool xprop xwininfo wmctrl import convert python3; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/setup-deps)" >&2; exit 1; }
done

# shellcheck source=gui-env.sh
. "$here/gui-env.sh"
rm -rf "$ARTEFACTS"
mkdir -p "$ARTEFACTS"
# openbox keeps Alt+Space for its own window menu unless told otherwise.
OPENBOX_RC=$(mktemp "${TMPDIR:-/tmp}/lumivane-openbox.XXXXXX.xml")
openbox_config "$OPENBOX_RC"
export GUI_ENV_OPENBOX_CONFIG=$OPENBOX_RC
gui_env_start 1600x1200x24 || exit 1
rm -f "$OPENBOX_RC"
APP_PID=
trap 'stop_app; pulse_stop; gui_env_stop' EXIT
WORK="$GUI_ENV_DIR/work"
mkdir -p "$WORK"
cd "$WORK" || exit 1

# ---------------------------------------------------------------- helpers

fail() { echo "    FAIL: $*"; return 1; }

start_app() {
  "$LUMIVANE" "$@" >"$WORK/app.log" 2>&1 &
  APP_PID=$!
}

# start_app_as_nobody ARG...: the same, as the unprivileged user; setpriv
# execs the program, so APP_PID is the program's own.
start_app_as_nobody() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$LUMIVANE" "$@" >"$WORK/app.log" 2>&1 &
  APP_PID=$!
}

app_running() { [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; }

stop_app() {
  if app_running; then
    kill "$APP_PID" 2>/dev/null
    local i
    for i in $(seq 30); do app_running || break; sleep 0.1; done
    kill -9 "$APP_PID" 2>/dev/null
  fi
  [ -n "$APP_PID" ] && wait "$APP_PID" 2>/dev/null
  APP_PID=
}

# wait_exit [SECONDS]: waits for the program to end; fails unless it ended
# by itself with status 0.
wait_exit() {
  local i rc
  for i in $(seq $((${1:-10} * 10))); do app_running || break; sleep 0.1; done
  app_running && { fail "the program did not end"; return 1; }
  wait "$APP_PID"
  rc=$?
  APP_PID=
  [ "$rc" -eq 0 ] || { fail "the program ended with status $rc"; cat "$WORK/app.log"; return 1; }
}

role_of() { xprop -id "$1" WM_WINDOW_ROLE 2>/dev/null | sed -n 's/.*= "\(.*\)"/\1/p'; }

# visible_windows ROLE: the program's mapped windows with that role.
visible_windows() {
  local w
  for w in $(timeout 5 xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null); do
    [ "$(role_of "$w")" = "$1" ] && echo "$w"
  done
}

# wait_window ROLE [SECONDS]: prints the id of the program's visible window
# with that role once it is mapped.
wait_window() {
  local i w
  for i in $(seq $((${2:-10} * 10))); do
    w=$(visible_windows "$1" | head -n1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    app_running || break
    sleep 0.1
  done
  fail "no visible '$1' window" >&2
  return 1
}

# wait_gone ROLE [SECONDS]
wait_gone() {
  local i
  for i in $(seq $((${2:-10} * 10))); do
    [ -z "$(visible_windows "$1")" ] && return 0
    sleep 0.1
  done
  fail "the '$1' window is still shown"
}

# geometry WINDOW: "X Y WIDTH HEIGHT" of the client area on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                           /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}

expect_geometry() { # WINDOW "X Y W H"
  local i g
  for i in $(seq 30); do
    g=$(geometry "$1")
    [ "$g" = "$2" ] && return 0
    sleep 0.1
  done
  fail "window geometry is '$g', expected '$2'"
}

pointer_click() { # X Y [BUTTON]
  xdotool mousemove "$1" "$2"
  sleep 0.1
  xdotool click "${3:-1}"
  sleep 0.15
}

activate() { timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1; sleep 0.2; }

# The knob panel's client origin, and its menu bar's height.
panel_layout() {
  local g
  g=$(geometry "$PANEL")
  read -r PX PY _ PH <<<"$g"
  MENU_H=$((PH - 148))
}

# Centres of the menu bar's captions: File, Help, About, Min. The pointer
# is moved off the bar first, so that no caption is drawn highlighted, and
# a window just back on the screen gets a moment to paint.
menu_items() {
  local i xs
  xdotool mousemove $((PX + 285)) $((PY + MENU_H + 110))
  for i in $(seq 20); do
    sleep 0.1
    import -window "$PANEL" "$WORK/panel.png" 2>/dev/null || continue
    xs=$(convert "$WORK/panel.png" -crop "295x${MENU_H}+0+0" -colorspace gray txt:- |
      python3 "$here/menubar-items.py")
    [ "$(wc -w <<<"$xs")" -eq 4 ] && break
  done
  echo "$xs"
}

# menu_bar N: clicks the Nth caption of the menu bar (0 File .. 3 Min).
menu_bar() {
  local xs
  read -r -a xs <<<"$(menu_items)"
  [ "${#xs[@]}" -eq 4 ] || { fail "menu bar captions not found (${xs[*]:-none})"; return 1; }
  pointer_click $((PX + xs[$1])) $((PY + MENU_H / 2))
}

# wait_menu: waits until one of the program's menus is on screen, so that
# keys reach it. Every other window of the program has a role; menus have
# none (and Qt does not always mark their window type).
wait_menu() {
  local i w
  for i in $(seq 50); do
    for w in $(timeout 5 xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null); do
      [ -z "$(role_of "$w")" ] && return 0
    done
    sleep 0.1
  done
  fail "no menu came up"
}

# choose N: moves down N items in the open menu and takes that one.
choose() {
  sleep 0.2
  local i
  for i in $(seq "$1"); do xdotool key Down; sleep 0.05; done
  xdotool key Return
  sleep 0.3
}

# file_menu N: chooses the Nth item of the File menu (1 Open, 2 Save,
# 3 SaveAs, 4 Be Silent, 5 Make Noise, 6 Exit; separators are skipped).
file_menu() {
  menu_bar 0 || return 1
  wait_menu || return 1
  choose "$1"
}

# popup_menu N: right-clicks the picture and chooses the Nth item
# (1 Help, 2 About, 3 Be Silent, 4 Make Noise).
popup_menu() {
  local x y _
  read -r x y _ <<<"$(geometry "$PICTURE")"
  pointer_click $((x + 20)) $((y + 20)) 3
  wait_menu || return 1
  choose "$1"
}

slider_y() { echo $((PY + MENU_H + 16 * $1 + 8)); }

# slider_right I N: N clicks on the right arrow of slider I (0 = Red Tint).
slider_right() { local k; for k in $(seq "$2"); do pointer_click $((PX + 225)) "$(slider_y "$1")"; done; }
slider_left() { local k; for k in $(seq "$2"); do pointer_click $((PX + 8)) "$(slider_y "$1")"; done; }
# slider_trough_right I N: N clicks in the trough right of the thumb.
slider_trough_right() { local k; for k in $(seq "$2"); do pointer_click $((PX + 205)) "$(slider_y "$1")"; done; }

reset_button() { pointer_click $((PX + 72)) $((PY + MENU_H + 132)); }
memory_button() { pointer_click $((PX + 212)) $((PY + MENU_H + 132)); }

# Starts the program on a picture and waits for both windows.
start_on() {
  start_app "$@"
  PICTURE=$(wait_window picture) || return 1
  PANEL=$(wait_window knobs) || return 1
  panel_layout
}

# type_into_dialog ROLE TEXT: waits for the dialog, replaces its file
# field's text and confirms.
type_into_dialog() {
  local d
  d=$(wait_window "$1") || return 1
  activate "$d"
  sleep 0.5
  xdotool key ctrl+a
  xdotool type --delay 20 "$2"
  sleep 0.3
  xdotool key Return
}

cancel_dialog() {
  local d
  d=$(wait_window "$1") || return 1
  activate "$d"
  sleep 0.5
  xdotool key Escape
}

# same_file A B: A's bytes equal B's, allowing the program a moment to
# finish writing A.
same_file() {
  local i
  for i in $(seq 30); do cmp -s "$1" "$2" && return 0; sleep 0.1; done
  fail "$(basename "$1") differs from $(basename "$2")"
}

render() { "$RENDER" adjust "$@" || fail "lumivane-render failed"; }

# window_menu N: opens the picture window's window menu with Alt+Space and
# chooses its Nth entry (1 Help, 2 About, 3 Be Silent, 4 Make Noise,
# 5 Move, 6 Minimize, 7 Close; disabled ones are skipped).
window_menu() {
  activate "$PICTURE"
  xdotool key alt+space
  wait_menu || return 1
  choose "$1"
}

# client_click WINDOW X Y: clicks a point of a window's client area.
client_click() {
  local x y _
  read -r x y _ <<<"$(geometry "$1")"
  pointer_click $((x + $2)) $((y + $3))
}

# frame_place WINDOW: "X Y WIDTH HEIGHT" of the window with its frame.
frame_place() {
  local x y w h l r t b
  read -r x y w h <<<"$(geometry "$1")"
  read -r l r t b <<<"$(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

active_window() { xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //' | xargs printf '%d\n'; }

# snap WINDOW NAME: keeps a picture of the screen around the window.
snap() {
  local x y w h
  read -r x y w h <<<"$(frame_place "$1")"
  import -window root -crop "$((w + 8))x$((h + 8))+$((x > 4 ? x - 4 : 0))+$((y > 4 ? y - 4 : 0))" \
    +repage "$ARTEFACTS/$2.png"
}

# A private sound server whose output is recorded, for the cases that
# listen to the program.
PULSE_PID=
pulse_start() {
  local sock="$GUI_ENV_DIR/pulse.sock" i
  env -u DISPLAY pulseaudio --daemonize=no --use-pid-file=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$sock" \
    --load="module-null-sink sink_name=test_sink rate=44100" \
    --log-target=file:"$GUI_ENV_DIR/pulse.log" >/dev/null 2>&1 &
  PULSE_PID=$!
  for i in $(seq 100); do PULSE_SERVER="unix:$sock" pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  PULSE_SERVER="unix:$sock" pactl set-default-sink test_sink >/dev/null 2>&1 ||
    { fail "the sound server did not start"; return 1; }
  PULSE="unix:$sock"
}
pulse_stop() {
  [ -n "${REC_PID:-}" ] && { kill -INT "$REC_PID" 2>/dev/null; wait "$REC_PID" 2>/dev/null; }
  REC_PID=
  [ -n "$PULSE_PID" ] && { kill "$PULSE_PID" 2>/dev/null; wait "$PULSE_PID" 2>/dev/null; }
  PULSE_PID=
}
rec_start() {
  PULSE_SERVER=$PULSE sh -c 'exec parec --latency-msec=20 -d test_sink.monitor --format=s16le --rate=44100 --channels=1 >"$0"' "$1" &
  REC_PID=$!
  sleep 1.5
}
rec_stop() { sleep 1; kill -INT "$REC_PID"; wait "$REC_PID" 2>/dev/null; REC_PID=; }
# Seconds of sound in a recording, silence at both ends trimmed.
rec_seconds() {
  sox -t raw -r 44100 -e signed -b 16 -c 1 "$1" "$1.t.wav" silence 1 0.002 1% reverse silence 1 0.002 1% reverse &&
    soxi -D "$1.t.wav"
}

python3 "$here/make-picture.py" "$WORK/pic-master.bmp" 200 150 1
python3 "$here/make-picture.py" "$WORK/other.bmp" 120 90 2
fresh_picture() { cp "$WORK/pic-master.bmp" "$WORK/pic.bmp"; }

# ---------------------------------------------------------------- cases

case_start_with_picture() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  expect_geometry "$PICTURE" "0 0 200 150" || return 1
  xprop -id "$PANEL" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "knob panel is not kept on top" || return 1
  file_menu 6 || return 1 # Exit
  wait_exit
}

case_drag_moves_picture() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  expect_geometry "$PICTURE" "0 0 200 150" || return 1
  xdotool mousemove 50 50
  sleep 0.2
  xdotool mousedown 1 sleep 0.1 mousemove 100 80 sleep 0.1 mousemove 180 140 sleep 0.1 \
    mousemove 250 200 sleep 0.2 mouseup 1
  sleep 0.3
  expect_geometry "$PICTURE" "200 150 200 150" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_sliders_render_and_memory_restores() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  slider_right 0 5        # Red Tint 5
  slider_trough_right 1 2 # Green Tint 2
  slider_left 3 3         # Brightness -3
  slider_right 4 4        # Contrast 4
  file_menu 2 || return 1             # Save
  render --red 5 --green 2 --brightness -3 --contrast 4 "$WORK/pic-master.bmp" "$WORK/expected.bmp" || return 1
  same_file "$WORK/pic.bmp" "$WORK/expected.bmp" || return 1

  memory_button # the knobs go to the bank's zeros
  file_menu 2 || return 1
  render "$WORK/pic-master.bmp" "$WORK/zero.bmp" || return 1
  same_file "$WORK/pic.bmp" "$WORK/zero.bmp" || return 1

  memory_button # and come back
  file_menu 2 || return 1
  same_file "$WORK/pic.bmp" "$WORK/expected.bmp" || return 1

  reset_button
  file_menu 2 || return 1
  same_file "$WORK/pic.bmp" "$WORK/zero.bmp" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_open_through_the_dialog() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  file_menu 1 || return 1 # Open
  type_into_dialog open-dialog "$WORK/other.bmp" || return 1
  PICTURE=$(wait_window picture) || return 1
  expect_geometry "$PICTURE" "0 0 120 90" || return 1
  # Cancelled now, the dialog's kept name is loaded again.
  file_menu 1 || return 1
  cancel_dialog open-dialog || return 1
  PICTURE=$(wait_window picture) || return 1
  expect_geometry "$PICTURE" "0 0 120 90" || return 1
  app_running || fail "the program ended" || return 1
  file_menu 2 || return 1 # Save writes the reloaded picture to other.bmp
  render "$WORK/other.bmp" "$WORK/other-expected.bmp" || return 1
  same_file "$WORK/other.bmp" "$WORK/other-expected.bmp" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_open_cancelled_after_command_line_ends() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  file_menu 1 || return 1
  cancel_dialog open-dialog || return 1
  wait_exit
}

case_no_argument_cancel_ends() {
  start_app
  cancel_dialog open-dialog || return 1
  wait_exit || return 1
  # Qt's audio backend reports the missing sound server itself; anything
  # else the program printed is a fault.
  grep -v '^PulseAudioService: pa_context_connect() failed$' "$WORK/app.log" | grep -q . &&
    { fail "unexpected output:"; cat "$WORK/app.log"; return 1; }
  return 0
}

case_no_argument_pick_loads() {
  start_app
  type_into_dialog open-dialog "$WORK/other.bmp" || return 1
  PICTURE=$(wait_window picture) || return 1
  PANEL=$(wait_window knobs) || return 1
  expect_geometry "$PICTURE" "0 0 120 90" || return 1
  wmctrl -i -c "$PANEL"
  wait_exit
}

case_save_as_adds_extension() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  slider_right 2 7 # Blue Tint 7
  file_menu 3 || return 1      # SaveAs
  type_into_dialog save-dialog "saved-as" || return 1
  render --blue 7 "$WORK/pic-master.bmp" "$WORK/blue7.bmp" || return 1
  same_file "$WORK/saved-as.bmp" "$WORK/blue7.bmp" || return 1
  same_file "$WORK/pic.bmp" "$WORK/pic-master.bmp" || return 1
  # A following Save goes to the new name.
  slider_left 2 2 # Blue Tint 5
  file_menu 2 || return 1
  render --blue 5 "$WORK/pic-master.bmp" "$WORK/blue5.bmp" || return 1
  same_file "$WORK/saved-as.bmp" "$WORK/blue5.bmp" || return 1
  same_file "$WORK/pic.bmp" "$WORK/pic-master.bmp" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_be_silent_and_help() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  file_menu 4 || return 1  # Be Silent
  popup_menu 1 || return 1 # Help
  local help about
  help=$(wait_window help) || return 1
  popup_menu 2 || return 1 # About
  about=$(wait_window about) || return 1
  # Closing them from their frames only hides them.
  wmctrl -i -c "$about"
  wmctrl -i -c "$help"
  wait_gone about || return 1
  wait_gone help || return 1
  app_running || fail "the program ended" || return 1
  file_menu 5 || return 1  # Make Noise
  app_running || fail "the program ended" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_min_minimises_every_window() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  menu_bar 3 || return 1 # Min
  local i w
  for w in "$PICTURE" "$PANEL"; do
    for i in $(seq 30); do
      xprop -id "$w" WM_STATE 2>/dev/null | grep -q Iconic && break
      sleep 0.1
    done
    xprop -id "$w" WM_STATE | grep -q Iconic || fail "window $(role_of "$w") is not minimised" || return 1
  done
  # Bringing back the panel brings back the picture too.
  timeout 5 xdotool windowactivate "$PANEL" >/dev/null 2>&1
  for w in "$PANEL" "$PICTURE"; do
    for i in $(seq 30); do
      xprop -id "$w" WM_STATE 2>/dev/null | grep -q Normal && break
      sleep 0.1
    done
    xprop -id "$w" WM_STATE | grep -q Normal || fail "window $(role_of "$w") did not come back" || return 1
  done
  expect_geometry "$PICTURE" "0 0 200 150" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_closing_the_panel_ends() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  wmctrl -i -c "$PANEL"
  wait_exit
}

case_closing_the_picture_window_ends() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  wmctrl -i -c "$PICTURE"
  wait_exit
}

case_bad_file_name_shows_error() {
  start_app "$WORK/no-such-picture.bmp"
  local box
  box=$(wait_window error) || return 1
  [ "$(xprop -id "$box" WM_NAME | sed -n 's/.*= "\(.*\)"/\1/p')" = Lumivane ] ||
    fail "the error box is not titled Lumivane" || return 1
  import -window root "$ARTEFACTS/error-box.png"
  activate "$box"
  xdotool key Return
  wait_gone error || return 1
  PICTURE=$(wait_window picture) || return 1
  expect_geometry "$PICTURE" "47 2 187 68" || return 1
  [ -z "$(visible_windows knobs)" ] || fail "the knob panel is shown" || return 1
  wmctrl -i -c "$PICTURE"
  wait_exit
}

# expect_error_box NAME: waits for the program's error box, keeps a picture
# of it as NAME and dismisses it.
expect_error_box() {
  local box
  box=$(wait_window error 20) || return 1
  [ "$(xprop -id "$box" WM_NAME | sed -n 's/.*= "\(.*\)"/\1/p')" = Lumivane ] ||
    fail "the error box is not titled Lumivane" || return 1
  sleep 0.3
  import -window root "$ARTEFACTS/$1.png" 2>/dev/null
  activate "$box"
  xdotool key Return
  wait_gone error
}

# fault_after_start NAME: the start-up load failed; after the error box the
# program keeps running with the picture window at its design place and no
# knob panel, and closing the window ends it.
fault_after_start() {
  expect_error_box "fault-$1" || return 1
  PICTURE=$(wait_window picture) || return 1
  expect_geometry "$PICTURE" "47 2 187 68" || return 1
  [ -z "$(visible_windows knobs)" ] || fail "the knob panel is shown" || return 1
  app_running || fail "the program ended" || return 1
  wmctrl -i -c "$PICTURE"
  wait_exit 20
}

case_faulty_files_are_reported() {
  local dir="$WORK/faults" name
  rm -rf "$dir"
  mkdir -p "$dir/folder.bmp"
  convert "$WORK/pic-master.bmp" "png:$dir/not-a-bitmap.bmp" || fail "convert failed" || return 1
  [ "$(head -c 4 "$dir/not-a-bitmap.bmp" | tail -c 3)" = PNG ] || fail "no PNG made" || return 1
  head -c 2000 "$WORK/pic-master.bmp" >"$dir/truncated.bmp" # headers whole, pixels cut short
  : >"$dir/empty.bmp"

  for name in missing.bmp folder.bmp not-a-bitmap.bmp truncated.bmp; do
    echo "   start on $name"
    start_app "$dir/$name"
    fault_after_start "${name%.bmp}" || return 1
  done

  # Permission bits do not stop root: the unreadable file is tried by an
  # unprivileged user, in a folder and a home of its own.
  local own
  own=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-nobody.XXXXXX")
  chmod 755 "$own"
  mkdir -p "$own/home" "$own/xdg"
  chmod 700 "$own/xdg"
  cp "$WORK/pic-master.bmp" "$own/locked.bmp"
  chown -R nobody:nogroup "$own/home" "$own/xdg" "$own/locked.bmp"
  chmod 000 "$own/locked.bmp"
  if [ "$(id -u)" -eq 0 ] && setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$LUMIVANE"; then
    echo "   start on locked.bmp as nobody"
    HOME="$own/home" XDG_CONFIG_HOME="$own/home/.config" XDG_CACHE_HOME="$own/home/.cache" \
      XDG_RUNTIME_DIR="$own/xdg" start_app_as_nobody "$own/locked.bmp"
    fault_after_start locked || { rm -rf "$own"; return 1; }
  else
    echo "   SKIPPED: the unreadable file (needs root and a program that nobody can run)"
  fi
  rm -rf "$own"

  # A zero-length file is the empty picture: no error, and the flow goes on
  # to the knob panel. A window of no area is never mapped, so the picture
  # window stays off the screen.
  echo "   start on empty.bmp"
  start_app "$dir/empty.bmp"
  PANEL=$(wait_window knobs 20) || return 1
  panel_layout
  [ -z "$(visible_windows error)" ] || fail "an error box came up" || return 1
  [ -z "$(visible_windows picture)" ] || fail "the empty picture's window is shown" || return 1
  # A faulty file chosen in the open dialog is reported the same way, and
  # the panel stays for the next try; a good one then loads.
  echo "   open not-a-bitmap.bmp"
  file_menu 1 || return 1
  type_into_dialog open-dialog "$dir/not-a-bitmap.bmp" || return 1
  expect_error_box fault-open-not-a-bitmap || return 1
  [ -n "$(visible_windows knobs)" ] || fail "the knob panel is gone" || return 1
  echo "   open other.bmp"
  file_menu 1 || return 1
  type_into_dialog open-dialog "$WORK/other.bmp" || return 1
  PICTURE=$(wait_window picture 20) || return 1
  expect_geometry "$PICTURE" "0 0 120 90" || return 1
  # A failed load after a good one keeps the window's size and place.
  echo "   open truncated.bmp"
  file_menu 1 || return 1
  type_into_dialog open-dialog "$dir/truncated.bmp" || return 1
  expect_error_box fault-open-truncated || return 1
  PICTURE=$(wait_window picture) || return 1
  expect_geometry "$PICTURE" "0 0 120 90" || return 1
  [ -n "$(visible_windows knobs)" ] || fail "the knob panel is gone" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_window_menu_help_and_about() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  activate "$PICTURE"
  xdotool key alt+space
  wait_menu || return 1
  sleep 0.3
  import -window root -crop 400x320+0+0 +repage "$ARTEFACTS/window-menu.png"
  choose 1 # Help
  local help about
  help=$(wait_window help) || return 1
  window_menu 2 || return 1 # About
  about=$(wait_window about) || return 1
  wmctrl -i -c "$about"
  wmctrl -i -c "$help"
  wait_gone about || return 1
  wait_gone help || return 1
  # The window's own Close is the main window's close: the program ends.
  window_menu 7 || return 1
  wait_exit
}

case_help_page() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  menu_bar 1 || return 1 # Help
  local help
  help=$(wait_window help) || return 1
  [ "$(xprop -id "$help" WM_NAME | sed -n 's/.*= "\(.*\)"/\1/p')" = "Lumivane Help" ] ||
    fail "the help window's caption is wrong" || return 1
  xprop -id "$help" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "help is not kept on top" || return 1
  local i place
  for i in $(seq 30); do
    place=$(frame_place "$help")
    [ "$place" = "182 178 636 459" ] && break
    sleep 0.1
  done
  [ "$place" = "182 178 636 459" ] || fail "help window frame at '$place'" || return 1
  sleep 0.3
  snap "$help" help-window
  # Close Help hides it; Help again shows it where it was left.
  xdotool windowmove "$help" 240 200
  sleep 0.3
  local before
  before=$(geometry "$help")
  client_click "$help" 583 24
  wait_gone help || return 1
  popup_menu 1 || return 1
  help=$(wait_window help) || return 1
  expect_geometry "$help" "$before" || return 1
  # The title bar's close only hides it too.
  wmctrl -i -c "$help"
  wait_gone help || return 1
  app_running || fail "the program ended" || return 1
  file_menu 6 || return 1
  wait_exit
}

case_about_window() {
  fresh_picture
  start_on "$WORK/pic.bmp" || return 1
  menu_bar 2 || return 1 # About
  local about
  about=$(wait_window about) || return 1
  local i
  for i in $(seq 30); do [ "$(active_window)" = "$about" ] && break; sleep 0.1; done
  [ "$(active_window)" = "$about" ] || fail "the about window is not the active window" || return 1
  sleep 0.5
  snap "$about" about-window
  # The focus is in the terms: Return presses no button, and the keys
  # scroll the terms.
  xdotool key Return
  sleep 0.3
  [ -n "$(visible_windows about)" ] || fail "Return closed the about window" || return 1
  import -window "$about" -crop 465x169+4+236 +repage "$WORK/terms-top.png"
  xdotool key ctrl+End
  sleep 0.3
  import -window "$about" -crop 465x169+4+236 +repage "$WORK/terms-end.png"
  [ "$(compare -metric AE "$WORK/terms-top.png" "$WORK/terms-end.png" null: 2>&1)" != 0 ] ||
    fail "the terms did not scroll" || return 1
  # Moved, closed from the title bar and shown again: where it was left.
  xdotool windowmove "$about" 300 260
  sleep 0.3
  local before
  before=$(geometry "$about")
  wmctrl -i -c "$about"
  wait_gone about || return 1
  app_running || fail "the program ended" || return 1
  popup_menu 2 || return 1
  about=$(wait_window about) || return 1
  expect_geometry "$about" "$before" || return 1
  # "Yes I Agree. [OK]" only hides it.
  client_click "$about" 314 426
  wait_gone about || return 1
  app_running || fail "the program ended" || return 1
  snap "$PANEL" knob-panel
  file_menu 6 || return 1
  wait_exit
}

case_disagree_ends_with_exit_cue() {
  pulse_start || return 1
  fresh_picture
  PULSE_SERVER=$PULSE start_on "$WORK/pic.bmp" || return 1
  menu_bar 1 || return 1 # Help stays open: the program ends all the same
  wait_window help >/dev/null || return 1
  popup_menu 2 || return 1 # About; the help window now covers the panel
  local about
  about=$(wait_window about) || return 1
  sleep 2.5 # the Help and About cues are over
  rec_start "$WORK/exit.raw"
  client_click "$about" 84 426 # No. I Don't Agree.
  wait_exit || return 1
  rec_stop
  cp "$WORK/exit.raw" "$ARTEFACTS/exit-cue.raw"
  local secs
  secs=$(rec_seconds "$WORK/exit.raw") || { fail "no sound recorded"; return 1; }
  # The closing cue lasts 0.6 s and plays to its end.
  awk -v s="$secs" 'BEGIN { exit !(s > 0.45 && s < 0.9) }' ||
    fail "the exit cue sounded for $secs s" || return 1
  pulse_stop
}

# ---------------------------------------------------------------- runner

all_cases=$(declare -F | awk '{print $3}' | grep '^case_' | sed 's/^case_//')
selected=${*:-$all_cases}
failed=()
for c in $selected; do
  echo "== $c"
  if "case_$c"; then
    echo "   ok"
  else
    import -window root "$ARTEFACTS/$c.png" 2>/dev/null
    cp "$WORK/app.log" "$ARTEFACTS/$c.log" 2>/dev/null
    failed+=("$c")
  fi
  stop_app
  # Each case starts from the same dialog history.
  rm -rf "$XDG_CONFIG_HOME/QtProject.conf"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]} (screenshots in $ARTEFACTS)"
  exit 1
fi
echo "all end-to-end cases passed"
