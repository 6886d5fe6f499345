#!/bin/sh
# session.sh -- run.sh's part inside the test sound server: records the sink while the desktop engine, then the page, plays the module
#   session.sh WORK URL BUILD
set -eu
work=$1 url=$2 build=$3
here=$(dirname "$0")
python3 "$here/record.py" "$work/recording.raw" "$work/recording.times" &
recorder=$!
sleep 1
"$build/bench/webaudio_native_live" 12 data/compruss.xm > "$work/native.txt"
sleep 1
status=0
node "$here/run.js" "$url" "$work/out.json" || status=$?
kill -TERM $recorder
wait $recorder || true
exit $status
