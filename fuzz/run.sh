#!/bin/sh
# run.sh -- builds the sanitized fuzz configuration, replays the seed corpora, fuzzes.
#
#   fuzz/run.sh [SECONDS]
#
# SECONDS: how long each fuzzer runs after the replay (default 60; 0 replays only).
# Environment: BUILD (build folder, default ../build-fuzz beside the project),
# SOURCE (the CMake project, default the project root), JOBS (default 2).
# Exits non-zero when a build fails, a replay finds a fault or a fuzzer finds a crash,
# a leak or a sanitizer report; the input that did it is left in $BUILD/fuzz-findings.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${BUILD:-$root/../build-fuzz}
source=${SOURCE:-$root}
jobs=${JOBS:-2}
testdata=$root/../shared/testdata

mkdir -p "$build"
build=$(cd "$build" && pwd)
CC=clang CXX=clang++ cmake -S "$source" -B "$build" -DVORTAZOV_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target assets_lwo2_fuzz assets_tga_fuzz \
    assets_lwo2_replay assets_tga_replay assets_seeds audio_load_fuzz audio_load_replay audio_seeds \
    soundtable_fuzz soundtable_replay soundtable_seeds

bin=$(dirname "$(find "$build" -name assets_lwo2_fuzz -type f | head -n 1)")
seeds=$build/fuzz-seeds
mkdir -p "$seeds/lwo2" "$seeds/tga" "$seeds/audio" "$seeds/soundtable" "$build/fuzz-corpus/lwo2" \
    "$build/fuzz-corpus/tga" "$build/fuzz-corpus/audio" "$build/fuzz-corpus/soundtable" "$build/fuzz-findings"
"$bin/assets_seeds" "$seeds/lwo2" "$seeds/tga"
"$bin/audio_seeds" "$seeds/audio"
"$bin/soundtable_seeds" "$seeds/soundtable"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The shipped objects and images join the seeds once they exist.
data_lwo2=""
data_tga=""
[ -d "$root/data/3d" ] && data_lwo2="$root/data/3d"
[ -d "$root/data/textures" ] && data_tga="$root/data/textures"
data_audio=""
for f in "$root/data/compruss.xm" "$root/data/farewell.mp3"; do
    [ -f "$f" ] && data_audio="$data_audio $f"
done

# Replay: the shared files, the fixtures, the data and whatever earlier runs kept.
cd "$root"
"$bin/assets_lwo2_replay" "$testdata/lwo2" "$seeds/lwo2" "$build/fuzz-corpus/lwo2" $data_lwo2
"$bin/assets_tga_replay" "$testdata/tga" "$seeds/tga" "$build/fuzz-corpus/tga" $data_tga
"$bin/audio_load_replay" "$seeds/audio" "$build/fuzz-corpus/audio" $data_audio
"$bin/soundtable_replay" "$seeds/soundtable" "$build/fuzz-corpus/soundtable"

[ "$seconds" -gt 0 ] || exit 0
"$bin/assets_lwo2_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-findings/lwo2-" -print_final_stats=1 \
    "$build/fuzz-corpus/lwo2" "$seeds/lwo2" "$testdata/lwo2" $data_lwo2
"$bin/assets_tga_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-findings/tga-" -print_final_stats=1 \
    "$build/fuzz-corpus/tga" "$seeds/tga" "$testdata/tga" $data_tga
# The shipped files are seeds too; libFuzzer takes folders only, so they go in the corpus.
[ -n "$data_audio" ] && cp $data_audio "$build/fuzz-corpus/audio/"
"$bin/audio_load_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-findings/audio-" -print_final_stats=1 \
    "$build/fuzz-corpus/audio" "$seeds/audio"
"$bin/soundtable_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-findings/soundtable-" -print_final_stats=1 \
    "$build/fuzz-corpus/soundtable" "$seeds/soundtable"
