#!/bin/sh
# Seeds for decode_fuzz, made at build time: a second of each listed kind by
# Debian's ffmpeg, each whole and cut short, and TagLib's malformed samples;
# each behind four bytes that seek to the middle.
#   decode_seeds.sh OUT TAGLIB_SAMPLES
set -eu
out=$1
samples=$2
work=$out.work
rm -rf "$out" "$work"
mkdir -p "$out" "$work"
ff() { ffmpeg -v error -nostdin -y "$@"; }
ff -f lavfi -i "aevalsrc=0.3*sin(2*PI*440*t)|0.2*sin(2*PI*550*t):s=22050:d=1" -c:a pcm_s16le "$work/tone.wav"
ff -i "$work/tone.wav" -c:a flac "$work/tone.flac"
ff -i "$work/tone.wav" -c:a alac "$work/tone.m4a"
ff -i "$work/tone.wav" -c:a aac "$work/aac.m4a"
ff -i "$work/tone.wav" -c:a libmp3lame -b:a 64k "$work/tone.mp3"
ff -i "$work/tone.wav" -c:a wmav2 -b:a 64k "$work/tone.wma"
ff -i "$work/tone.wav" -c:a libvorbis "$work/tone.ogg"
ff -i "$work/tone.wav" -ar 48000 -c:a libopus "$work/tone.opus"
ff -i "$work/tone.wav" -c:a aac "$work/tone.aac"
for name in mac-399.ape zerodiv.ape longloop.ape mac-396.ape lossless.wma silence-1.wma \
            segfault.wav infloop.wav infloop.m4a zero-length-mdat.m4a empty_alac.m4a; do
  cp "$samples/$name" "$work/$name"
done
for file in "$work"/*; do
  name=$(basename "$file")
  { printf '\000\000\000\200'; cat "$file"; } > "$out/$name"
  size=$(wc -c < "$file")
  { printf '\000\000\000\100'; head -c $((size / 3)) "$file"; } > "$out/cut-$name"
done
rm -rf "$work"
