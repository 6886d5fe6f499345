#!/bin/sh
# regenerate.sh -- redraws the desktop icons in packaging/icons from data/3d/samovar.lwo.
# Run from the project root: tools/icon/regenerate.sh BUILDDIR
set -e
build=${1:?usage: tools/icon/regenerate.sh BUILDDIR}
cmake --build "$build" --target makeicon
xvfb-run -a -s "-screen 0 1024x768x24" "$build/tools/icon/makeicon" data/3d/samovar.lwo packaging/icons
