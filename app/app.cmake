# The program: portable application logic, the platform layer and the command-line entry.
add_library(kelvane_app STATIC app/options.cpp app/settings.cpp app/session.cpp app/driver.cpp app/example.cpp)
target_link_libraries(kelvane_app PUBLIC kelvane_split kelvane_jww)

if(WIN32)
  # The Windows program: the window over the Win32 platform layer, one statically linked file.
  add_library(kelvane_win32 STATIC app/win32/platform.cpp app/win32/main_window.cpp)
  target_link_libraries(kelvane_win32 PUBLIC kelvane_app comctl32 comdlg32 shell32 ole32 imm32)
  add_executable(kelvane WIN32 app/win32/main.cpp)
  target_link_libraries(kelvane PRIVATE kelvane_win32)
  target_link_options(kelvane PRIVATE -static -municode $<$<CONFIG:Release>:-s>)
else()
  add_executable(kelvane app/posix/main.cpp app/posix/platform.cpp)
  target_link_libraries(kelvane PRIVATE kelvane_app)
endif()

if(KELVANE_TESTS)
  kelvane_test(kelvane_cli_tests SOURCES tests/test_cli.cpp tests/fixtures.cpp LIBS kelvane_jww)
  target_compile_definitions(kelvane_cli_tests PRIVATE KELVANE_EXE="$<TARGET_FILE:kelvane>")
  add_dependencies(kelvane_cli_tests kelvane)
  kelvane_test(kelvane_app_tests SOURCES tests/test_settings.cpp tests/test_session.cpp tests/test_driver.cpp
                                     tests/fixtures.cpp LIBS kelvane_app)
endif()
