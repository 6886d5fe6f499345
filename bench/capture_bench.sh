#!/usr/bin/env bash
# capture_bench.sh -- frames per second of the offline capture against drawing the same span
# without output, at 480p, 1080p and 2160p, and supersampling 2 against 1; one Xvfb, one run.
# Run from the project root (data/ must exist):
#   bench/capture_bench.sh BUILD_DIR [SECONDS]
# Each row draws the first SECONDS of music at 60 frames per second. "draw only" writes just
# the last frame: the cost of drawing in lockstep with the sound, without reading frames back
# or encoding them. The live program drawing as fast as it can comes first, for scale.
set -eu
build=$(readlink -f "$1")
span=${2:-4}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"

"$build/bench/capture_live" "$span" >/dev/null 2>"$work/live.err"
printf '%-34s %s\n' "live 640x480, unpaced:" "$(grep '^live:' "$work/live.err" | sed 's/^live: //')"

# frames per wall second of one capture, first frame to last (before the final mux)
fps() {
    "$build/capture/vortazov-capture" "$@" >/dev/null 2>"$work/run.err"
    sed -n 's/^captured .*: \([0-9.]*\) frames per second$/\1/p' "$work/run.err"
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

last=$(awk -v s="$span" 'BEGIN { printf "%.4f", s - 1 / 60 }')
printf '%-8s %12s %12s %8s %16s %8s\n' size "draw only" "capture" ratio "capture, ss 2" "ss 2/1"
for size in 640x480 1080p 2160p; do
    draw=$(fps "$work/draw.mkv" --size "$size" --supersample 1 --from "$last" --to "$span")
    one=$(fps "$work/one.mp4" --size "$size" --supersample 1 --to "$span")
    if [ "$size" = 2160p ]; then
        # supersampling 2160p draws 7680x4320 pictures: left out, it would take most of the run
        printf '%-8s %12s %12s %8s %16s %8s\n' "$size" "$draw" "$one" "$(ratio "$one" "$draw")" - -
        continue
    fi
    two=$(fps "$work/two.mp4" --size "$size" --supersample 2 --to "$span")
    printf '%-8s %12s %12s %8s %16s %8s\n' "$size" "$draw" "$one" "$(ratio "$one" "$draw")" "$two" "$(ratio "$two" "$one")"
done
echo "frames per second; ratio: capture / draw only; ss 2/1: supersampling 2 against 1"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
