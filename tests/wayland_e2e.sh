#!/usr/bin/env bash
# wayland_e2e.sh -- the real program under weston's headless back-end with XWayland: it opens,
# draws the captions (seen through its own F12 screenshot, since XWayland's root window shows
# nothing of what weston composes) and exits 0 on Escape.
# Usage: wayland_e2e.sh PATH/TO/vortazov   (from the project root, where data/ lies)
# Keys go in with `xdotool key` (XTEST): `xdotool mousemove` aborts XWayland 22.1 here, since
# the headless back-end's seat has no pointer.
set -u
program=$(readlink -f "$1")
root=$(pwd)
work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
weston --backend=headless-backend.so --xwayland --socket=vortazov-test --idle-time=0 \
    --log="$work/weston.log" >/dev/null 2>&1 &
weston=$!
trap 'kill "$weston" 2>/dev/null; wait "$weston" 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_checks.sh"

display=
for _ in $(seq 1 100); do
    display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log" 2>/dev/null)
    [ -n "$display" ] && break
    sleep 0.1
done
if [ -z "$display" ]; then
    echo "weston did not start XWayland:"; cat "$work/weston.log"; exit 1
fi
export DISPLAY=$display
unset WAYLAND_DISPLAY

# the working directory holds the data and takes the screenshot; no sound server to reach
mkdir "$work/run"
ln -s "$root/data" "$work/run/data"
(cd "$work/run" && PULSE_SERVER="unix:$work/no-server" PIPEWIRE_REMOTE="$work/no-server" exec "$program") >"$work/out" 2>"$work/err" &
pid=$!
window=$(programWindow 150)
check "the window opens through XWayland" test -n "$window"
# three screenshots a second apart: a caption may be between two words at any one moment
sleep 2
for _ in 1 2 3; do xdotool key F12; sleep 1; done
shots=$(sed -n 's/^screenshot saved to //p' "$work/out")
check "F12 saved three screenshots ($(echo $shots))" test "$(echo "$shots" | grep -c png)" = 3
best_red=0 best_yellow=0
for shot in $shots; do
    [ -f "$work/run/$shot" ] || continue
    red=$(convert "$work/run/$shot" -fuzz 10% -fill white -opaque 'rgb(204,0,0)' -fill black +opaque white -format '%[fx:mean]' info:)
    yellow=$(convert "$work/run/$shot" -fx 'g > 0.4 ? 1 : 0' -format '%[fx:mean]' info:)
    greater "$red" "$best_red" && best_red=$red
    greater "$yellow" "$best_yellow" && best_yellow=$yellow
done
check "the picture is mostly the red clear colour ($best_red)" greater "$best_red" 0.3
check "with yellow caption letters on it ($best_yellow)" greater "$best_yellow" 0.003
xdotool key Escape
for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; wait "$pid"; status=124; else wait "$pid"; status=$?; fi
check "exits 0 within two seconds of Escape (got $status)" test "$status" = 0
check "without losing the X connection" bash -c "! grep -q 'X connection' '$work/out' '$work/err'"
check "XWayland kept running" bash -c "! grep -q 'xserver exited' '$work/weston.log'"

finish
