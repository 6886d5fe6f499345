#!/bin/sh
# run.sh -- the web back-end in headless Chromium (and Firefox where installed): against the desktop engine (pulled positions and samples) and against the sound heard (live)
#
#   bench/webaudio/run.sh BUILD
#
# BUILD: a native build of this project with tools and benchmarks (websound, webaudio_sequence,
# webaudio_native_live, tests/with_sound_server). Needs Debian's emscripten, chromium, nodejs
# and npm (playwright-core is installed into BUILD/webaudio-check), parec and python3-numpy.
# Prints the figures and exits non-zero when a browser got something wrong (positions that
# differ from the desktop engine, samples off the render, a bad file loaded, positions more
# than 8 ms off the sound heard); the page's own output is kept in BUILD/webaudio-check.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$build/webaudio-check
site=$work/site
mkdir -p "$site"
cd "$root"

# the sounds and tables, as the web build makes them
"$build/tools/websound/websound" data/compruss.xm data/farewell.mp3 "$site"
# the back-end and the check's driver, compiled for the browser
NODE_PATH=/usr/share/nodejs PATH=/usr/bin:$PATH emcc -O2 -std=c++17 -Wall -Wextra -Iaudio \
    bench/webaudio/check.cpp bench/webaudio/sequence.cpp audio/webaudio.cpp audio/soundtable.cpp \
    -o "$site/check.js" -sEXPORTED_RUNTIME_METHODS=ccall -sALLOW_MEMORY_GROWTH=1
cp audio/webaudio.js bench/webaudio/check.html "$site/"
head -c 5000 "$site/compruss.pos" > "$site/compruss-cut.pos"
# what the desktop engine answers and renders
"$build/bench/webaudio_sequence" data/compruss.xm data/farewell.mp3 > "$site/sequence-native.txt"
"$build/bench/webaudio_sequence" --samples data/compruss.xm 0 220500 > "$site/render-start.raw"
"$build/bench/webaudio_sequence" --samples data/compruss.xm 7000000 100000 > "$site/render-end.raw"
"$build/bench/webaudio_sequence" --samples data/compruss.xm 0 882000 > "$work/render.raw"
[ -d "$work/node_modules/playwright-core" ] || (cd "$work" && npm install --no-save --silent playwright-core@1.47)

# a server of our own on a free port
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$site" > "$work/http.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
port=""
for _ in $(seq 40); do
    port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/http.log")
    [ -n "$port" ] && break
    sleep 0.25
done
[ -n "$port" ] || { echo "the web server did not start"; exit 1; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
NODE_PATH=$work/node_modules "$build/tests/with_sound_server" pulseaudio \
    sh bench/webaudio/session.sh "$work" "http://127.0.0.1:$port/check.html" "$build"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/python3 bench/webaudio/analyse.py "$work/out.json" "$work"
# Firefox, where it is installed (Debian's firefox-esr): the page runs its checks by itself
if command -v firefox-esr > /dev/null; then
    echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$build/tests/with_sound_server" pulseaudio \
        sh bench/webaudio/firefox.sh "$work" "http://127.0.0.1:$port/check.html" "$build"
    /usr/bin/python3 bench/webaudio/analyse.py "$work/firefox/out.json" "$work/firefox"
fi
