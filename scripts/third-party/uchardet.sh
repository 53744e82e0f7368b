# uchardet, the text-encoding detector, static, for the exe (Linux links
# Debian's libuchardet-dev).
package=uchardet
build_library() {
  cmake -S "$1" -B . -G Ninja ${toolchain:+-DCMAKE_TOOLCHAIN_FILE=$toolchain} \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$2" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC=ON -DBUILD_BINARY=OFF
  cmake --build . -j "$jobs"
  cmake --install .
}
