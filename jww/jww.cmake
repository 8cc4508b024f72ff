# The drawing document and the JWW format, over the platform's file services.
add_library(kelvane_jww STATIC
  jww/archive.cpp
  jww/header.cpp
  jww/stream.cpp
  jww/images.cpp
  jww/image_section.cpp
  jww/postload.cpp
  jww/document.cpp
  jww/builder.cpp
)
target_link_libraries(kelvane_jww PUBLIC kelvane_text kelvane_platform)

if(KELVANE_TESTS)
  kelvane_test(kelvane_jww_tests
    SOURCES tests/test_archive.cpp tests/test_header.cpp tests/test_stream.cpp
            tests/test_document.cpp tests/test_corpus.cpp tests/test_images.cpp tests/fixtures.cpp
    LIBS kelvane_jww)
endif()
