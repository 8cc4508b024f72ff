# The services of the app layer that a front end hands its session (app/services.h): the
# portable ones, over the standard library alone, and those of the system at hand.
add_library(kelvane_services STATIC app/services/portable_services.cpp)
target_link_libraries(kelvane_services PUBLIC kelvane_app)
if(EMSCRIPTEN)
  return()
endif()

if(WIN32)
  # Files, shell folders, the registry, message boxes, drops, the status bar and Jw_cad's /p.
  add_library(kelvane_win32_services STATIC app/services/win32/win32_services.cpp)
  target_link_libraries(kelvane_win32_services PUBLIC kelvane_app comctl32 comdlg32 shell32 ole32)
else()
  # Files, the user's folders, the terminal and Ctrl-C, and the picture modules' loader.
  add_library(kelvane_posix_services STATIC app/services/posix/posix_services.cpp app/services/posix/picture_module.cpp)
  target_link_libraries(kelvane_posix_services PUBLIC kelvane_services kelvane_app ${CMAKE_DL_LIBS} PRIVATE kelvane_version)
  # Where the picture module is installed, below the prefix: a private folder of the system's
  # library folder (multiarch on Debian), which needs no ldconfig.
  if(CMAKE_LIBRARY_ARCHITECTURE)
    set(KELVANE_PICTURE_MODULE_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/kelvane)
  else()
    set(KELVANE_PICTURE_MODULE_DIR lib/kelvane)
  endif()
  target_compile_definitions(kelvane_posix_services PRIVATE KELVANE_PICTURE_MODULE_DIR="${KELVANE_PICTURE_MODULE_DIR}")
  # Printing through CUPS, from the sheets' PDFs.
  find_package(Cups QUIET)
  if(NOT CUPS_FOUND)
    kelvane_missing("Cups" libcups2-dev)
  endif()
  add_library(kelvane_printing STATIC app/services/posix/cups_print_service.cpp app/services/posix/sheet_printer.cpp)
  # libcups is loaded at the first job (see cups_print_service.cpp): only its headers here.
  target_include_directories(kelvane_printing PRIVATE ${CUPS_INCLUDE_DIR})
  target_link_libraries(kelvane_printing PUBLIC kelvane_app ${CMAKE_DL_LIBS})
endif()
