#!/bin/sh
# regenerate-data.sh -- rewrites all of data/ (and the contact sheets in docs/, the icons in
# packaging/, the web build's bitmap font in web/glut/) from the tools.
# Run from the project root after configuring a build: tools/regenerate-data.sh [BUILDDIR]
set -e
build=${1:-build}
cmake --build "$build" --target compose makemodels makeimages contactsheet makeicon webfont -j2
"$build/tools/music/compose" data
"$build/tools/models/makemodels" data
tools/images/regenerate.sh "$build/tools/images/makeimages"
tools/models/contactsheet.sh "$build"
tools/icon/regenerate.sh "$build"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/tools/webfont/webfont" web/glut/font8x13.inc
