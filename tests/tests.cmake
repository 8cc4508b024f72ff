# What tests/ itself builds, beside the tests each folder declares for its own modules.

# The plain searches the indexed ones are checked against: for tests, fuzz targets and benchmarks only.
add_library(kelvane_split_reference STATIC tests/reference/reference.cpp)
target_link_libraries(kelvane_split_reference PUBLIC kelvane_split)

# The portable PDF writer, beside the cairo pages it is compared with.
if(KELVANE_TESTS AND NOT WIN32)
  kelvane_test(kelvane_pdf_tests SOURCES tests/test_pdf_output.cpp tests/fixtures.cpp
               LIBS kelvane_pictures)
endif()
