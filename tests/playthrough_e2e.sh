#!/usr/bin/env bash
# playthrough_e2e.sh -- the whole presentation, start to end, in a real window under Xvfb.
# Takes a screenshot in the middle of every scene and of the end part, presses SPACE three
# times during the end part, and checks that the program ends by itself with status 0 and
# leaves an "endpart.snc" with three rising positions inside the stream.
# Usage: playthrough_e2e.sh PATH/TO/vortazov [SHOTDIR]   (from the project root)
# Sound goes to the server that PULSE_SERVER names: ctest runs this under with_sound_server.
set -u
program=$(readlink -f "$1")
root=$(pwd)
shots=$(readlink -f "${2:-$root/build/screens}")
if [ -z "${PULSE_SERVER:-}" ]; then
    echo "PULSE_SERVER is not set: run this under with_sound_server pulseaudio" >&2
    exit 2
fi
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
mkdir -p "$shots"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$root/data" "$work/data"
failures=0
passes=0
check() {
    local what=$1; shift
    if "$@"; then passes=$((passes + 1)); else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
greater() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
share() {  # share FILE COLOUR: fraction of the window's pixels within 12% of the colour
    convert "$1" -crop 640x480+0+0 -fuzz 12% -fill white -opaque "$2" -fill black +opaque white \
        -format '%[fx:mean]' info:
}
# fraction of yellowish pixels: red and green well above blue (any brightness of yellow)
yellowish() {
    convert "$1" -crop 640x480+0+0 -fx '(r>0.35 && g>0.12 && b<0.5*g) ? 1 : 0' -format '%[fx:mean]' info:
}

(cd "$work" && exec "$program") >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
    grep -q '^Entering mainloop' "$work/out" 2>/dev/null && break
    sleep 0.1
done
t0=$(date +%s.%N)
at() {  # at SECONDS: sleep until that many seconds after the music started
    local now; now=$(date +%s.%N)
    local wait; wait=$(awk -v t0="$t0" -v s="$1" -v now="$now" 'BEGIN { w = t0 + s - now; print (w > 0 ? w : 0) }')
    sleep "$wait"
}
row=0.12  # seconds per row: speed 6 at 125 BPM
shoot() {  # shoot NAME ORDER ROW
    at "$(awk -v o="$2" -v r="$3" -v row=$row 'BEGIN { print (o * 64 + r) * row }')"
    import -window root -crop 640x480+0+0 "$shots/$1.png"
}
shoot captions 2 14
shoot samovar 4 26
shoot swarm 7 2
shoot portraits 9 2
shoot dancers 12 18
shoot spiral 15 2
shoot missiles 18 2
end=$(awk -v row=$row 'BEGIN { print (20 * 64 + 62) * row }')
at "$(awk -v e="$end" 'BEGIN { print e + 8 }')"
xdotool mousemove 320 240 key space
at "$(awk -v e="$end" 'BEGIN { print e + 14 }')"
import -window root -crop 640x480+0+0 "$shots/endpart.png"
xdotool mousemove 320 240 key space
at "$(awk -v e="$end" 'BEGIN { print e + 20 }')"
xdotool mousemove 320 240 key space

# the end part lasts as long as its stream: about 75 seconds
status=timeout
for _ in $(seq 1 1200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid"
else
    wait "$pid"; status=$?
fi
elapsed=$(awk -v t0="$t0" -v now="$(date +%s.%N)" 'BEGIN { printf "%.1f", now - t0 }')
echo "the program ran for $elapsed s after the music started"
check "ends by itself with status 0 (got $status)" test "$status" = 0
check "played on the sound server: no 'Could not initialize'" bash -c "! grep -q 'Could not initialize' '$work/out'"

check "endpart.snc was written" test -f "$work/endpart.snc"
if [ -f "$work/endpart.snc" ]; then
    cat "$work/endpart.snc"; echo
    length=$(stat -c %s "$root/data/farewell.mp3")
    awk -v size="$length" -F'[ ,\t]+' '/\{0\.0f/ { n++; if ($4 <= last || $4 <= 0 || $4 >= size) bad = 1; last = $4 }
        END { exit !(n == 3 && !bad) }' "$work/endpart.snc"
    check "three records with rising positions inside the stream" test $? = 0
fi

# the portraits are red-tinted negatives: dark red pictures, no yellow
dark=$(convert "$shots/portraits.png" -fx '(r>0.1 && r<0.7 && g<0.15 && b<0.15) ? 1 : 0' -format '%[fx:mean]' info:)
check "portraits show dark red pictures ($dark)" greater "$dark" 0.2
for scene in captions samovar swarm dancers spiral missiles endpart; do
    red=$(share "$shots/$scene.png" "rgb(204,0,0)")
    yellow=$(yellowish "$shots/$scene.png")
    echo "$scene: red $red, yellow $yellow"
    check "$scene shows yellow drawing ($yellow)" greater "$yellow" 0.002
done
for scene in captions samovar dancers spiral missiles; do
    red=$(share "$shots/$scene.png" "rgb(204,0,0)")
    check "$scene shows the red background ($red)" greater "$red" 0.05
done

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
