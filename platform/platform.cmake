# The operating-system services under neutral headers (platform/*.h): the portable core includes
# those headers and nothing of the system; each system's implementations live in its own folder.
add_library(kelvane_platform STATIC platform/text_conversion.cpp platform/replacing_file.cpp)
if(WIN32)
  target_sources(kelvane_platform PRIVATE
    platform/win32/file_identity.cpp
    platform/win32/font_source.cpp
    platform/win32/memory_advice.cpp
    platform/win32/replacing_file.cpp
    platform/win32/text_conversion.cpp
  )
elseif(EMSCRIPTEN)
  # The browser build: POSIX files over the module's memory file system, code page 932 from the
  # table the Linux build's converter gives (musl has none).
  target_sources(kelvane_platform PRIVATE
    platform/posix/file_identity.cpp
    platform/posix/memory_advice.cpp
    platform/posix/replacing_file.cpp
    platform/web/text_conversion.cpp
  )
else()
  target_sources(kelvane_platform PRIVATE
    platform/posix/file_identity.cpp
    platform/posix/memory_advice.cpp
    platform/posix/replacing_file.cpp
    platform/posix/text_conversion.cpp
  )
endif()
target_include_directories(kelvane_platform PUBLIC ${PROJECT_SOURCE_DIR})
if(WIN32)
  # fontsub.dll is loaded at run time; codec/ cuts the faces it gives back whole.
  target_link_libraries(kelvane_platform PUBLIC gdi32 PRIVATE kelvane_codec)
elseif(NOT EMSCRIPTEN)
  # Jw_cad's font names mapped to installed fonts, for the pictures and the fonts embedded alike.
  # The mapping goes into the program, so that no installed file has to be found.
  file(READ ${CMAKE_CURRENT_SOURCE_DIR}/platform/posix/fonts.conf KELVANE_FONTS_CONF)
  file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/platform/posix/fonts_conf.cpp
       CONTENT "// Made by CMake from platform/posix/fonts.conf.\nextern const char kKelvaneFontsConf[];\nconst char kKelvaneFontsConf[] = R\"KELVANE(\${KELVANE_FONTS_CONF})KELVANE\";\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/posix/fonts.conf)
  add_library(kelvane_fonts_conf STATIC ${CMAKE_CURRENT_BINARY_DIR}/platform/posix/fonts_conf.cpp)
  # The system's fonts for embedding, found by that mapping.
  find_package(PkgConfig QUIET)
  if(NOT PKG_CONFIG_FOUND)
    kelvane_missing("pkg-config" pkg-config)
  endif()
  kelvane_check_modules(KELVANE_FONT_SOURCE fontconfig libfontconfig-dev harfbuzz libharfbuzz-dev
                        harfbuzz-subset libharfbuzz-dev)
  add_library(kelvane_font_source STATIC platform/posix/font_source.cpp)
  target_link_libraries(kelvane_font_source PUBLIC kelvane_platform PRIVATE PkgConfig::KELVANE_FONT_SOURCE
                        kelvane_fonts_conf)
endif()

if(KELVANE_TESTS)
  kelvane_test(kelvane_platform_tests SOURCES tests/test_text_conversion.cpp LIBS kelvane_platform)
  if(NOT WIN32)
    target_sources(kelvane_platform_tests PRIVATE tests/test_replacing_file.cpp)
  endif()
  if(NOT WIN32)
    # The browser build's code page 932 against glibc's, byte for byte; the tool remakes its table.
    add_executable(kelvane_cp932_table platform/web/make_cp932_table.cpp)
    target_link_libraries(kelvane_cp932_table PRIVATE kelvane_platform)
    kelvane_test(kelvane_web_text_tests SOURCES tests/test_web_text_conversion.cpp platform/web/text_conversion.cpp
                                              platform/text_conversion.cpp LIBS kelvane_text)
  endif()
endif()
