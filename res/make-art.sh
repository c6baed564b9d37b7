#!/bin/sh
# Remakes the program's own art: res/icon.ico (16, 32 and 48 px) and the
# built-in banner res/banner.gif (464 x 63, animated). The build uses the
# checked-in files; run this only to change them. Needs ImageMagick 6 and the
# DejaVu fonts (Debian: imagemagick, fonts-dejavu-core).
#
# The banner is exactly 464 x 63 pixels because the banner control (309 x 40
# dialog units in "MS Sans Serif" 8) is about that size at 96 dpi, so the
# picture is shown almost unscaled.
set -eu

# /usr/local/bin may hold a stand-in of the same name; use the real one.
CONVERT=${CONVERT:-/usr/bin/convert}
FONT_DIR=${FONT_DIR:-/usr/share/fonts/truetype/dejavu}
BOLD="$FONT_DIR/DejaVuSans-Bold.ttf"
REGULAR="$FONT_DIR/DejaVuSans.ttf"

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A shield with a check mark, drawn on a 48-unit grid and scaled to the size
# asked for, four times larger than needed so that the resize smooths it.
shield() {  # size out.png
    size=$1
    big=$((size * 4))
    f=$(echo "$big" | awk '{ printf "%.4f", $1 / 48 }')
    "$CONVERT" -size "${big}x${big}" xc:none \
        -draw "scale $f,$f
               fill '#0b2e66' path 'M 24,2 L 43,8.5 L 43,22 C 43,34.5 34,42 24,46.5 C 14,42 5,34.5 5,22 L 5,8.5 Z'
               fill '#2a73d9' path 'M 24,5.5 L 40,11 L 40,22 C 40,32.5 32.5,39 24,43 C 15.5,39 8,32.5 8,22 L 8,11 Z'
               fill '#5d9cf0' path 'M 24,5.5 L 40,11 L 40,22 C 40,32.5 32.5,39 24,43 Z'
               fill none stroke white stroke-width 5.5 stroke-linecap round stroke-linejoin round
               polyline 15,24 21.5,31 33,16" \
        -filter Lanczos -resize "${size}x${size}" "$2"
}

for s in 16 32 48; do shield "$s" "$work/icon$s.png"; done
"$CONVERT" "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" "$here/icon.ico"

# --- banner -------------------------------------------------------------
W=464
H=63
shield 52 "$work/banner-shield.png"
"$CONVERT" -size "${H}x${W}" gradient:'#1f63c0'-'#0a2455' -rotate 90 \
    "$work/banner-shield.png" -geometry +10+5 -composite \
    -font "$BOLD" -pointsize 27 -fill '#061a40' -annotate +77+34 'Czyściciel KESTRO' \
    -fill white -annotate +75+32 'Czyściciel KESTRO' \
    -font "$REGULAR" -pointsize 12 -fill '#b9d3ff' \
    -annotate +77+52 'usuwa robaki, konie trojańskie i wirusy skryptowe' \
    "$work/base.png"

# The highlight: a slanted band of light that sweeps once across the banner.
"$CONVERT" -size ${H}x45 gradient:none-'#ffffffa0' \( -size ${H}x45 gradient:'#ffffffa0'-none \) \
    -append -rotate 90 -background none -shear 25x0 "$work/band.png"

frames=""
n=0
for x in -80 -20 40 100 160 220 280 340 400; do
    "$CONVERT" "$work/base.png" "$work/band.png" -geometry "$(printf '%+d+0' "$x")" -composite "$work/f$n.png"
    frames="$frames $work/f$n.png"
    n=$((n + 1))
done

# One palette for every frame: the pixels the band does not touch then stay
# the same from frame to frame, and the optimiser stores only the band.
# shellcheck disable=SC2086
"$CONVERT" "$work/base.png" $frames -append +dither -colors 96 -unique-colors "$work/palette.png"
# A long pause on the plain picture between two sweeps.
# shellcheck disable=SC2086
"$CONVERT" -delay 250 "$work/base.png" -delay 6 $frames -loop 0 \
    +dither -remap "$work/palette.png" -layers OptimizePlus "$here/banner.gif"

/usr/bin/identify "$here/banner.gif" | head -1
ls -l "$here/icon.ico" "$here/banner.gif"
