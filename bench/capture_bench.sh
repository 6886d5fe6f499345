#!/usr/bin/env bash
# capture_bench.sh -- frames per second of the offline capture against the live presentation
# drawing the same span of music, in one Xvfb. Run from the project root (data/ must exist):
#   bench/capture_bench.sh BUILD_DIR [SECONDS]
# The live side draws as fast as it can for SECONDS of real time; the capture draws the same
# SECONDS of music at 60 frames per second and writes them (.mp4 and .mkv, one run each).
set -eu
build=$(readlink -f "$1")
span=${2:-20}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

SDL_AUDIODRIVER=dummy "$build/bench/capture_live" "$span" >/dev/null 2>"$work/live.err"
live=$(sed -n 's/^live: .*: \([0-9.]*\) frames per second$/\1/p' "$work/live.err")
echo "live:            $(grep '^live:' "$work/live.err" | sed 's/^live: //')"

for ext in mp4 mkv; do
    "$build/vortazov-capture" "$work/bench.$ext" --to "$span" >/dev/null 2>"$work/$ext.err"
    line=$(grep '^captured ' "$work/$ext.err")
    fps=$(echo "$line" | sed -n 's/.*: \([0-9.]*\) frames per second$/\1/p')
    # frames per wall second from the first frame to the last, before the final mux
    printf 'capture %s:     %s\n' "$ext" "${line#captured }"
    awk -v c="$fps" -v l="$live" -v e="$ext" 'BEGIN { printf "ratio %s:       %.2f (capture / live frames per second)\n", e, c / l }'
done
