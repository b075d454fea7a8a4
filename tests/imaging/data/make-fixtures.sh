#!/usr/bin/env bash
# Remakes the reader fixtures with ImageMagick 6 (Debian's imagemagick), an encoder that nobody
# here wrote. The tests need only the committed files, never ImageMagick itself.
#   tests/imaging/data/make-fixtures.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

# Sources: a flat area (long runs) beside plasma noise (no runs); the RGBA one fades from opaque
# at the top to transparent at the bottom. -strip keeps out dates, so the files stay the same.
convert -size 37x23 xc:'#3366cc' \( -size 20x23 -seed 7 plasma: \) -geometry +17+0 -composite \
    -depth 8 -strip PNG24:src-rgb.png
convert src-rgb.png \( -size 37x23 gradient:white-black \) -alpha off \
    -compose CopyOpacity -composite -depth 8 -strip PNG32:src-rgba.png
convert src-rgb.png -colorspace Gray -depth 8 -strip -define png:color-type=0 src-gray.png

# ImageMagick 6.9.11 writes the rows in memory order whatever orientation it records, so each
# picture is flipped or mirrored first to match the orientation it is labelled with.
convert src-rgb.png -flip -orient BottomLeft -compress None rgb24-raw-bottom-up.tga
convert src-rgb.png -orient TopLeft -compress RLE rgb24-rle-top-down.tga
convert src-rgb.png -flop -orient TopRight -compress None rgb24-raw-right-to-left.tga
convert src-rgba.png -orient TopLeft -compress None rgba32-raw-top-down.tga
convert src-rgba.png -flip -orient BottomLeft -compress RLE rgba32-rle-bottom-up.tga

convert src-rgb.png rgb-rle.psd
convert src-rgb.png -compress None rgb-raw.psd
convert src-rgba.png rgba-rle.psd
# The grey documents come from the grey PNG, which then holds exactly their values.
convert src-gray.png gray-rle.psd
convert src-gray.png \( src-rgba.png -alpha extract \) -alpha off \
    -compose CopyOpacity -composite gray-alpha-rle.psd

convert src-rgb.png rgb.hdr

# PNGs that the cut-short reader must take apart like Qt's decoder: 16 bits a channel, and Adam7.
convert src-rgba.png -depth 16 -strip PNG64:rgba16.png
convert src-rgb.png -interlace PNG -strip PNG24:rgb-interlaced.png

# Pictures that Qt's codecs read: a GIF, and a JPEG whose EXIF orientation turns it upright.
convert src-rgb.png -strip small.gif
# JPEGs for the program's own JPEG decoder, which must give Qt's pixels: each subsampling, a
# progressive one, grey, one pixel, and CMYK (which stays with Qt).
convert src-rgb.png -strip -quality 85 -sampling-factor 2x2 rgb-420.jpg
convert src-rgb.png -strip -quality 85 -sampling-factor 2x1 rgb-422.jpg
convert src-rgb.png -strip -quality 92 -sampling-factor 1x1 -interlace JPEG progressive-444.jpg
convert src-gray.png -strip -quality 90 gray.jpg
convert src-rgb.png -strip -colorspace CMYK -quality 90 cmyk.jpg
convert -size 1x1 xc:'#3366cc' -strip one-pixel.jpg
convert src-rgb.png -strip -quality 95 exif-right-top.jpg
# ImageMagick records no orientation without an EXIF block: add one saying "turn 90° clockwise"
# (orientation 6) right after the start-of-image marker.
python3 - exif-right-top.jpg <<'PY'
import struct, sys
tiff = b"MM\x00\x2a\x00\x00\x00\x08" + b"\x00\x01" + b"\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" + b"\x00" * 4
app1 = b"\xff\xe1" + struct.pack(">H", 2 + 6 + len(tiff)) + b"Exif\x00\x00" + tiff
data = open(sys.argv[1], "rb").read()
open(sys.argv[1], "wb").write(data[:2] + app1 + data[2:])
PY
# Sampling factors that TurboJPEG's header call cannot name, but libjpeg and every peer decode.
convert src-rgb.png -strip -quality 90 -sampling-factor 1x3 rgb-1x3.jpg
convert src-rgb.png -strip -quality 90 -sampling-factor 3x1 -interlace JPEG rgb-3x1-progressive.jpg
