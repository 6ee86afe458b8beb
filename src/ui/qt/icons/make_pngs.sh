#!/bin/sh
# Renders zplport.svg into the PNG sizes the desktop and the windows use.
# Needs ImageMagick; run it from this folder after editing the drawing.
set -e
for size in 16 24 32 48 64 128 256; do
  convert -background none -density 384 zplport.svg -resize "${size}x${size}" -strip \
    "PNG32:zplport-${size}.png"
done
