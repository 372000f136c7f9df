# A private X display with a window manager, for driving the program as a
# user would. Source it; gui_env_start, then gui_env_stop (or trap it).
#
# Everything lives in one temporary folder: the display's number, the logs,
# and HOME and the XDG folders, so nothing the toolkit writes reaches the
# real home.

gui_env_start() { # gui_env_start [WxHxD]
  GUI_ENV_DIR=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-gui.XXXXXX")
  export HOME="$GUI_ENV_DIR/home" XDG_RUNTIME_DIR="$GUI_ENV_DIR/xdg"
  export XDG_CONFIG_HOME="$GUI_ENV_DIR/home/.config" XDG_CACHE_HOME="$GUI_ENV_DIR/home/.cache"
  mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  unset PULSE_SERVER
  Xvfb -displayfd 3 -screen 0 "${1:-1600x1200x24}" -nolisten tcp -noreset \
    3>"$GUI_ENV_DIR/display" 2>"$GUI_ENV_DIR/xvfb.log" &
  XVFB_PID=$!
  local i
  for i in $(seq 100); do [ -s "$GUI_ENV_DIR/display" ] && break; sleep 0.1; done
  [ -s "$GUI_ENV_DIR/display" ] || { echo "Xvfb did not start" >&2; cat "$GUI_ENV_DIR/xvfb.log" >&2; return 1; }
  export DISPLAY=":$(cat "$GUI_ENV_DIR/display")"
  openbox --sm-disable ${GUI_ENV_OPENBOX_CONFIG:+--config-file "$GUI_ENV_OPENBOX_CONFIG"} \
    >"$GUI_ENV_DIR/openbox.log" 2>&1 &
  OPENBOX_PID=$!
  for i in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.1
  done
  echo "openbox did not start" >&2
  return 1
}

# openbox_config DEST [THEME]: writes a copy of openbox's stock configuration
# without its Alt+Space binding, which would keep that key from the program's
# own window menu, and with THEME as the window theme when given. Start with
# GUI_ENV_OPENBOX_CONFIG=DEST to use it.
openbox_config() {
  local theme=${2:-}
  sed -e '/<keybind key="A-space">/,/<\/keybind>/d' \
    ${theme:+-e "/<theme>/,/<\/name>/s|<name>[^<]*</name>|<name>$theme</name>|"} \
    /etc/xdg/openbox/rc.xml >"$1"
}

gui_env_stop() {
  local p i pids="${OPENBOX_PID:-} ${XVFB_PID:-}"
  for p in $pids; do kill "$p" 2>/dev/null; done
  for p in $pids; do
    for i in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  unset OPENBOX_PID XVFB_PID
  [ -n "${GUI_ENV_DIR:-}" ] && rm -rf "$GUI_ENV_DIR"
  unset GUI_ENV_DIR
}
