#!/bin/sh
# music_loudness.sh -- the shipped music measured as a listener hears it, with ffmpeg's EBU R128 meter
# Run from the project root. Needs ffmpeg (with libopenmpt) and mpg123.
# The climax must stand 2 LU above every other section, the theme and the swarm among them; the
# end-part song must match the module's loudness, move (a loudness range of 3 LU or more) and
# have died away by its last word's byte, where the program ends.
set -u
xm=data/compruss.xm
mp3=data/farewell.mp3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Order start times from the cue sheet's order table ("| order | m:ss.ss | ..."), in seconds.
start() {
    awk -F' [|] ' -v o="$1" '/^## farewell/ { exit } $1 == "| " o { split($2, t, ":"); print t[1] * 60 + t[2]; exit }' data/CUES.md
}
timelineEnd=$(sed -n 's/.*order 20 row 62, \([0-9]*\):\([0-9.]*\) after.*/\1 \2/p' data/CUES.md | awk '{ print $1 * 60 + $2 }')
[ -n "$timelineEnd" ] || { echo "FAIL: no timeline end in data/CUES.md"; exit 1; }

# integrated FILE FROM TO: integrated loudness (LUFS) of that span; range: its loudness range (LU).
meter() {
    ffmpeg -hide_banner -nostats -i "$1" -af "atrim=$2:$3,ebur128" -f null - 2>&1 | sed -n '/Summary:/,$p' >"$tmp/meter.txt"
}
integrated() { meter "$@"; awk '$1 == "I:" { print $2 }' "$tmp/meter.txt"; }
range() { meter "$@"; awk '$1 == "LRA:" { print $2 }' "$tmp/meter.txt"; }

# Sections of the timeline, by the scenes' orders.
loudest=-100
loudestName=
for section in "intro 0 4" "samovar 4 6" "swarm 6 8" "portraits 8 10" "dance 10 14" "spiral 14 16"; do
    set -- $section
    from=$(start "$2")
    to=$(start "$3")
    level=$(integrated "$xm" "$from" "$to")
    echo "$1 (orders $2-$(($3 - 1))): $level LUFS"
    eval "level_$1=$level"
    if awk -v a="$level" -v b="$loudest" 'BEGIN { exit !(a > b) }'; then loudest=$level; loudestName=$1; fi
done
climax=$(integrated "$xm" "$(start 16)" "$timelineEnd")
themes=$(integrated "$xm" "$(start 4)" "$(start 8)")
module=$(integrated "$xm" 0 "$timelineEnd")
echo "climax (orders 16-20): $climax LUFS; orders 4-7: $themes LUFS; loudest other section: $loudestName $loudest LUFS"
echo "module to the end of the timeline: $module LUFS"
awk -v c="$climax" -v t="$themes" 'BEGIN { exit !(c >= t + 2.0) }' || fail "the climax is not 2 LU above orders 4-7"
awk -v c="$climax" -v l="$loudest" 'BEGIN { exit !(c >= l + 2.0) }' || fail "the climax is not 2 LU above every other section"

# The song, decoded as the player decodes it.
mpg123 -q -s "$mp3" >"$tmp/farewell.raw" 2>/dev/null || fail "cannot decode $mp3"
ffmpeg -hide_banner -loglevel error -f s16le -ar 44100 -ac 2 -i "$tmp/farewell.raw" "$tmp/farewell.wav" || fail "cannot convert the song"
song=$(integrated "$tmp/farewell.wav" 0 1000)
songRange=$(range "$tmp/farewell.wav" 0 1000)
echo "farewell: $song LUFS, loudness range $songRange LU"
awk -v s="$song" -v m="$module" 'BEGIN { d = s - m; if (d < 0) d = -d; exit !(d <= 1.0) }' ||
    fail "the song is not within 1 LU of the module"
awk -v r="$songRange" 'BEGIN { exit !(r >= 3.0) }' || fail "the song's loudness range is under 3 LU"

# The last word is shown for one frame at byte 1157339 and the program ends: from there on the
# song must be silent (under -60 dBFS), and it must not fall silent long before.
lastWord=$(awk 'BEGIN { print (1157339 - 417) / 16000 }')
after=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$tmp/farewell.raw" -n trim "$lastWord" stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
before=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$tmp/farewell.raw" -n trim "$(awk -v t="$lastWord" 'BEGIN { print t - 1.0 }')" 0.5 stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
echo "farewell RMS after its last word's byte: $after; a second before: $before"
awk -v a="$after" 'BEGIN { exit !(a < 0.001) }' || fail "the song still sounds after byte 1157339 ($after RMS)"
awk -v b="$before" 'BEGIN { exit !(b > 0.003) }' || fail "the song has gone quiet a second before its last word ($before RMS)"

[ "$failures" = 0 ] && echo "music loudness: all checks passed"
exit "$failures"
