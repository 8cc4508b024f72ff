# The program: the portable session (plan, write, settings), its services (app/services/) and
# the two front ends.
add_library(kelvane_app STATIC
  app/options.cpp
  app/settings.cpp
  app/side_settings.cpp
  app/text_file.cpp
  app/sheet_plan.cpp
  app/sheet_writer.cpp
  app/sheet_rows.cpp
  app/output_plan.cpp
  app/output_writer.cpp
  app/session.cpp
  app/input_files.cpp
  app/batch_run.cpp
  app/run_summary.cpp
  app/example.cpp
  app/plan_picture.cpp
)
target_link_libraries(kelvane_app PUBLIC kelvane_dxf kelvane_render kelvane_split kelvane_jww)
include(app/services/services.cmake)
if(EMSCRIPTEN)
  # One thread in the browser (threads would need cross-origin isolation headers no static host
  # sends); the front end is app/web/.
  return()
endif()
find_package(Threads REQUIRED)
target_link_libraries(kelvane_app PUBLIC Threads::Threads)

if(WIN32)
  # The Windows program: the window over the Windows services, one statically linked file.
  add_library(kelvane_win32 STATIC app/win32/main_window.cpp app/win32/main_window_controls.cpp app/win32/main_window_form.cpp
                                   app/win32/main_window_messages.cpp app/win32/preview_window.cpp app/win32/preview_list.cpp
                                   app/win32/preview_canvas.cpp app/win32/sheet_pdfs.cpp)
  target_link_libraries(kelvane_win32 PUBLIC kelvane_win32_services kelvane_app kelvane_dxf kelvane_render_gdi
                                             kelvane_render_pdf comctl32 comdlg32 shell32 ole32 imm32 gdiplus shlwapi)
  target_link_libraries(kelvane_win32 PRIVATE kelvane_version)
  # Its icon and version resource, made from the project's version.
  enable_language(RC)
  set(KELVANE_ICON ${CMAKE_CURRENT_SOURCE_DIR}/app/win32/kelvane.ico)
  configure_file(app/win32/kelvane.rc.in ${CMAKE_CURRENT_BINARY_DIR}/kelvane.rc @ONLY)
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/kelvane.rc APPEND PROPERTY OBJECT_DEPENDS ${KELVANE_ICON})
  add_executable(kelvane WIN32 app/win32/main.cpp ${CMAKE_CURRENT_BINARY_DIR}/kelvane.rc)
  target_link_libraries(kelvane PRIVATE kelvane_win32)
  target_link_options(kelvane PRIVATE -static -municode $<$<CONFIG:Release>:-s>)
else()
  # The command line over the POSIX services.
  add_library(kelvane_posix STATIC app/posix/command_line.cpp app/posix/console.cpp)
  target_link_libraries(kelvane_posix PUBLIC kelvane_posix_services kelvane_app kelvane_dxf PRIVATE kelvane_version)
  add_executable(kelvane app/posix/main.cpp)
  target_link_libraries(kelvane PRIVATE kelvane_posix kelvane_printing kelvane_version)
endif()

if(KELVANE_TESTS)
  kelvane_test(kelvane_cli_tests SOURCES tests/test_cli.cpp tests/fixtures.cpp LIBS kelvane_jww)
  target_compile_definitions(kelvane_cli_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>")
  target_link_libraries(kelvane_cli_tests PRIVATE kelvane_version)
  add_dependencies(kelvane_cli_tests kelvane)
  if(NOT WIN32)
    kelvane_test(kelvane_cli_batch_tests SOURCES tests/test_cli_batch.cpp tests/fixtures.cpp LIBS kelvane_jww)
    target_compile_definitions(kelvane_cli_batch_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>"
                                                               KELVANE_SOURCE="${CMAKE_CURRENT_SOURCE_DIR}")
    add_dependencies(kelvane_cli_batch_tests kelvane)
  endif()
  kelvane_test(kelvane_app_tests SOURCES tests/test_settings.cpp tests/test_side_settings.cpp tests/test_session.cpp tests/test_sheet_plan.cpp
                                     tests/test_run_summary.cpp
                                     tests/fixtures.cpp LIBS kelvane_app)
  if(NOT WIN32)
    kelvane_test(kelvane_cli_picture_tests SOURCES tests/test_cli_pictures.cpp tests/fixtures.cpp LIBS kelvane_jww)
    target_compile_definitions(kelvane_cli_picture_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>"
                                                                  KELVANE_PICTURE_MODULE_DIR="${KELVANE_PICTURE_MODULE_DIR}")
    add_dependencies(kelvane_cli_picture_tests kelvane)
    kelvane_test(kelvane_output_plan_tests SOURCES tests/test_output_plan.cpp tests/fixtures.cpp LIBS kelvane_split)
    target_compile_definitions(kelvane_output_plan_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>")
    add_dependencies(kelvane_output_plan_tests kelvane)
    kelvane_test(kelvane_command_line_tests SOURCES tests/test_command_line.cpp tests/fixtures.cpp LIBS kelvane_posix)
    # One process for the whole suite, so that its private CUPS server starts once.
    add_executable(kelvane_printing_tests tests/test_cups_printing.cpp tests/test_sheet_printer.cpp tests/fixtures.cpp)
    target_link_libraries(kelvane_printing_tests PRIVATE kelvane_printing kelvane_pictures Cups::Cups GTest::gtest_main)
    target_compile_definitions(kelvane_printing_tests
      PRIVATE KELVANE_CORPUS="${KELVANE_CORPUS}" KELVANE_EXE="$<TARGET_FILE:kelvane>")
    add_dependencies(kelvane_printing_tests kelvane)
    add_test(NAME CupsPrinting COMMAND kelvane_printing_tests)
    set_tests_properties(CupsPrinting PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
  endif()
endif()
