#!/usr/bin/env bash
# The installed viewer's windows on a real X server: their class is the installed desktop
# entry's StartupWMClass (so a dock ties the running windows to the menu entry), and they
# carry the program's icon at the theme's sizes. Talks only to a camserver on 127.0.0.1.
#   window-identity.sh ROOT     (run under xvfb-run)
set -euo pipefail
root=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-window.XXXXXX")
server_pid="" viewer_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null && wait "$viewer_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$root/usr/bin/lumora-camserver" --port 0 >"$work/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 1 100); do
  port=$(head -n 1 "$work/server.log" 2>/dev/null | tr -dc '0-9')
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the camserver did not start"; cat "$work/server.log"; exit 1; }
printf 'url=http://127.0.0.1:%s\r\n' "$port" >"$work/config.ini"
(cd "$work" && exec env QT_QPA_PLATFORM=xcb "$root/usr/bin/lumora-viewer" >"$work/viewer.log" 2>&1) &
viewer_pid=$!

class=$(sed -n 's/^StartupWMClass=//p' "$root/usr/share/applications/io.lumora.Viewer.desktop")
window=""
for _ in $(seq 1 150); do
  for id in $(xwininfo -root -children 2>/dev/null | grep -oE '^ +0x[0-9a-f]+' || true); do
    if xprop -id "$id" WM_CLASS 2>/dev/null | grep -q "lumora"; then window=$id; break; fi
  done
  [ -n "$window" ] && xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -q 'Icon (' && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no window of the viewer appeared"; cat "$work/viewer.log"; exit 1; }

fail=0
wm_class=$(xprop -id "$window" WM_CLASS)
# WM_CLASS holds the instance name, then the class.
window_class=$(sed -n 's/.*= "[^"]*", "\([^"]*\)"$/\1/p' <<<"$wm_class")
[ "$window_class" = "$class" ] || { echo "StartupWMClass=$class, but the window's $wm_class"; fail=1; }
icons=$(xprop -len 1000000 -id "$window" _NET_WM_ICON | grep -oE 'Icon \([0-9]+ x [0-9]+\)' | sort -u)
for size in 16 22 24 32 48 64 128 256; do
  grep -qF "Icon ($size x $size)" <<<"$icons" || { echo "no $size x $size window icon; has: $icons"; fail=1; }
done
exit $fail
