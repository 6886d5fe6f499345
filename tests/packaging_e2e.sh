#!/usr/bin/env bash
# packaging_e2e.sh -- installs the build into a staging folder and starts the installed program
# from an empty folder under Xvfb; checks the menu entry and metainfo, and builds the Debian
# package and reads its layout back.
# Usage: packaging_e2e.sh BUILDDIR INSTALL_PREFIX   (from the project root)
set -u
build=$(readlink -f "$1")
prefix=$2
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_checks.sh"

# 1. The staged install, started from an empty folder: the data comes from beside the program.
DESTDIR="$work/stage" cmake --install "$build" >"$work/install.log" || cat "$work/install.log"
program="$work/stage$prefix/games/vortazov"
check "the program is installed in games/" test -x "$program"
check "and the capture beside it" test -x "$work/stage$prefix/games/vortazov-capture"
check "the data is installed in share/games/vortazov/data" test -f "$work/stage$prefix/share/games/vortazov/data/compruss.xm"
mkdir "$work/empty"
(cd "$work/empty" && PULSE_SERVER="unix:$work/no-server" PIPEWIRE_REMOTE="$work/no-server" exec "$program") >"$work/out" 2>"$work/err" &
pid=$!
window=$(programWindow 100)
sleep 2
check "the installed program opens its window" test -n "$window"
check "its class matches the menu entry" bash -c "xprop -id '$window' WM_CLASS | grep -q '\"vortazov\", \"vortazov\"'"
check "and it has an icon" bash -c "xprop -id '$window' _NET_WM_ICON | grep -q 'Icon (48 x 48)'"
# F12 saves what the viewer sees, status line included, in the working directory
xdotool mousemove 320 240 key F12
sleep 1
shot=$(sed -n 's/^screenshot saved to //p' "$work/out")
check "F12 names the screenshot it saved ($shot)" grep -qE '^vortazov-[0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{6}\.png$' <<<"$shot"
if [ -n "$shot" ] && [ -f "$work/empty/$shot" ]; then
    check "the screenshot is the 640x480 picture" test "$(identify -format '%wx%h' "$work/empty/$shot")" = 640x480
    red=$(convert "$work/empty/$shot" -fuzz 10% -fill white -opaque 'rgb(204,0,0)' -fill black +opaque white -format '%[fx:mean]' info:)
    check "mostly the red clear colour ($red)" awk -v a="$red" 'BEGIN { exit !(a > 0.3) }'
    dark=$(convert "$work/empty/$shot" -crop 300x16+8+8 -fuzz 10% -fill white -opaque black -fill black +opaque white -format '%[fx:mean]' info:)
    check "with the status line's black text ($dark)" awk -v a="$dark" 'BEGIN { exit !(a > 0.01) }'
else
    check "the screenshot is in the working directory" false
fi
xdotool key Escape
for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; wait "$pid"; status=124; else wait "$pid"; status=$?; fi
check "exits 0 on Escape (got $status)" test "$status" = 0
check "every file loaded from the installed data" bash -c "! grep -q 'Aw shit' '$work/out' && ! grep -q 'could not load' '$work/err'"
check "the module was loaded from there" bash -c "! grep -q 'compruss' '$work/out'"

# 2. The data removed: a word on where it looked, and exit 1 at once, without a window.
if [ -e "$prefix/share/games/vortazov/data" ]; then
    echo "skipped: the data installed in $prefix would be found"
else
    rm -rf "$work/stage$prefix/share/games/vortazov/data"
    start=$(date +%s)
    (cd "$work/empty" && PULSE_SERVER="unix:$work/no-server" PIPEWIRE_REMOTE="$work/no-server" timeout 20 "$program") >"$work/out" 2>"$work/err"
    status=$?
    check "without data exits 1 (got $status)" test "$status" = 1
    check "within seconds" test $(($(date +%s) - start)) -le 3
    check "naming the folders it looked in" grep -q "share/games/vortazov/data (the install's data folder): not there$" "$work/err"
    check "and how to fix it" grep -q "^Start vortazov from the folder that holds data/" "$work/err"
fi

# 3. The menu entry and the metainfo pass the checks that Debian and software centres apply.
check "desktop-file-validate accepts the menu entry" desktop-file-validate packaging/vortazov.desktop
check "appstreamcli accepts the metainfo" appstreamcli validate --no-net packaging/io.github.vortazov.Vortazov.metainfo.xml

# 4. The Debian package: its layout and computed dependencies.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package") >"$work/cpack.log" 2>&1 || cat "$work/cpack.log"
deb=$(ls "$work"/package/vortazov_*.deb 2>/dev/null | head -1)
check "cpack made the package" test -n "$deb"
if [ -n "$deb" ]; then
    dpkg-deb --contents "$deb" | awk '{print $6}' >"$work/contents"
    for path in ./usr/games/vortazov ./usr/games/vortazov-capture \
        ./usr/share/games/vortazov/data/compruss.xm ./usr/share/games/vortazov/data/farewell.mp3 \
        ./usr/share/games/vortazov/data/3d/writer/z.lwo ./usr/share/games/vortazov/data/textures/portrait1.tga \
        ./usr/share/applications/vortazov.desktop ./usr/share/metainfo/io.github.vortazov.Vortazov.metainfo.xml \
        ./usr/share/icons/hicolor/48x48/apps/vortazov.png ./usr/share/icons/hicolor/128x128/apps/vortazov.png \
        ./usr/share/icons/hicolor/256x256/apps/vortazov.png ./usr/share/icons/hicolor/scalable/apps/vortazov.svg; do
        check "the package holds $path" grep -qx "$path" "$work/contents"
    done
    dpkg-deb --info "$deb" >"$work/info"
    check "its dependencies are computed from the programs' libraries" \
        grep -q '^ Depends:.*libglut.*libmpg123.*libopenmpt' "$work/info"
    check "it is filed under games" grep -q '^ Section: games$' "$work/info"
fi

finish
