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

"$build/bench/capture_live" "$span" >/dev/null 2>"$work/live.err"
live=$(sed -n 's/^live: .*: \([0-9.]*\) frames per second$/\1/p' "$work/live.err")
printf '%-14s %s\n' "live:" "$(grep '^live:' "$work/live.err" | sed 's/^live: //')"

# "run only" writes just the last frame: the cost of drawing in lockstep with the sound,
# without reading frames back or encoding them
last=$(awk -v s="$span" 'BEGIN { printf "%.4f", s - 1 / 60 }')
for kind in mp4 mkv run-only; do
    case $kind in
        run-only) args=("$work/bench.mkv" --from "$last" --to "$span") ;;
        *) args=("$work/bench.$kind" --to "$span") ;;
    esac
    "$build/capture/vortazov-capture" "${args[@]}" >/dev/null 2>"$work/$kind.err"
    line=$(grep '^captured ' "$work/$kind.err")
    # frames per wall second from the first frame to the last, before the final mux
    fps=$(echo "$line" | sed -n 's/.*: \([0-9.]*\) frames per second$/\1/p')
    frames=$(awk -v s="$span" 'BEGIN { printf "%d", s * 60 + 0.5 }')
    printf '%-14s %s frames in %s\n' "capture $kind:" "$frames" "$(echo "$line" | sed 's/.* in //')"
    awk -v c="$fps" -v l="$live" -v e="$kind" \
        'BEGIN { printf "%-14s %.2f (capture / live frames per second)\n", "ratio " e ":", c / l }'
done
