# Strings as JWW files hold them, text filters and number parsing: the lowest portable library.
add_library(kelvane_text STATIC text/numbers.cpp text/filters.cpp text/jwwstring.cpp)
target_include_directories(kelvane_text PUBLIC ${PROJECT_SOURCE_DIR})

if(KELVANE_TESTS)
  kelvane_test(kelvane_text_tests SOURCES tests/test_text.cpp LIBS kelvane_text)
endif()
