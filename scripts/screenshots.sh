#!/usr/bin/env bash
# Screenshots of berthline-utility as a user sees it: on a virtual X display with a
# window manager (openbox) and a tray panel across the top (trayer), the program runs
# on the built-in demo machine; the script clicks its tray icon, hovers the eject-all
# command, chooses a port and answers the alert, saving PNGs on the way:
#   tray.png      the tray panel with the utility's icon
#   menu.png      the open status menu, the pointer on "Eject all volumes"
#   port.png      the menu with the chosen port highlighted
#   progress.png  the progress window of the eject
#   alert.png     the alert that reports the result
#   busy.png      the alert for a busy volume, naming the process that holds it (a
#                 second run, on tests/machines/app-dock10-volumes.json, whose volume on
#                 USB port 2 refuses to go)
# Usage: scripts/screenshots.sh [OUTPUT_DIR]   (default build/screenshots)
# BUILD_DIR (default build) is the build tree to use; the program is built there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-build/screenshots}
build=${BUILD_DIR:-build}

scripts/install-deps.sh --screenshots
cmake -S . -B "$build" -DBERTH_BUILD_QT=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target berthline-utility
program=$root/$build/app/qt/berthline-utility

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "screenshots: $*" >&2
  [ -f "$work/program.log" ] && sed 's/^/  program: /' "$work/program.log" >&2
  exit 1
}

# until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
until_ok() {
  local tries=$(($1 * 10))
  shift
  while ! "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# A display number nobody uses.
display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=:$n; break; fi
done
[ -n "$display" ] || fail "no free display number"
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
width=1024 height=640

Xvfb "$DISPLAY" -screen 0 "${width}x${height}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
until_ok 10 xdpyinfo || fail "Xvfb did not start"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
until_ok 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
xsetroot -solid '#51677e'
trayer --edge top --align right --widthtype percent --width 100 --height 28 --transparent true --alpha 0 \
  --tint 0xe8ecf0 --SetDockType true --SetPartialStrut true --expand true --padding 6 >"$work/trayer.log" 2>&1 &
pids+=($!)
until_ok 10 sh -c 'xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")"' || fail "the tray panel did not start"

# icon_geometry: "X Y W H" of the program's icon embedded in the panel. awk reads the
# whole tree: leaving early would end xwininfo with SIGPIPE, which pipefail counts as a
# failure although the icon was found.
icon_geometry() {
  xwininfo -root -tree | awk '!found && /\("berthline-utility" "berthline-utility"\)/ {
    split($(NF-1), size, "[x+]"); split($NF, at, "+");
    if (size[1] > 4) { print at[2], at[3], size[1], size[2]; found = 1 } }
    END { exit !found }'
}
# start_program MACHINE_OPTION...: runs the program and waits for its tray icon. It
# registers itself to start at login: keep that away from this user's own.
start_program() {
  XDG_CONFIG_HOME=$work/config "$program" "$@" >"$work/program.log" 2>&1 &
  program_pid=$!
  pids+=("$program_pid")
  until_ok 15 icon_geometry || fail "the tray icon did not appear"
  read -r ix iy iw ih < <(icon_geometry)
  sleep 0.5
}
start_program --demo

shot() { import -window root "$work/screen.png"; }
# crop NAME X Y W H: saves a part of the last screen.
crop() {
  local x=$(($2 < 0 ? 0 : $2)) y=$(($3 < 0 ? 0 : $3))
  convert "$work/screen.png" -crop "$4x$5+$x+$y" +repage "$out/$1.png"
}

shot
crop tray $((width - 360)) 0 360 48

# The menu hangs under the icon; it is the program's one visible popup window.
menu_geometry() {
  local id
  for id in $(xdotool search --onlyvisible --classname berthline-utility 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" -gt 100 ] && [ "$HEIGHT" -gt 100 ]; then echo "$X $Y $WIDTH $HEIGHT"; return 0; fi
  done
  return 1
}
# open_menu: clicks the icon and hovers the eject-all command, the menu's first row (two
# moves, so the menu sees motion).
open_menu() {
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
  until_ok 10 menu_geometry || fail "the status menu did not open"
  read -r mx my mw mh < <(menu_geometry)
  xdotool mousemove $((mx + mw / 2)) $((my + 10))
  sleep 0.2
  xdotool mousemove $((mx + mw / 2 + 4)) $((my + 12))
  sleep 0.5
}
open_menu
shot
crop menu $((mx - 24)) 0 $((mw + 48)) $((my + mh + 24))

# Down twice from the eject-all command reaches USB port 2 (port 1 has no volume, so
# it is disabled and skipped); find that highlighted row, point at it and click it.
xdotool key Down
sleep 0.2
xdotool key Down
sleep 0.5
shot
highlight_rows=$(convert "$work/screen.png" -crop "1x$mh+$((mx + mw - 6))+$my" +repage txt:- |
  awk -F'[,:]' '/#308CC6|#308cc6/ { print $2 }')
[ -n "$highlight_rows" ] || fail "no highlighted row in the menu"
row_top=$(echo "$highlight_rows" | head -1)
row_bottom=$(echo "$highlight_rows" | tail -1)
xdotool mousemove $((mx + mw / 2)) $((my + (row_top + row_bottom) / 2))
sleep 0.3
shot
crop port $((mx - 24)) 0 $((mw + 48)) $((my + mh + 24))
xdotool click 1

# The progress window is up for half a second before the eject runs.
window_id() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Vantrel Berthline Utility$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" -gt 100 ]; then echo "$id"; return 0; fi
  done
  return 1
}
until_ok 2 window_id || fail "the progress window did not appear"
progress=$(window_id)
import -frame -window "$progress" "$out/progress.png"

# The alert follows once the progress window has gone; save_alert NAME saves it and
# answers it.
# (The progress window may still be up behind it.)
alert_id() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Vantrel Berthline Utility$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" -gt 100 ] && [ "$id" != "$progress" ]; then echo "$id"; return 0; fi
  done
  return 1
}
save_alert() {
  until_ok 5 alert_id || fail "the alert did not appear"
  sleep 0.3
  import -frame -window "$(alert_id)" "$out/$1.png"
  xdotool key Return
  until_ok 5 sh -c '! xdotool search --onlyvisible --name "^Vantrel Berthline Utility$" | grep -q .' ||
    fail "the alert did not close"
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended on its own"
}
save_alert alert

# Quit, the menu's last row: Up from no highlight reaches it.
quit_program() {
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
  until_ok 10 menu_geometry || fail "the status menu did not open again"
  xdotool mousemove "$width" "$height"
  sleep 0.3
  xdotool key Up
  sleep 0.2
  xdotool key Return
  until_ok 10 sh -c "! kill -0 $program_pid" || fail "Quit did not end the program"
  local status=0
  wait "$program_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
quit_program

# A busy volume: the same rows, USB port 2 now holding a volume that a process keeps in
# use; the eject fails and the alert names the holder.
start_program --machine "$root/tests/machines/app-dock10-volumes.json"
open_menu
xdotool key Down
sleep 0.2
xdotool key Down
sleep 0.2
xdotool key Return
until_ok 2 window_id || fail "the progress window did not appear"
progress=$(window_id)
save_alert busy
quit_program
ls "$out"/*.png
