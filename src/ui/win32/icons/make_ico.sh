#!/bin/sh
# Renders the tool's drawing (the same one the Qt windows use) into
# zplport.ico with 16, 32, 48 and 256 pixel images; ImageMagick stores the
# 256 pixel one as PNG. Needs ImageMagick; run it from this folder after
# editing the drawing.
set -e
drawing=../../qt/icons/zplport.svg
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 32 48 256; do
  convert -background none -density 384 "$drawing" -resize "${size}x${size}" -strip \
    "PNG32:$tmp/$size.png"
done
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$tmp/256.png" ../zplport.ico
