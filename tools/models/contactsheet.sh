#!/bin/sh
# contactsheet.sh -- makes docs/contact-sheet.png: every model drawn by our reader and
# compilers, frames of every scene, then every image of data/. Run from the project root:
# contactsheet.sh BUILDDIR
set -e
build=${1:?usage: tools/models/contactsheet.sh BUILDDIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The models and the scene views; a 24-bit screen, since xvfb-run's default has 8 bits.
xvfb-run -a -s "-screen 0 1024x768x24" nice -n 19 "$build/tools/models/contactsheet" "$work/models.ppm" > /dev/null

# The images, each labelled with its path. The TGA reader of ImageMagick 6 does not turn
# bottom-up images the right way up unless told to.
n=0
for f in data/particle.tga data/textures/*.tga; do
  [ -f "$f" ] || continue
  n=$((n + 1))
  convert "tga:$f" -auto-orient -resize 184x184 -background '#29292e' -gravity center \
    -extent 184x184 "$work/$(printf %02d $n).png"
  echo "$f" > "$work/$(printf %02d $n).txt"
done
if [ "$n" -gt 0 ]; then
  for png in "$work"/[0-9][0-9].png; do
    convert "$png" -background '#29292e' -fill '#e6e6e6' -font DejaVu-Sans -pointsize 12 \
      label:"$(cat "${png%.png}.txt")" -gravity center -append -bordercolor '#29292e' -border 8 "$png"
  done
  convert "$work"/[0-9][0-9].png +append "$work/images.png"
  convert "$work/images.png" -resize '1600x>' -background '#29292e' -gravity west -extent 1600x "$work/images.png"
  convert "$work/models.ppm" "$work/images.png" -append docs/contact-sheet.png
else
  convert "$work/models.ppm" docs/contact-sheet.png
fi
echo "docs/contact-sheet.png: $(identify -format '%wx%h' docs/contact-sheet.png), $n images"
