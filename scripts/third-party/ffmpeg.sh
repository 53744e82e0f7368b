# FFmpeg's libraries, static, for both the exe and the Linux build: only the
# demuxers, decoders and parsers of the audio kinds the music tree lists, no
# protocols, no devices, no filters, no external libraries. The service reads
# through its own file operations, so nothing else is ever reachable from a
# crafted file. This configuration is LGPL 2.1 or later: no GPL parts.
package=ffmpeg
ffmpeg_options="--disable-everything --disable-network --disable-autodetect
  --disable-programs --disable-doc --disable-debug --disable-avdevice --disable-avfilter
  --disable-swscale --disable-postproc --enable-static --disable-shared --enable-swresample
  --enable-demuxer=mp3,flac,wav,mov,aac,ogg,asf,ape
  --enable-decoder=mp3float,mp3,flac,pcm_u8,pcm_s16le,pcm_s24le,pcm_s32le,pcm_f32le,pcm_f64le,aac,alac,vorbis,opus,wmav1,wmav2,wmapro,wmalossless,ape
  --enable-parser=aac,flac,mpegaudio,opus,vorbis"
build_library() {
  # FFmpeg's configure takes a variable named `toolchain` from its environment
  # as its own --toolchain; the CMake toolchain file means nothing to it.
  unset toolchain
  case $target in
    windows) platform_options="--target-os=mingw32 --arch=x86_64
      --cross-prefix=x86_64-w64-mingw32- --cc=$cc --cxx=$cxx" ;;
    # Position-independent, to link into the Linux build's PIE executable.
    native) platform_options="--cc=$cc --cxx=$cxx --enable-pic" ;;
  esac
  # shellcheck disable=SC2086
  "$1/configure" --prefix="$2" $ffmpeg_options $platform_options
  make -j "$jobs"
  make install
}
