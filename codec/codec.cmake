# The codecs, portable packing and parsing over zlib alone: the one PNG writer, gzip inflating and
# TrueType subsetting. zlib is linked statically on Windows, so that the program stays one file.
if(EMSCRIPTEN)
  # The browser writes no PNG, inflates no image and embeds no font.
  return()
endif()
if(WIN32)
  find_library(KELVANE_ZLIB NAMES libz.a z)
  if(NOT KELVANE_ZLIB)
    kelvane_missing("zlib for Windows (libz.a)" libz-mingw-w64-dev)
  endif()
else()
  find_package(ZLIB QUIET)
  if(NOT ZLIB_FOUND)
    kelvane_missing("zlib" zlib1g-dev)
  endif()
  set(KELVANE_ZLIB ZLIB::ZLIB)
endif()
add_library(kelvane_codec STATIC codec/png_encode.cpp codec/gunzip.cpp codec/glyph_subset.cpp)
target_include_directories(kelvane_codec PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvane_codec PRIVATE ${KELVANE_ZLIB})

if(KELVANE_TESTS AND NOT WIN32)
  # The subsets are read back by HarfBuzz, a reader that shares nothing with the subsetter.
  find_package(PkgConfig QUIET)
  kelvane_check_modules(KELVANE_HARFBUZZ harfbuzz libharfbuzz-dev)
  kelvane_test(kelvane_codec_tests SOURCES tests/test_glyph_subset.cpp LIBS kelvane_codec PkgConfig::KELVANE_HARFBUZZ)
endif()
