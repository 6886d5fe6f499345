#!/bin/sh
# regenerate.sh -- rewrites the shipped images and their contact sheet; run from the project root
set -e
makeimages=${1:?usage: tools/images/regenerate.sh PATH/TO/makeimages}
"$makeimages" data
# One labelled sheet of all eleven, upright, on grey so that transparency shows. The PNG
# leaves out time stamps so that an unchanged sheet stays byte for byte the same.
montage -label '%f\n%wx%h %[channels] %z-bit %C %[orientation]' \
    data/particle.tga data/textures/picture1.tga data/textures/picture2.tga \
    data/textures/kaavio1.tga data/textures/kaavio2.tga \
    data/textures/portrait1.tga data/textures/portrait2.tga data/textures/portrait3.tga \
    data/textures/portrait4.tga data/textures/portrait5.tga data/textures/portrait6.tga \
    -auto-orient -background '#808080' -fill black -pointsize 11 -geometry '256x256>+6+6' -tile 4x \
    -define png:exclude-chunks=date,time +set comment docs/images-sheet.png
echo "docs/images-sheet.png"
