# Pictures of drawings and sheets: the portable display list, its cairo output on Linux and its
# GDI output on Windows.
add_library(kelvane_render STATIC render/display_list.cpp render/glyph_layout.cpp render/render.cpp
  render/line_looks.cpp render/page_clipping.cpp render/ellipse.cpp render/arcs.cpp render/block_lists.cpp
  render/threaded_drawing.cpp render/pool_reservation.cpp render/pages.cpp)
target_link_libraries(kelvane_render PUBLIC kelvane_drawing kelvane_split kelvane_jww)

if(EMSCRIPTEN)
  # The browser draws the display list itself (app/web/page/); none of the backends below.
  return()
endif()

if(NOT WIN32)
  find_package(PkgConfig QUIET)
  if(NOT PKG_CONFIG_FOUND)
    kelvane_missing("pkg-config" pkg-config)
  endif()
  kelvane_check_modules(KELVANE_CAIRO pangocairo libpango1.0-dev pangoft2 libpango1.0-dev cairo libcairo2-dev
                        fontconfig libfontconfig-dev zlib zlib1g-dev)
  # Images are decoded by stb_image, a header alone.
  find_path(KELVANE_STB_INCLUDE stb/stb_image.h)
  if(NOT KELVANE_STB_INCLUDE)
    kelvane_missing("stb/stb_image.h" libstb-dev)
  endif()
  # Images decoded by stb_image, for cairo's pictures and for the PDF writer alike; no cairo in it.
  add_library(kelvane_image_decode STATIC render/image_decode.cpp)
  target_include_directories(kelvane_image_decode PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(kelvane_image_decode PRIVATE kelvane_codec)
  add_library(kelvane_render_cairo STATIC render/cairo/cairo_output.cpp)
  target_link_libraries(kelvane_render_cairo PUBLIC kelvane_render kelvane_image_decode
                        PRIVATE PkgConfig::KELVANE_CAIRO kelvane_fonts_conf kelvane_codec)
endif()

# The portable PDF writer, the same on every platform, over the zlib of codec/.
add_library(kelvane_render_pdf STATIC render/pdf/pdf_output.cpp render/pdf/pdf_page_painter.cpp
                                      render/pdf/pdf_page_text.cpp render/pdf/pdf_images.cpp render/pdf/pdf_layers.cpp
                                      render/pdf/pdf_document.cpp render/pdf/pdf_fonts.cpp render/pdf/item_bounds.cpp)
target_link_libraries(kelvane_render_pdf PUBLIC kelvane_render kelvane_platform PRIVATE ${KELVANE_ZLIB} kelvane_version)

if(WIN32)
  # The GDI backend: the Windows preview draws the same list.
  add_library(kelvane_render_gdi STATIC render/gdi/gdi_output.cpp render/gdi/gdi_png.cpp)
  target_link_libraries(kelvane_render_gdi PUBLIC kelvane_render PRIVATE kelvane_codec gdiplus shlwapi
                        windowscodecs ole32)
endif()

if(KELVANE_TESTS)
  kelvane_test(kelvane_render_tests SOURCES tests/test_render.cpp tests/fixtures.cpp LIBS kelvane_render
               kelvane_benchmark_drawing)
endif()

if(KELVANE_BENCH AND NOT WIN32)
  add_executable(bench_render bench/bench_render.cpp)
  target_link_libraries(bench_render PRIVATE kelvane_render_cairo kelvane_render_pdf kelvane_font_source
                        kelvane_benchmark_drawing)
endif()
