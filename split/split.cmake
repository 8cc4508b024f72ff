# Sheet splitting: frame detection and the geometry behind the sheet tests, with their tests and benchmark.

# Further split/ sources and tests join these lists.
set(KELVANE_SPLIT_SOURCES
  split/geometry.cpp
  split/frames.cpp
  split/sheetnames.cpp
  split/extract.cpp
)
set(KELVANE_SPLIT_TEST_SOURCES
  tests/test_geometry.cpp
  tests/test_frames.cpp
  tests/test_sheetnames.cpp
  tests/test_extract.cpp
)

add_library(kelvane_split STATIC ${KELVANE_SPLIT_SOURCES})
target_link_libraries(kelvane_split PUBLIC kelvane_jww)

if(KELVANE_TESTS)
  kelvane_test(kelvane_split_tests SOURCES ${KELVANE_SPLIT_TEST_SOURCES} LIBS kelvane_split_reference)
endif()

if(KELVANE_BENCH)
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(STATUS "Google Benchmark not found: bench_frames is not built (Debian package libbenchmark-dev)")
  endif()
  if(benchmark_FOUND)
    add_executable(bench_frames bench/bench_frames.cpp)
    target_link_libraries(bench_frames PRIVATE kelvane_split_reference benchmark::benchmark_main)
  endif()
  if(NOT WIN32)
    add_executable(bench_hostile bench/bench_hostile.cpp)
    target_link_libraries(bench_hostile PRIVATE kelvane_split)
  endif()
endif()
