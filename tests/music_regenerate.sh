#!/bin/sh
# music_regenerate.sh -- compose into a scratch folder and compare with what data/ ships
# Usage: music_regenerate.sh PATH_TO_COMPOSE (run from the project root).
# The module and the cue sheet must match byte for byte. The MP3 depends on lame's version,
# so it is compared by decoding: same length, same loudness.
set -u
compose=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$compose" "$tmp" >"$tmp/positions.txt" || { echo "FAIL: compose exits with an error"; exit 1; }
cmp data/compruss.xm "$tmp/compruss.xm" || fail "data/compruss.xm differs from the score's module"
cmp data/CUES.md "$tmp/CUES.md" || fail "data/CUES.md differs from the score's cue sheet"

# A second run gives the same bytes.
mkdir "$tmp/again"
"$compose" "$tmp/again" >/dev/null || fail "second compose run fails"
cmp "$tmp/compruss.xm" "$tmp/again/compruss.xm" || fail "two runs give different modules"

# The 78 word positions, first three and last two as the end part prescribes.
[ "$(wc -l <"$tmp/positions.txt")" = 78 ] || fail "compose prints $(wc -l <"$tmp/positions.txt") positions, want 78"
[ "$(head -3 "$tmp/positions.txt" | tr '\n' ' ')" = "67145 75556 82505 " ] || fail "first positions: $(head -3 "$tmp/positions.txt" | tr '\n' ' ')"
[ "$(tail -2 "$tmp/positions.txt" | tr '\n' ' ')" = "1143442 1157339 " ] || fail "last positions: $(tail -2 "$tmp/positions.txt" | tr '\n' ' ')"
sort -n -c "$tmp/positions.txt" || fail "positions not ascending"

# The stream, by decoding.
if cmp -s data/farewell.mp3 "$tmp/farewell.mp3"; then
    echo "farewell.mp3: identical bytes"
else
    echo "farewell.mp3: bytes differ (another lame?), comparing decoded audio"
fi
mpg123 -q -s data/farewell.mp3 >"$tmp/shipped.raw" 2>/dev/null || fail "cannot decode data/farewell.mp3"
mpg123 -q -s "$tmp/farewell.mp3" >"$tmp/fresh.raw" 2>/dev/null || fail "cannot decode the new farewell.mp3"
a=$(wc -c <"$tmp/shipped.raw")
b=$(wc -c <"$tmp/fresh.raw")
# Within one MP3 frame (1152 samples of 4 bytes).
awk -v a="$a" -v b="$b" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= 4608) }' || fail "decoded lengths differ: $a and $b bytes"
level() { sox -t raw -r 44100 -e signed -b 16 -c 2 "$1" -n trim "$2" "$3" stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }
for span in "0 20" "20 20" "40 20" "60 15"; do
    set -- $span
    x=$(level "$tmp/shipped.raw" "$1" "$2")
    y=$(level "$tmp/fresh.raw" "$1" "$2")
    awk -v x="$x" -v y="$y" 'BEGIN { d = 20 * log(x / y) / log(10); if (d < 0) d = -d; exit !(d < 0.5) }' ||
        fail "loudness from $1 s differs: $x and $y"
done

[ "$failures" = 0 ] && echo "music regeneration: all checks passed"
exit "$failures"
