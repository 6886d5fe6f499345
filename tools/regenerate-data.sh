#!/bin/sh
# regenerate-data.sh -- rewrites all of data/ (and the contact sheets in docs/, the icons in
# packaging/) from the tools.
# Run from the project root after configuring a build: tools/regenerate-data.sh [BUILDDIR]
set -e
build=${1:-build}
cmake --build "$build" --target compose makemodels makeimages contactsheet makeicon -j2
"$build/tools/music/compose" data
"$build/tools/models/makemodels" data
tools/images/regenerate.sh "$build/tools/images/makeimages"
tools/models/contactsheet.sh "$build"
tools/icon/regenerate.sh "$build"
