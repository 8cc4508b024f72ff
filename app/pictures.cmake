# Pictures of plans and sheets: the plan's labels (portable) and, on Linux, the picture files.
if(NOT WIN32)
  add_library(kelvane_pictures STATIC app/plan_picture.cpp app/picture_files.cpp)
  target_link_libraries(kelvane_pictures PUBLIC kelvane_render_cairo kelvane_app)
  target_link_libraries(kelvane PRIVATE kelvane_pictures)
else()
  add_library(kelvane_pictures STATIC app/plan_picture.cpp)
  target_link_libraries(kelvane_pictures PUBLIC kelvane_render kelvane_app)
endif()

if(KELVANE_TESTS AND NOT WIN32)
  kelvane_test(kelvane_picture_tests SOURCES tests/test_pictures.cpp tests/fixtures.cpp LIBS kelvane_pictures)
  kelvane_test(kelvane_hostile_picture_tests SOURCES tests/test_hostile_pictures.cpp tests/fixtures.cpp LIBS kelvane_pictures)
endif()

if(KELVANE_BENCH AND NOT WIN32)
  add_executable(bench_render bench/bench_render.cpp)
  target_link_libraries(bench_render PRIVATE kelvane_render_cairo)
endif()
