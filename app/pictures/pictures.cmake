# Picture files of a run (Linux command line): the plan, the sheets, one drawing; PNG and SVG
# through the cairo backend, PDF through the portable writer. Two modules: kelvane-pictures.so
# for everything, kelvane-pdf.so for PDF files and DXF images alone.
if(NOT WIN32)
  # The PDF files and the DXF files' images, without cairo: all the PDF module holds.
  add_library(kelvane_pdf_files STATIC app/pictures/pdf_files.cpp app/pictures/png_image.cpp
                                      app/pictures/pdf_library.cpp)
  target_link_libraries(kelvane_pdf_files PUBLIC kelvane_render_pdf kelvane_font_source kelvane_image_decode kelvane_app
                                          PRIVATE kelvane_codec)
  add_library(kelvane_pictures STATIC app/pictures/picture_files.cpp app/pictures/library_versions.cpp
                                     app/pictures/picture_library.cpp)
  target_link_libraries(kelvane_pictures PUBLIC kelvane_pdf_files kelvane_render_cairo kelvane_app
                                         PRIVATE PkgConfig::KELVANE_CAIRO)
  # The module the program opens at its first picture. It exports its entry alone: the copies of
  # the portable code it carries stay its own, whatever the program links.
  add_library(kelvane_picture_module MODULE app/pictures/picture_module.cpp)
  set_target_properties(kelvane_picture_module PROPERTIES OUTPUT_NAME kelvane-pictures PREFIX ""
                        CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(kelvane_picture_module PRIVATE kelvane_pictures kelvane_version)
  target_link_options(kelvane_picture_module PRIVATE -Wl,--exclude-libs,ALL -Wl,-z,defs)
  add_dependencies(kelvane kelvane_picture_module)
  # The module a run that writes PDF files or DXF images and nothing cairo draws opens instead.
  add_library(kelvane_pdf_module MODULE app/pictures/pdf_module.cpp)
  set_target_properties(kelvane_pdf_module PROPERTIES OUTPUT_NAME kelvane-pdf PREFIX "" CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(kelvane_pdf_module PRIVATE kelvane_pdf_files kelvane_version)
  target_link_options(kelvane_pdf_module PRIVATE -Wl,--exclude-libs,ALL -Wl,-z,defs -Wl,--as-needed)
  add_dependencies(kelvane kelvane_pdf_module)
endif()

if(KELVANE_TESTS AND NOT WIN32)
  kelvane_test(kelvane_hostile_picture_tests SOURCES tests/test_hostile_pictures.cpp tests/fixtures.cpp LIBS kelvane_pictures)
  kelvane_test(kelvane_picture_tests SOURCES tests/test_pictures.cpp tests/test_hostile_images.cpp tests/test_png_encode.cpp
               tests/fixtures.cpp LIBS kelvane_pictures kelvane_codec kelvane_dxf ZLIB::ZLIB)
endif()
