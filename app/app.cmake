# The program: the portable session (plan, write, settings, command line), the platform layers
# and the two front ends.
add_library(kelvane_app STATIC
  app/options.cpp
  app/settings.cpp
  app/side_settings.cpp
  app/text_file.cpp
  app/sheet_plan.cpp
  app/sheet_writer.cpp
  app/session.cpp
  app/example.cpp
  app/plan_picture.cpp
)
target_link_libraries(kelvane_app PUBLIC kelvane_render kelvane_split kelvane_jww)

if(WIN32)
  # The Windows program: the window over the Win32 platform layer, one statically linked file.
  add_library(kelvane_win32 STATIC app/win32/platform.cpp app/win32/main_window.cpp app/win32/preview_window.cpp
                                   app/win32/sheet_pdfs.cpp)
  target_link_libraries(kelvane_win32 PUBLIC kelvane_app kelvane_dxf kelvane_render_gdi kelvane_render_pdf comctl32 comdlg32 shell32 ole32 imm32
                                             gdiplus shlwapi)
  add_executable(kelvane WIN32 app/win32/main.cpp)
  target_link_libraries(kelvane PRIVATE kelvane_win32)
  target_link_options(kelvane PRIVATE -static -municode $<$<CONFIG:Release>:-s>)
else()
  # The command line over the POSIX platform layer.
  add_library(kelvane_posix STATIC app/posix/platform.cpp app/posix/command_line.cpp)
  target_link_libraries(kelvane_posix PUBLIC kelvane_app kelvane_dxf)
  add_executable(kelvane app/posix/main.cpp)
  target_link_libraries(kelvane PRIVATE kelvane_posix)
endif()

if(KELVANE_TESTS)
  kelvane_test(kelvane_cli_tests SOURCES tests/test_cli.cpp tests/fixtures.cpp LIBS kelvane_jww)
  target_compile_definitions(kelvane_cli_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>")
  add_dependencies(kelvane_cli_tests kelvane)
  kelvane_test(kelvane_app_tests SOURCES tests/test_settings.cpp tests/test_side_settings.cpp tests/test_session.cpp tests/test_sheet_plan.cpp
                                     tests/fixtures.cpp LIBS kelvane_app)
  if(NOT WIN32)
    kelvane_test(kelvane_cli_picture_tests SOURCES tests/test_cli_pictures.cpp tests/fixtures.cpp LIBS kelvane_jww)
    target_compile_definitions(kelvane_cli_picture_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>")
    add_dependencies(kelvane_cli_picture_tests kelvane)
    kelvane_test(kelvane_command_line_tests SOURCES tests/test_command_line.cpp tests/fixtures.cpp LIBS kelvane_posix)
  endif()
endif()
