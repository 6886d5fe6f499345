#!/bin/sh
# firefox.sh -- run.sh's Firefox part inside the test sound server: the check page by itself in headless Firefox, recorded as session.sh records Chromium
#   firefox.sh WORK URL BUILD   (writes WORK/firefox/out.json and the recording beside it)
set -eu
work=$1 url=$2 build=$3
here=$(dirname "$0")
out=$work/firefox
mkdir -p "$out"
ln -sfn "$work/site" "$out/site"
ln -sf "$work/render.raw" "$out/render.raw"
profile=$(mktemp -d)
cat > "$profile/user.js" <<PREFS
user_pref("devtools.console.stdout.content", true);
user_pref("media.autoplay.default", 0);
user_pref("media.autoplay.blocking_policy", 0);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
PREFS
python3 "$here/record.py" "$out/recording.raw" "$out/recording.times" &
recorder=$!
sleep 1
"$build/bench/webaudio_native_live" 12 data/compruss.xm > "$out/native.txt"
sleep 1
setsid firefox-esr --headless --no-remote --profile "$profile" "$url?auto" > "$out/firefox.log" 2>&1 &
firefox=$!
for _ in $(seq 360); do
    grep -q 'RESULT ' "$out/firefox.log" && break
    sleep 0.5
done
kill -TERM -$firefox 2>/dev/null || true
kill -TERM $recorder
wait $recorder || true
rm -rf "$profile"
# Firefox prints a console string quoted, its quotes escaped
python3 -c '
import json, sys
line = next(l for l in open(sys.argv[1]) if "RESULT " in l).split("RESULT ", 1)[1].rstrip().rstrip("\"")
json.dump(json.loads(line.replace("\\\"", "\"")), open(sys.argv[2], "w"))
' "$out/firefox.log" "$out/out.json" || true
[ -s "$out/out.json" ] || { echo "Firefox gave no result; its output:"; tail -20 "$out/firefox.log"; exit 1; }
