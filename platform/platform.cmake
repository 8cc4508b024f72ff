# The operating-system services under neutral headers (platform/*.h): the portable core includes
# those headers and nothing of the system; each system's implementations live in its own folder.
add_library(kelvane_platform STATIC platform/text_conversion.cpp platform/replacing_file.cpp platform/glyph_subset.cpp)
if(WIN32)
  target_sources(kelvane_platform PRIVATE
    platform/win32/file_identity.cpp
    platform/win32/font_source.cpp
    platform/win32/memory_advice.cpp
    platform/win32/replacing_file.cpp
    platform/win32/text_conversion.cpp
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
  target_link_libraries(kelvane_platform PUBLIC gdi32)  # fontsub.dll is loaded at run time
endif()

if(KELVANE_TESTS)
  kelvane_test(kelvane_platform_tests SOURCES tests/test_text_conversion.cpp tests/test_glyph_subset.cpp LIBS kelvane_platform)
  if(NOT WIN32)
    target_sources(kelvane_platform_tests PRIVATE tests/test_replacing_file.cpp)
  endif()
endif()
