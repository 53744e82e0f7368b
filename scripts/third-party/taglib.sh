# TagLib, static, for the exe (Linux links Debian's libtag1-dev). No zlib:
# only compressed ID3v2 frames need it, and the exe links nothing but the
# system's own DLLs. Debian's patches take the UTF-8 helpers from its
# header-only libutfcpp-dev, as Debian's own build does.
package=taglib
build_library() {
  cmake -S "$1" -B . -G Ninja ${toolchain:+-DCMAKE_TOOLCHAIN_FILE=$toolchain} \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$2" \
    -DCMAKE_CXX_FLAGS=-I/usr/include/utf8cpp \
    -DBUILD_SHARED_LIBS=OFF -DWITH_ZLIB=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
    -DBUILD_BINDINGS=OFF
  cmake --build . -j "$jobs"
  cmake --install .
}
