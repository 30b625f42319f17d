#!/usr/bin/env bash
# Draws the About picture (bitmap 218: 480 x 180, 256 colours) with ImageMagick.
# Run by hand when the picture changes (needs the DejaVu fonts); the BMP is committed.
set -euo pipefail
out=${1:-$(dirname "$0")/../res/bitmaps/218.bmp}
convert -size 480x180 gradient:'#3d7fd6-#bfe0ff' \
    -fill '#2f9e44' -draw 'polygon 0,180 0,130 90,105 200,125 320,100 480,120 480,180' \
    -fill '#ffd84d' -draw 'circle 440,35 440,55' \
    -fill '#303038' -draw 'roundrectangle 30,40 130,110 10,10' \
    -fill '#8a8a96' -draw 'circle 80,75 80,98' -fill '#1a1a22' -draw 'circle 80,75 80,90' \
    -fill '#303038' -draw 'rectangle 50,32 75,42' \
    -font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf -fill white -stroke '#1d3f6e' -strokewidth 1 -pointsize 44 -draw "text 160,80 'OrvexView'" \
    -stroke none -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -fill '#10243f' -pointsize 16 -draw "text 162,110 'Your camera in the file browser'" \
    -colors 256 -type Palette BMP3:"$out"
