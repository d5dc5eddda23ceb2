#!/usr/bin/env bash
# Draws the three program icons and korvane's stop-services icon (16, 32 and 48 pixels) with
# ImageMagick. The .ico files are kept in the tree; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"

wave_low='path "M 36,160 C 76,110 106,110 128,160 S 180,210 220,160"'
wave_high='path "M 36,100 C 76,50 106,50 128,100 S 180,150 220,100"'

draw() { # output background foreground, then extra drawing options
    local out=$1 bg=$2 fg=$3 tmp s
    shift 3
    tmp=$(mktemp -d)
    convert -size 256x256 xc:none -fill "$bg" -draw 'roundrectangle 8,8 247,247 48,48' \
        -stroke "$fg" -strokewidth 22 -fill none -draw "$wave_low" "$@" "$tmp/big.png"
    for s in 16 32 48; do convert "$tmp/big.png" -resize "${s}x${s}" "$tmp/$s.png"; done
    convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$out"
    rm -rf "$tmp"
}

draw korvane/korvane.ico '#1e5fa8' white -draw "$wave_high"
draw qs/qs.ico '#202830' '#4aa3ff'
draw korvtask/korvtask.ico '#1e5fa8' white -strokewidth 16 -draw 'circle 128,80 128,36' \
    -draw 'line 128,80 128,52' -draw 'line 128,80 150,80'
# The stop-services dialog: the wave under a red stop sign.
draw korvane/stopsrv.ico '#1e5fa8' white -fill '#d83a2e' -stroke white -strokewidth 10 \
    -draw 'polygon 140,24 196,24 236,64 236,120 196,160 140,160 100,120 100,64' \
    -stroke white -strokewidth 20 -draw 'line 128,92 208,92'

# The wizard's first page: a hand-drawn arrow pointing left at the Customizing button (a 24-bit
# bitmap, as resource bitmaps are loaded).
convert -size 48x48 xc:white -fill '#1e5fa8' -stroke '#1e5fa8' -strokewidth 2 \
    -draw 'polygon 4,24 22,8 22,17 44,17 44,31 22,31 22,40' -fill white -stroke none \
    -draw 'circle 36,24 36,21' -type TrueColor BMP3:korvane/wizard.bmp
