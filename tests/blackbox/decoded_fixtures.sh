#!/bin/sh
# Makes the decoded stream's test files with Debian's ffmpeg, beside
# reference PCM from the same tool, and takes TagLib's APE and WMA Lossless
# samples and its malformed files from TagLib's unpacked Debian source.
#   decoded_fixtures.sh OUT TAGLIB_SAMPLES
# OUT/lossless.txt lists "name bits" for the exact cases (OUT/name.pcm the
# reference), OUT/lossy.txt "name frames codec-frame" with ffprobe's length,
# OUT/bad/ holds the files that must neither crash nor hang the service.
set -eu
out=$1
samples=$2
mkdir -p "$out/bad"
cd "$out"
[ -f .made ] && exit 0
ff() { ffmpeg -v error -nostdin -y "$@"; }
# 20.0123 s of two different tones with noise, so every bit counts, and a
# length that is no multiple of any codec's frame.
ff -f lavfi -i "aevalsrc=0.4*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.05*(random(1)-0.5):s=44100:d=20.0123" \
  -c:a pcm_s16le tone.wav
ff -i tone.wav -c:a pcm_s24le -af volume=0.9 tone24.wav
ff -i tone.wav -ac 1 mono.wav
ff -i tone.wav -c:a flac tone.flac
ff -i tone.wav -c:a alac tone.m4a
ff -i tone24.wav -c:a flac -sample_fmt s32 tone24.flac
ff -i tone24.wav -c:a alac -sample_fmt s32p tone24.m4a
ff -i mono.wav -c:a flac mono.flac
cp "$samples/mac-399.ape" "$samples/lossless.wma" .
: > lossless.txt
for name in tone.wav tone.flac tone.m4a mono.flac tone24.wav tone24.flac tone24.m4a mac-399.ape lossless.wma; do
  case $name in *24*) bits=24; pcm=s24le ;; *) bits=16; pcm=s16le ;; esac
  ff -i "$name" -f $pcm "$name.pcm"
  echo "$name $bits" >> lossless.txt
done

ff -i tone.wav -c:a wmav2 -b:a 128k tone.wma
ff -i tone.wav -c:a libmp3lame -b:a 192k tone.mp3
ff -i tone.wav -c:a aac tone.aac
ff -i tone.wav -c:a aac tone-aac.m4a
ff -i tone.wav -c:a libvorbis tone.ogg
ff -i tone.wav -c:a libopus tone.opus
: > lossy.txt
for entry in tone.wma:2048 tone.mp3:1152 tone.aac:1024 tone-aac.m4a:1024 tone.ogg:2048 tone.opus:960; do
  name=${entry%%:*}
  frames=$(ffprobe -v error -select_streams a:0 -show_entries stream=duration,sample_rate \
    -of default=nw=1 "$name" | awk -F= '/^sample_rate/ {r=$2} /^duration/ {d=$2} END {printf "%d", d * r + 0.5}')
  ff -i "$name" -f s16le "$name.pcm"
  echo "$name $frames ${entry#*:}" >> lossy.txt
done

# Cut short, lying about their kind, or crafted to break readers.
head -c 300000 tone.flac > bad/cut.flac
head -c 1000000 tone.m4a > bad/cut.m4a
head -c 40000 mac-399.ape > bad/cut.ape
head -c 100000 tone.mp3 > bad/cut.mp3
head -c 5000 tone.wma > bad/cut.wma
head -c 60 tone.wav > bad/cut.wav
cp tone.mp3 bad/mp3-named.ape
cp tone.flac bad/flac-named.wma
head -c 4096 /dev/zero > bad/zeros.m4a
for name in mac-396.ape mac-390-hdr.ape zerodiv.ape longloop.ape segfault.wav infloop.wav \
            infloop.m4a zero-length-mdat.m4a excessive_alloc.mp3 empty_alac.m4a silence-1.wma; do
  cp "$samples/$name" bad/
done
touch .made
