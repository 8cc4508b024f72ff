# DXF files of drawings and sheets, for other CAD programs: portable, over the drawing and the
# rules by which its records are drawn.
add_library(kelvane_dxf STATIC dxf/dxf_sink.cpp dxf/dxf_context.cpp dxf/dxf_entities.cpp dxf/dxf_shapes.cpp dxf/dxf_images.cpp
  dxf/dxf_tables.cpp dxf/dxf_document.cpp dxf/dxf_file.cpp)
target_link_libraries(kelvane_dxf PUBLIC kelvane_drawing kelvane_jww)

if(KELVANE_TESTS AND NOT WIN32)
  kelvane_test(kelvane_dxf_tests SOURCES tests/test_dxf.cpp tests/fixtures.cpp LIBS kelvane_dxf)
  # Every DXF read back by ezdxf and compared with the records it came from.
  add_executable(kelvane_dxf_expect tests/dxf_expect.cpp)
  target_link_libraries(kelvane_dxf_expect PRIVATE kelvane_dxf)
  add_test(NAME Dxf.SheetsAndCorpusReadBackExactly
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_dxf.py $<TARGET_FILE:kelvane>
            $<TARGET_FILE:kelvane_dxf_expect> ${CMAKE_CURRENT_BINARY_DIR}/dxf-check ${KELVANE_CORPUS})
endif()

if(KELVANE_BENCH AND NOT WIN32)
  add_executable(bench_dxf bench/bench_dxf.cpp)
  target_link_libraries(bench_dxf PRIVATE kelvane_services kelvane_app kelvane_dxf kelvane_benchmark_drawing)
endif()
