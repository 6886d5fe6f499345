#!/bin/sh
# build.sh -- builds the presentation's web page with Debian's emscripten into a static folder
#
#   web/build.sh [OUTPUT]
#
# OUTPUT defaults to build-web in the repository root; the site is OUTPUT/site, which any web
# server can serve as it is (python3 -m http.server -d build-web/site 8000). On the way:
#   OUTPUT/native  the music rendered by our own audio engine (websound, a native build), with
#                  its position tables; NATIVE=FOLDER takes websound from an existing build
#   OUTPUT/wasm    the program compiled to WebAssembly (emcmake over web/)
# JOBS (default 2) compiles in parallel.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-web}
mkdir -p "$out"
out=$(cd "$out" && pwd)
site=$out/site
jobs=${JOBS:-2}
# Debian's emcc runs on Debian's Python and finds its JavaScript modules (acorn) there, whatever
# else comes first on PATH
export PATH=/usr/bin:$PATH NODE_PATH=/usr/share/nodejs

for tool in emcc cmake lame; do
    command -v $tool >/dev/null || {
        echo "build.sh: $tool is missing: apt-get install -y \$(cat tools/debian-packages-run.txt tools/debian-packages-web.txt)" >&2
        exit 1
    }
done

# 1. The music, rendered ahead of time: the browser plays it, the tables say where it is.
websound=${NATIVE:+$NATIVE/tools/websound/websound}
if [ -z "$websound" ] || [ ! -x "$websound" ]; then
    cmake -S "$root" -B "$out/native" -DVORTAZOV_TESTS=OFF -DVORTAZOV_BENCH=OFF -DVORTAZOV_TOOLS=OFF >"$out/native.log" 2>&1 ||
        { cat "$out/native.log" >&2; exit 1; }
    cmake --build "$out/native" -j"$jobs" --target websound >>"$out/native.log" 2>&1 ||
        { cat "$out/native.log" >&2; exit 1; }
    websound=$out/native/tools/websound/websound
fi
mkdir -p "$out/sound"
# rendered again only when the music or the tool is newer than what was rendered
if [ ! -f "$out/sound/farewell.pos" ] || [ -n "$(find "$root/data/compruss.xm" "$root/data/farewell.mp3" "$websound" -newer "$out/sound/farewell.pos")" ]; then
    "$websound" "$root/data/compruss.xm" "$root/data/farewell.mp3" "$out/sound"
fi

# 2. The program.
emcmake cmake -S "$root/web" -B "$out/wasm" -DCMAKE_BUILD_TYPE=Release >"$out/wasm.log" 2>&1 ||
    { cat "$out/wasm.log" >&2; exit 1; }
cmake --build "$out/wasm" -j"$jobs" --target vortazov

# 3. The site: the page, the program, the data it reads (the music's sources stay behind: the
# page plays the rendered sound) and files.json, the list the page loads with its sizes.
rm -rf "$site.new"
mkdir -p "$site.new/sound"
cp "$root/web/page/index.html" "$root/web/page/page.css" "$root/web/page/page.js" "$root/audio/webaudio.js" \
    "$out/wasm/vortazov.js" "$out/wasm/vortazov.wasm" "$site.new/"
cp "$root/packaging/icons/48x48/apps/vortazov.png" "$site.new/icon.png"
cp "$out/sound/compruss.mp3" "$out/sound/compruss.pos" "$out/sound/farewell.mp3" "$out/sound/farewell.pos" "$site.new/sound/"
(cd "$root" && find data -name '*.lwo' -o -name '*.tga') | sort | while read -r file; do
    mkdir -p "$site.new/$(dirname "$file")"
    cp "$root/$file" "$site.new/$file"
done
(
    cd "$site.new"
    size() { wc -c <"$1" | tr -d ' '; }
    printf '{\n  "program": "vortazov.wasm",\n  "sounds": [\n'
    printf '    {"name": "data/compruss.xm", "audio": "sound/compruss.mp3", "audioSize": %s, "table": "sound/compruss.pos"},\n' "$(size sound/compruss.mp3)"
    printf '    {"name": "data/farewell.mp3", "audio": "sound/farewell.mp3", "audioSize": %s, "table": "sound/farewell.pos"}\n' "$(size sound/farewell.mp3)"
    printf '  ],\n  "files": [\n'
    first=1
    for file in vortazov.wasm $(find data -type f | sort); do
        [ $first = 1 ] || printf ',\n'
        first=0
        printf '    {"path": "%s", "size": %s}' "$file" "$(size "$file")"
    done
    printf '\n  ]\n}\n'
) >"$site.new/files.json"
rm -rf "$site"
mv "$site.new" "$site"
echo "the site is in $site: python3 -m http.server -d $site 8000, then http://localhost:8000/"
