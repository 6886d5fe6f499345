#!/bin/sh
# music_players.sh -- the shipped module and stream, checked with players and decoders we did not write
# Run from the project root. Needs openmpt123, xmp, mpg123 and sox.
set -u
xm=data/compruss.xm
mp3=data/farewell.mp3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# libopenmpt: loads without complaint, as FastTracker 2.
openmpt123 --info "$xm" >"$tmp/openmpt.txt" 2>&1 || fail "openmpt123 --info exits with an error"
grep -qi 'warn' "$tmp/openmpt.txt" && fail "openmpt123 warns: $(grep -i warn "$tmp/openmpt.txt")"
grep -q '^Type\.*: xm (FastTracker 2' "$tmp/openmpt.txt" || fail "openmpt123 does not see a FastTracker 2 module"
mptOrders=$(sed -n 's/^Orders\.*: *//p' "$tmp/openmpt.txt")
mptDuration=$(sed -n 's/^Duration\.*: *//p' "$tmp/openmpt.txt" | awk -F: '{ print $1 * 60 + $2 }')

# libxmp: the same orders, and (rendered) the same length.
xmp --load-only "$xm" >"$tmp/xmp.txt" 2>&1 || fail "xmp cannot load the module"
xmpOrders=$(sed -n 's/^Module length: *\([0-9]*\) patterns/\1/p' "$tmp/xmp.txt")
xmpInfoDuration=$(sed -n 's/^Duration *: *\([0-9]*\)min\([0-9]*\)s/\1 \2/p' "$tmp/xmp.txt" | awk '{ print $1 * 60 + $2 }')
xmpBytes=$(xmp -q -d file -o - "$xm" 2>/dev/null | wc -c)
xmpDuration=$(echo "$xmpBytes" | awk '{ print $1 / 4 / 44100 }')
echo "orders: libopenmpt $mptOrders, libxmp $xmpOrders"
echo "duration: libopenmpt $mptDuration s, libxmp $xmpDuration s rendered ($xmpInfoDuration s reported)"
[ "$mptOrders" = 21 ] || fail "libopenmpt reports $mptOrders orders, want 21"
[ "$mptOrders" = "$xmpOrders" ] || fail "orders differ: libopenmpt $mptOrders, libxmp $xmpOrders"
awk -v a="$mptDuration" -v b="$xmpDuration" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d < 1.0 && a > 161.04) }' ||
    fail "durations differ by a second or more, or end before order 20 row 62"
awk -v a="$mptDuration" -v b="$xmpInfoDuration" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d < 1.0) }' ||
    fail "libxmp's own duration estimate is off"

# mpg123: decodes cleanly; CBR 128 kbit/s, 44100 Hz, two channels.
mpg123 -v -t "$mp3" >"$tmp/mpg123.txt" 2>&1 || fail "mpg123 exits with an error"
grep -Eqi 'error|warning|bad|junk' "$tmp/mpg123.txt" && fail "mpg123 complains: $(grep -Ei 'error|warning|bad|junk' "$tmp/mpg123.txt" | head -3)"
grep -Eq 'MPEG 1\.0 L III cbr128 44100 (j-s|stereo)' "$tmp/mpg123.txt" || fail "not MPEG-1 layer III CBR 128 kbit/s stereo at 44100 Hz"
mpg123 -q -s "$mp3" >"$tmp/farewell.raw" 2>/dev/null || fail "mpg123 cannot decode to PCM"
seconds=$(wc -c <"$tmp/farewell.raw" | awk '{ print $1 / 4 / 44100 }')
size=$(wc -c <"$mp3")
echo "farewell.mp3: $size bytes, $seconds s decoded"
# The last word is at byte 1157339: the stream must go on past it (in silence), or the stream
# would end before the frame that shows the word.
[ "$size" -ge $((1157339 + 2 * 16000)) ] || fail "the stream ends too soon after the last word ($size bytes)"
awk -v s="$seconds" 'BEGIN { exit !(s > (1157339 - 417) / 16000 + 2.0) }' || fail "decoded stream too short ($seconds s)"
# Byte positions map to time only if the audio starts right after lame's 417-byte tag frame.
head -c 4 "$mp3" | od -An -tx1 | grep -q 'ff fb' || fail "no MPEG frame at byte 0"
head -c 200 "$mp3" | grep -q 'Info' || fail "no CBR Info tag in the first frame"
dd if="$mp3" bs=1 skip=417 count=2 2>/dev/null | od -An -tx1 | grep -q 'ff fb' || fail "the first audio frame is not at byte 417"
# Expected rate: 16000 bytes a second after the tag.
awk -v b="$size" -v s="$seconds" 'BEGIN { r = (b - 417) / s; exit !(r > 15950 && r < 16050) }' ||
    fail "not 16000 bytes a second"
# No clipping in the decoded stream.
peak=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$tmp/farewell.raw" -n stat 2>&1 | awk '/Maximum amplitude/ { a = $3 } /Minimum amplitude/ { b = -$3 } END { print (a > b ? a : b) }')
echo "farewell peak $peak"
awk -v p="$peak" 'BEGIN { exit !(p < 0.999) }' || fail "the stream clips (peak $peak)"

[ "$failures" = 0 ] && echo "music players: all checks passed"
exit "$failures"
