# The third-party libraries behind the adapters, as imported targets:
#   tessavin::taglib    tags, audio properties, pictures, embedded lyrics
#   tessavin::uchardet  text-encoding detection
#   tessavin::ffmpeg    demuxing, decoding, resampling (libavformat,
#                       libavcodec, libswresample, libavutil)
# scripts/setup builds what comes from Debian's source packages into a cache
# outside the clone (scripts/third-party/build): all three for the exe, and
# FFmpeg's minimal build for Linux too. Linux takes TagLib and uchardet from
# Debian's -dev packages.
if(DEFINED ENV{TESSAVIN_DEPS_CACHE})
  set(_tessavin_deps_default "$ENV{TESSAVIN_DEPS_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(_tessavin_deps_default "$ENV{XDG_CACHE_HOME}/tessavin-server")
else()
  set(_tessavin_deps_default "$ENV{HOME}/.cache/tessavin-server")
endif()
set(TESSAVIN_DEPS_CACHE "${_tessavin_deps_default}" CACHE PATH
    "Where scripts/setup keeps the third-party libraries it builds")
if(WIN32)
  set(_tessavin_deps_target windows)
else()
  set(_tessavin_deps_target native)
endif()

# The install prefix of one library built by scripts/setup for this target.
function(tessavin_built_library name out)
  set(prefix "${TESSAVIN_DEPS_CACHE}/${_tessavin_deps_target}/${name}")
  if(NOT EXISTS "${prefix}/.built")
    message(FATAL_ERROR "${name} for ${_tessavin_deps_target} is not built at ${prefix}. "
                        "Run scripts/setup --all (or scripts/setup for the Linux build) first.")
  endif()
  # The link's target, so that a rebuilt library makes CMake look again.
  file(REAL_PATH "${prefix}" prefix)
  set(${out} "${prefix}" PARENT_SCOPE)
endfunction()

# The unpacked Debian source of a package, for its sample files.
function(tessavin_library_source package out)
  set(${out} "${TESSAVIN_DEPS_CACHE}/src/${package}" PARENT_SCOPE)
endfunction()

# A static library from a prefix, as an imported target.
function(tessavin_static_import target file prefix)
  add_library(${target} STATIC IMPORTED)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${prefix}/lib/${file}")
endfunction()

if(WIN32)
  tessavin_built_library(taglib taglib_prefix)
  tessavin_static_import(tessavin_taglib_static libtag.a "${taglib_prefix}")
  add_library(tessavin::taglib INTERFACE IMPORTED)
  target_link_libraries(tessavin::taglib INTERFACE tessavin_taglib_static)
  target_include_directories(tessavin::taglib SYSTEM INTERFACE
    "${taglib_prefix}/include/taglib" "${taglib_prefix}/include")
  target_compile_definitions(tessavin::taglib INTERFACE TAGLIB_STATIC)

  tessavin_built_library(uchardet uchardet_prefix)
  tessavin_static_import(tessavin_uchardet_static libuchardet.a "${uchardet_prefix}")
  add_library(tessavin::uchardet INTERFACE IMPORTED)
  target_link_libraries(tessavin::uchardet INTERFACE tessavin_uchardet_static)
  target_include_directories(tessavin::uchardet SYSTEM INTERFACE
    "${uchardet_prefix}/include/uchardet" "${uchardet_prefix}/include")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TESSAVIN_TAGLIB REQUIRED IMPORTED_TARGET taglib)
  pkg_check_modules(TESSAVIN_UCHARDET REQUIRED IMPORTED_TARGET uchardet)
  add_library(tessavin::taglib ALIAS PkgConfig::TESSAVIN_TAGLIB)
  add_library(tessavin::uchardet ALIAS PkgConfig::TESSAVIN_UCHARDET)
endif()

# FFmpeg: the same minimal static build on both platforms.
tessavin_built_library(ffmpeg ffmpeg_prefix)
add_library(tessavin::ffmpeg INTERFACE IMPORTED)
foreach(lib avformat avcodec swresample avutil)
  tessavin_static_import(tessavin_ffmpeg_${lib} lib${lib}.a "${ffmpeg_prefix}")
  target_link_libraries(tessavin::ffmpeg INTERFACE tessavin_ffmpeg_${lib})
endforeach()
target_include_directories(tessavin::ffmpeg SYSTEM INTERFACE "${ffmpeg_prefix}/include")
if(WIN32)
  # av_get_random_seed draws from the system's generator.
  target_link_libraries(tessavin::ffmpeg INTERFACE bcrypt)
else()
  target_link_libraries(tessavin::ffmpeg INTERFACE m Threads::Threads)
endif()
