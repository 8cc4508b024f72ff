# What a drawing means to every output: pen looks and print widths, the layers shown, the block
# table, the draw order, paper sizes, text layout and the images a drawing refers to. The
# display list (render/) and the DXF writer (dxf/) both stand on it.
add_library(kelvane_drawing STATIC drawing/page_geometry.cpp drawing/pen_looks.cpp drawing/layers.cpp
  drawing/block_table.cpp drawing/draw_order.cpp drawing/paper.cpp drawing/text_layout.cpp drawing/image_source.cpp)
target_link_libraries(kelvane_drawing PUBLIC kelvane_split kelvane_jww)

if(KELVANE_TESTS)
  kelvane_test(kelvane_drawing_tests SOURCES tests/test_pen_looks.cpp tests/test_block_table.cpp LIBS kelvane_drawing)
endif()
