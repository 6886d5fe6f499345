#!/usr/bin/env bash
# player_e2e.sh -- the real program in a real window under Xvfb, with keys sent by xdotool.
# Usage: player_e2e.sh PATH/TO/vortazov PATH/TO/wmclose PATH/TO/slow_start [sound]
# (from the project root, where data/ lies; slow_start is the program with its first two
# frames slowed to 250 ms; "sound": only the parts that play on the sound server)
# Sound goes to the server that PULSE_SERVER and PIPEWIRE_REMOTE name: ctest runs this under
# with_sound_server, which starts a server with a null sink for this test alone, once
# PulseAudio (all of it) and once PipeWire (the sound parts).
set -u
program=$(readlink -f "$1")
wmclose=$(readlink -f "$2")
slow=$(readlink -f "$3")
only=${4:-all}
root=$(pwd)
if [ -z "${PULSE_SERVER:-}" ] || [ -z "${PIPEWIRE_REMOTE:-}" ]; then
    echo "PULSE_SERVER or PIPEWIRE_REMOTE is not set: run this under with_sound_server" >&2
    exit 2
fi
# the output the program must name: PipeWire's own stream where PipeWire runs, else cubeb's
case "${SOUND_SERVER_KIND:-pulseaudio}" in
    pipewire*) output=pipewire ;;
    *) output=pulse ;;
esac
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_checks.sh"
# the environment of a program with no sound server to reach, neither PulseAudio nor PipeWire
nosound="PULSE_SERVER=unix:$work/no-server PIPEWIRE_REMOTE=$work/no-server"

# Starts the program ($3, default the real one) in directory $1 on the test's sound server
# ($2 = server) or with no server to reach ($2 = none); output goes to $work/out.
start() {
    local servers="PULSE_SERVER=$PULSE_SERVER PIPEWIRE_REMOTE=$PIPEWIRE_REMOTE"
    [ "$2" = none ] && servers=$nosound
    (cd "$1" && exec env $servers "${3:-$program}") >"$work/out" 2>"$work/err" &
    pid=$!
    programWindow 100 >/dev/null
}

# Sends Escape and waits for the exit; sets status (124 when it did not end within a second).
escape() {
    xdotool mousemove 320 240 key Escape
    for _ in $(seq 1 10); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"; wait "$pid" 2>/dev/null; status=124
    else
        wait "$pid"; status=$?
    fi
}

# The peak amplitude (0 to 1) of a raw recording of a sink's monitor.
peak_of() {
    sox -t raw -r 44100 -e signed -b 16 -c 2 "$1" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}'
}

# Records sink $1's monitor for $2 seconds into $work/$3.raw; sets peak to its peak.
record_peak() {
    parec -d "$1.monitor" --raw --format=s16le --rate=44100 --channels=2 >"$work/$3.raw" &
    local recorder=$!
    sleep "$2"
    kill "$recorder"; wait "$recorder" 2>/dev/null
    peak=$(peak_of "$work/$3.raw")
}

# Fraction of the window's pixels within 10% of a colour (window at the screen's top-left).
share() {
    convert "$work/shot.png" -crop "$2" -fuzz 10% -fill white -opaque "$3" -fill black +opaque white \
        -format '%[fx:mean]' info:
}

# 1. A normal start on the sound server: messages, picture, sound, Escape. The null sink's
# monitor records what would be heard.
parec -d vortazov_null.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/audio.raw" &
recorder=$!
start "$root" server
sleep 3
import -window root "$work/shot.png"
cp "$work/shot.png" "$work/first.png"
# a resized window is drawn whole, with the status line still at its top-left corner
xdotool windowsize "$(xdotool search --name '^vortazov$' | head -1)" 900 500
sleep 2
import -window root "$work/shot.png"
red=$(share x "900x500+0+0" "rgb(204,0,0)")
check "the resized window is drawn whole ($red)" greater "$red" 0.8
dark=$(share x "300x16+8+8" "black")
check "the resized window keeps its status line ($dark)" greater "$dark" 0.02
cp "$work/first.png" "$work/shot.png"
escape
kill "$recorder"; wait "$recorder" 2>/dev/null
check "exits with status 0 within a second of Escape (got $status)" test "$status" = 0
check "the sound server was there: no 'Could not initialize'" bash -c "! grep -q 'Could not initialize' '$work/out'"
check "and the output in use is named once ($output)" test "$(grep -c "^Sound output: $output at [0-9]* Hz$" "$work/out")" = 1
grep -v -e '^\s' -e '^???' -e 'Reading grayscale' "$work/out" | grep -E \
    '^(initializing BASS|Initializing effects...|Initializing GLUT ...|Playing muzak...|Entering mainloop...)$' \
    >"$work/order"
check "start-up messages in order" diff -u - "$work/order" <<'LINES'
initializing BASS
Initializing effects...
Initializing GLUT ...
Playing muzak...
Entering mainloop...
LINES
check "no failure messages with the real data" bash -c "! grep -q 'Aw shit' '$work/out' && ! grep -q 'could not load' '$work/err'"
# however slow the machine, a window with no room above 640x480 keeps its picture's size
check "the picture is never made smaller at 640x480 or 900x500" bash -c "! grep -q 'picture is drawn at' '$work/out'"
red=$(share x "640x480+0+0" "rgb(204,0,0)")
check "the picture is mostly the red clear colour ($red)" greater "$red" 0.3
dark=$(share x "300x16+8+8" "black")
check "the status line has black text ($dark)" greater "$dark" 0.02
peak=$(peak_of "$work/audio.raw")
check "the sink's monitor heard the music (peak ${peak:-none})" greater "${peak:-0}" 0.05

# 1a. The sound server stalls (SIGSTOP), then dies and comes back. SOUND_SERVER_CONTROL is
# with_sound_server, which freezes the server on SIGUSR1, thaws it on SIGUSR2 and starts it
# again on SIGWINCH. A frozen server: the show goes on on the silent clock, and Escape ends
# it at once. A server that comes back: the music is heard again within a few seconds.
start "$root" server
sleep 6
kill -USR1 "$SOUND_SERVER_CONTROL"
sleep 1.5
escape
kill -USR2 "$SOUND_SERVER_CONTROL"
check "a frozen sound server: Escape exits 0 within a second (got $status)" test "$status" = 0
check "and the frozen server was noticed" grep -q '^Sound output lost (the sound server stopped answering)' "$work/out"
start "$root" server
sleep 6
kill -WINCH "$SOUND_SERVER_CONTROL"
for _ in $(seq 1 40); do grep -q '^Sound output found again' "$work/out" && break; sleep 0.2; done
got=$(grep -e '^Sound output lost' -e '^Sound output found' "$work/out" | tr '\n' ' ')
check "the output is lost and found again once each (got: $got)" \
    test "$(grep -c -e '^Sound output lost' -e "^Sound output found again ($output)" "$work/out")" = 2
# PulseAudio's null sink holds a new stream for about two seconds after its first write
record_peak vortazov_null 3.5 again
escape
check "the server's sink hears the music again (peak ${peak:-none})" greater "${peak:-0}" 0.05
check "and Escape still exits 0 (got $status)" test "$status" = 0

# 1c. The server frozen while the program starts: it says there is no sound and plays on
# silently; thawed, the output is found, announced once, and the sink hears the music.
kill -USR1 "$SOUND_SERVER_CONTROL"
start "$root" server
sleep 4
kill -USR2 "$SOUND_SERVER_CONTROL"
check "a server frozen at the start: no sound device at first" grep -q '^Could not initialize default sound device!$' "$work/out"
for _ in $(seq 1 40); do grep -q '^Sound output found (' "$work/out" && break; sleep 0.2; done
check "the output found later is announced once" \
    test "$(grep -c "^Sound output found ($output): playing from here.$" "$work/out")" = 1
record_peak vortazov_null 3.5 late
escape
check "and the sink hears the music (peak ${peak:-none})" greater "${peak:-0}" 0.05
check "no other output message (got $(grep -c '^Sound output' "$work/out"))" test "$(grep -c '^Sound output' "$work/out")" = 1
check "and Escape exits 0 (got $status)" test "$status" = 0

# 1d. PipeWire: another sink becomes the desktop's default; the output is opened again there.
# (PulseAudio moves the stream over itself, and cubeb hears of it no more than we do.)
if [ "$output" = pipewire ]; then
    start "$root" server
    sleep 3
    pactl load-module module-null-sink sink_name=vortazov_other rate=48000 channels=2 >/dev/null
    pactl set-default-sink vortazov_other
    for _ in $(seq 1 40); do grep -q '^Sound output found again' "$work/out" && break; sleep 0.2; done
    check "a new default sink: the output is lost and found again" \
        test "$(grep -c -e '^Sound output lost (the default output changed)' -e '^Sound output found again' "$work/out")" = 2
    record_peak vortazov_other 3 other
    escape
    check "the new default sink hears the music (peak ${peak:-none})" greater "${peak:-0}" 0.05
    pactl set-default-sink vortazov_null
fi

if [ "$only" = sound ]; then
    finish
    exit
fi

# 1b. A slow start, as on a loaded machine: the first two frames take 250 ms, then the frames
# are quick and the lookahead to the swap falls. Ten starts with the sound server and ten
# without: the end part never begins before its time (order 20, 2.7 minutes in).
early=0
for _ in $(seq 1 10); do
    for server in server none; do
        start "$root" $server "$slow"
        sleep 1.5
        escape
        grep -q '^end part began' "$work/out" && { early=$((early + 1)); grep '^end part began' "$work/out"; }
    done
done
check "a slow start never ends the timeline early ($early of 20 did)" test "$early" = 0

# 2. No sound server at all: the message, then the silent clock.
start "$root" none
sleep 2
escape
check "runs without any sound server and exits 0 (got $status)" test "$status" = 0
[ "$status" = 0 ] || cat "$work/err"
check "says the device could not be initialised" grep -q '^Could not initialize default sound device!$' "$work/out"

# 2a. No display: a message that names it and status 1, never an abort from a thread left running.
(cd "$root" && env -u DISPLAY $nosound timeout 10 "$program") >"$work/out" 2>"$work/err"
status=$?
check "without a display it exits with status 1 (got $status)" test "$status" = 1
check "and says the display cannot be used" grep -q '^vortazov: cannot use the display: .*DISPLAY is not set' "$work/err"

# 2b. The display goes away under the running program (an X server of this test's own, killed):
# status 1 and a message, not the status 0 of a normal end.
Xvfb -displayfd 3 -screen 0 800x600x24 3>"$work/display" 2>/dev/null &
xserver=$!
for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.1; done
(cd "$root" && exec env DISPLAY=":$(cat "$work/display")" $nosound "$program") >"$work/out" 2>"$work/err" &
pid=$!
sleep 2
kill "$xserver"; wait "$xserver" 2>/dev/null
for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; wait "$pid" 2>/dev/null; status=124; else wait "$pid"; status=$?; fi
check "a display that goes away ends the program with status 1 (got $status)" test "$status" = 1
check "and says so" grep -q '^vortazov: lost the connection to the display' "$work/err"

# 2c. Closing the window is an exit like Escape.
start "$root" none
sleep 2
"$wmclose" "$(xdotool search --name '^vortazov$' | head -1)"
for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; wait "$pid" 2>/dev/null; status=124; else wait "$pid"; status=$?; fi
check "closing the window ends the program with status 0 (got $status)" test "$status" = 0
check "without an X error" bash -c "! grep -q 'X Error' '$work/out' '$work/err'"

# 2d. F11: fullscreen and back; the status line stays at the top-left; Escape while fullscreen.
start "$root" server
sleep 2
window=$(xdotool search --name '^vortazov$' | head -1)
screen=$(xdotool getdisplaygeometry | tr ' ' x)
size() { xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}'; }
xdotool mousemove 320 240 key F11
sleep 2
check "F11 makes the window fill the screen ($(size), screen $screen)" test "$(size)" = "$screen"
import -window root "$work/shot.png"
red=$(share x "$screen+0+0" "rgb(204,0,0)")
check "the fullscreen window is drawn whole ($red)" greater "$red" 0.8
dark=$(share x "300x16+8+8" "black")
check "fullscreen keeps the status line at the top-left ($dark)" greater "$dark" 0.02
xdotool key F11
sleep 1
check "F11 again brings back the 640x480 window ($(size))" test "$(size)" = 640x480
xdotool key F11
sleep 1
escape
check "Escape while fullscreen exits 0 within a second (got $status)" test "$status" = 0

# 3. No data at all (a file named data, then a loop of links): a word on where it looked, what
# is wrong there and how to fix it, and exit 1 at once, without a window; then a module and a
# stream that are not valid.
mkdir -p "$work/empty" "$work/loop" "$work/bad/data"
touch "$work/empty/data"
ln -s data "$work/loop/data"
if [ -e /usr/local/share/games/vortazov/data ]; then
    echo "skipped: an installed data folder would be found"
else
    (cd "$work/empty" && env $nosound timeout 10 "$program") >"$work/out" 2>"$work/err"
    status=$?
    check "without data anywhere exits 1 at once (got $status)" test "$status" = 1
    check "says where it looked, and that data is a file there" \
        grep -q "^  $work/empty/data (the working directory's data/): a file, not a folder$" "$work/err"
    check "and how to fix it" grep -q "^Start vortazov from the folder that holds data/" "$work/err"
    check "opens no window and loads nothing" test ! -s "$work/out"
    (cd "$work/loop" && env $nosound timeout 10 "$program") >"$work/out" 2>"$work/err"
    check "a data that is a loop of links cannot be resolved, and says why" \
        grep -q "^  $work/loop/data (the working directory's data/): cannot be resolved: Too many levels of symbolic links$" "$work/err"
fi

echo "this is not a module" >"$work/bad/data/compruss.xm"
echo "this is not a stream" >"$work/bad/data/farewell.mp3"
for f in 3d textures particle.tga; do [ -e "$root/data/$f" ] && ln -s "$root/data/$f" "$work/bad/data/"; done
start "$work/bad" none
sleep 2
escape
check "a text file named as the module is refused, no crash, and Escape ends with status 1 (got $status)" \
    test "$status" = 1
check "and reported" grep -q "^Aw shit, couldn't load the muzak either!$" "$work/out"
check "with the reason on standard error" grep -q "^data/compruss.xm: not an XM module$" "$work/err"
check "and listed at the end" grep -q "^vortazov: could not load data/compruss.xm$" "$work/err"
if [ -f "$root/data/compruss.xm" ]; then
    # a module cut short: the window says which file and why, instead of a blank red picture
    head -c 3000 "$root/data/compruss.xm" >"$work/bad/data/compruss.xm"
    start "$work/bad" none
    sleep 2
    import -window root "$work/shot.png"
    escape
    check "a truncated module does not crash the program, and Escape ends with status 1 (got $status)" \
        test "$status" = 1
    check "it is named as such on standard error" grep -q "^data/compruss.xm: truncated XM module$" "$work/err"
    # below the status line the window is not the plain clear colour: a dark panel with its text
    red=$(share x "640x440+0+40" "rgb(204,0,0)")
    check "and the window says so rather than showing the plain red ($red)" greater 0.8 "$red"
    dark=$(share x "560x100+40+190" "rgb(38,0,0)")
    check "on a dark panel ($dark)" greater "$dark" 0.5
fi

# An object of random bytes: the show goes on without it, but it is named on standard error,
# and the program does not end as if all went well.
mkdir -p "$work/object/data/3d"
for f in "$root"/data/*; do [ "$f" = "$root/data/3d" ] || ln -s "$f" "$work/object/data/"; done
for f in "$root"/data/3d/*; do ln -s "$f" "$work/object/data/3d/"; done
rm "$work/object/data/3d/samovar.lwo"
head -c 5000 /dev/urandom >"$work/object/data/3d/samovar.lwo"
start "$work/object" none
sleep 2
escape
check "a random-bytes object: Escape ends with status 1 (got $status)" test "$status" = 1
check "and it is named on standard error" grep -q "^data/3d/samovar.lwo: not an LWO2 object" "$work/err"
check "and listed at the end" grep -q "^vortazov: could not load data/3d/samovar.lwo$" "$work/err"
check "with no byte of it on either output" bash -c "! LC_ALL=C grep -q -P '[^\\t\\x20-\\x7e]' '$work/out' '$work/err'"

# 4. A second X server, 1920x1080, that keeps the root's properties between clients (-noreset):
# a desktop scaled 2x by Xft.dpi, then two monitors side by side and no window manager.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -noreset -nolisten tcp 3>"$work/display" 2>/dev/null &
xserver=$!
for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.1; done
outer=$DISPLAY
export DISPLAY=:$(cat "$work/display")
echo "Xft.dpi: 192" | xrdb -nocpp -merge
start "$root" none
window=$(xdotool search --name '^vortazov$' | head -1)
place() { xdotool getwindowgeometry "$window" | awk '/Position/ {print $2}'; }
sleep 2
check "at Xft.dpi 192 the window opens at 1280x960 ($(size))" test "$(size)" = 1280x960
import -window root "$work/shot.png"
# the text of a status line at 1x ends before x = 260
dark=$(share x "280x32+320+16" "black")
check "and its status line is drawn at twice the size ($dark)" greater "$dark" 0.005
xrandr --setmonitor left 960/254x1080/286+0+0 none >/dev/null
xrandr --setmonitor right 960/254x1080/286+960+0 none >/dev/null
xdotool windowmove "$window" 1100 100
sleep 1
xdotool mousemove 1200 200 key F11
sleep 2
check "F11 without a window manager fills the monitor the window is on ($(size) at $(place))" \
    test "$(size)@$(place)" = "960x1080@960,0"
xdotool key F11
sleep 1
check "F11 again puts the window back ($(size) at $(place))" test "$(size)@$(place)" = "1280x960@1100,100"
xdotool windowmove "$window" 0 0
sleep 0.5
escape
check "exits 0 on Escape (got $status)" test "$status" = 0
kill "$xserver"
export DISPLAY=$outer

finish
