#!/usr/bin/env bash
# Makes the real images of every format that the image tests decode and the
# image fuzz target starts from: ImageMagick's built-in photograph "rose:"
# (35 x 23, odd sides on purpose) written in each layout the decoder reads,
# plus restart intervals and arithmetic coding from libjpeg-turbo's cjpeg.
# The files are committed; run this only to make them again.
# Needs: imagemagick, libjpeg-turbo-progs. Usage: tests/images/make.sh [folder]
set -euo pipefail

out=${1:-$(cd "$(dirname "$0")" && pwd)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

base="$work/base.ppm"
convert rose: -resize '35x23!' -depth 8 "$base"
alpha="$work/alpha.png" # the photograph with a left-to-right alpha ramp
convert "$base" \( -size 35x23 gradient:white-black -rotate 90 -resize '35x23!' \) -alpha off -compose copy_opacity \
  -composite "$alpha"
# convert with metadata (dates, profiles) left out, so a file changes only with its picture.
im() { convert "${@:1:$#-1}" -strip "${@: -1}"; }

# PNG: bit depths, palette, transparency, 16-bit, interlaced.
im "$base" -colorspace gray -threshold 50% -type bilevel -define png:bit-depth=1 -define png:color-type=0 "$out/png_grey_1_bit.png"
im "$base" -colors 16 -define png:bit-depth=4 -define png:color-type=3 "$out/png_palette_4_bit.png"
im "$base" -colorspace gray -define png:bit-depth=8 -define png:color-type=0 "$out/png_grey_8_bit.png"
im "$base" PNG24:"$out/png_rgb_8_bit.png"
im "$alpha" PNG32:"$out/png_rgba_8_bit.png"
im "$base" -depth 16 PNG48:"$out/png_rgb_16_bit.png"
im "$alpha" -depth 16 PNG64:"$out/png_rgba_16_bit.png"
im "$base" -colors 64 -transparent "$(convert "$base" -colors 64 -format '%[pixel:p{0,0}]' info:)" PNG8:"$out/png_palette_transparent.png"
im "$base" -interlace PNG PNG24:"$out/png_rgb_interlaced.png"

# JPEG: baseline in three samplings, grey, progressive, restart intervals,
# CMYK; arithmetic coding, which the decoder does not read.
im "$base" -quality 85 -sampling-factor 2x2 "$out/jpeg_baseline_420.jpg"
im "$base" -quality 85 -sampling-factor 2x1 "$out/jpeg_baseline_422.jpg"
im "$base" -quality 85 -sampling-factor 1x1 "$out/jpeg_baseline_444.jpg"
im "$base" -colorspace gray -quality 85 "$out/jpeg_grey.jpg"
im "$base" -quality 85 -interlace JPEG "$out/jpeg_progressive.jpg"
im "$base" -colorspace gray -quality 85 -interlace JPEG "$out/jpeg_progressive_grey.jpg"
cjpeg -quality 85 -restart 1 "$base" >"$out/jpeg_restart_interval.jpg"
im "$base" -colorspace CMYK -quality 85 "$out/jpeg_cmyk.jpg"
cjpeg -quality 85 -arithmetic "$base" >"$out/jpeg_arithmetic.jpg"

# GIF: one frame, two frames, interlaced, with a transparent colour.
im "$base" "$out/gif_single.gif"
im "$base" \( "$base" -flop \) "$out/gif_two_frames.gif"
im "$base" -interlace GIF "$out/gif_interlaced.gif"
im "$alpha" -channel A -threshold 50% +channel "$out/gif_transparent.gif"

# BMP: 4, 8, 24 and 32 bits, and the OS/2 header.
im "$base" -colors 16 -type palette -compress none BMP3:"$out/bmp_4_bit.bmp"
im "$base" -colors 200 -type palette -compress none BMP3:"$out/bmp_8_bit.bmp"
im "$base" -type truecolor BMP3:"$out/bmp_24_bit.bmp"
im "$alpha" -type truecolormatte BMP:"$out/bmp_32_bit.bmp"
im "$base" -type truecolor BMP2:"$out/bmp_os2.bmp"

# TGA: raw and run-length, with and without alpha.
im "$base" -compress none "$out/tga_rgb.tga"
im "$base" -compress RLE "$out/tga_rgb_rle.tga"
im "$alpha" -compress none "$out/tga_rgba.tga"

# PSD: raw and run-length.
im "$alpha" -compress none "$out/psd_raw.psd"
im "$alpha" -compress RLE "$out/psd_rle.psd"

# PNM: 8 and 16 bits (16: each sample v as v * 257), grey and colour.
im "$base" -colorspace gray -depth 8 "$out/pgm_8_bit.pgm"
im "$base" -depth 8 "$out/ppm_8_bit.ppm"
im "$out/pgm_8_bit.pgm" -depth 16 "$out/pgm_16_bit.pgm"
im "$out/ppm_8_bit.ppm" -depth 16 "$out/ppm_16_bit.ppm"

# HDR: run-length scanlines (8 pixels wide or more) and flat ones (fewer).
im "$base" "$out/hdr_run_length.hdr"
im "$base" -resize '6x4!' "$out/hdr_flat.hdr"

ls -l "$out"
