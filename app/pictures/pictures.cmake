# Picture files of a run through the cairo backend (Linux command line): the plan, the sheets,
# one drawing.
if(NOT WIN32)
  add_library(kelvane_pictures STATIC app/pictures/picture_files.cpp app/pictures/png_image.cpp)
  target_link_libraries(kelvane_pictures PUBLIC kelvane_render_cairo kelvane_app PRIVATE PkgConfig::KELVANE_CAIRO)
  target_link_libraries(kelvane PRIVATE kelvane_pictures)
endif()

if(KELVANE_TESTS AND NOT WIN32)
  kelvane_test(kelvane_hostile_picture_tests SOURCES tests/test_hostile_pictures.cpp tests/fixtures.cpp LIBS kelvane_pictures)
  kelvane_test(kelvane_picture_tests SOURCES tests/test_pictures.cpp tests/test_hostile_images.cpp tests/fixtures.cpp
               LIBS kelvane_pictures)
endif()
