#!/bin/bash
# Regenerates every picture of the window from its SVG source in this folder.
# The PNGs are committed; the build uses them as they are, so run this after
# editing a source and commit the sources and the PNGs together.
#
# Needs: rsvg-convert (librsvg2-bin), convert (imagemagick), python3.
set -euo pipefail
cd "$(dirname "$0")"

for tool in rsvg-convert convert python3; do
  command -v "$tool" >/dev/null || { echo "render.sh: $tool is missing (apt-get install librsvg2-bin imagemagick python3)" >&2; exit 1; }
done

# no timestamps or other metadata, so an unchanged source renders to the same bytes
STRIP=(-strip -define png:exclude-chunks=date,time)

# 32-bit RGBA picture at the SVG's own size (or at the given width x height),
# and for the window's pictures also at twice the size, name@2x.png, for
# screens at twice the density (or scaled by 1.5 and more).
rgba() { # source.svg target.png [width height]
  if [ $# -eq 4 ]; then
    rsvg-convert -w "$3" -h "$4" "$1" -o "$2.tmp.png"
  else
    rsvg-convert "$1" -o "$2.tmp.png"
  fi
  convert "$2.tmp.png" "${STRIP[@]}" "PNG32:$2"
  rm -f "$2.tmp.png"
}
rgba2() { # source.svg target.png: both sizes
  rgba "$1" "$2"
  rsvg-convert -z 2 "$1" -o "$2.tmp.png"
  convert "$2.tmp.png" "${STRIP[@]}" "PNG32:${2%.png}@2x.png"
  rm -f "$2.tmp.png"
}

# The skin: true colour without alpha; everything outside the octagon exact
# fuchsia with a hard edge (skin_mask.py), then checked (check_skin.py).
for scale in 1 2; do
  target=skin.png size=465
  [ "$scale" = 1 ] || target=skin@2x.png size=930
  rsvg-convert -z "$scale" skin.svg -o skin.tmp.png
  convert skin.tmp.png -background black -flatten -depth 8 rgb:- \
    | python3 skin_mask.py "$scale" \
    | convert -size ${size}x$size -depth 8 rgb:- -type TrueColor "${STRIP[@]}" PNG24:"$target"
  rm -f skin.tmp.png
done

rgba2 arrow_open.svg arrow_open.png
rgba2 arrow_close.svg arrow_close.png
rgba2 minimise.svg minimise.png
rgba2 folder.svg folder.png
rgba2 folder_grey.svg folder_grey.png
for lang in sk cz en de; do rgba2 "flag_$lang.svg" "flag_$lang.png"; done
for n in 0 1 2 3; do
  rgba2 "activity_$n.svg" "activity_$n.png"
  rgba2 "tray_$n.svg" "tray_$n.png"
done
rgba icon_16.svg icon_16.png
for size in 32 48 64; do rgba icon.svg "icon_$size.png" "$size" "$size"; done
# The Windows program's icon: the same four sizes in one file.
convert icon_16.png icon_32.png icon_48.png icon_64.png icon.ico

python3 check_skin.py
