# Fuzz targets (libFuzzer, clang only) over the project's libraries, and their seed generator.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "KELVANE_FUZZ needs clang++ (libFuzzer): configure with CXX=clang++")
endif()

# Every undefined behaviour must stop the input, or libFuzzer never sees it.
set(KELVANE_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

foreach(lib kelvane_platform kelvane_text kelvane_jww kelvane_split kelvane_split_reference kelvane_app kelvane_services kelvane_posix_services kelvane_posix
        kelvane_render_pdf)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${KELVANE_FUZZ_SANITIZERS})
endforeach()

# The project's own executables and module link the instrumented libraries too: give them the runtimes.
get_property(kelvane_fuzz_existing DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
foreach(t ${kelvane_fuzz_existing})
  get_target_property(kind ${t} TYPE)
  if(kind STREQUAL "EXECUTABLE" OR kind STREQUAL "MODULE_LIBRARY")
    target_link_options(${t} PRIVATE -fsanitize=fuzzer-no-link ${KELVANE_FUZZ_SANITIZERS})
  endif()
endforeach()

add_library(kelvane_fuzz_targets STATIC fuzz/targets.cpp)
target_compile_options(kelvane_fuzz_targets PRIVATE -fsanitize=fuzzer-no-link ${KELVANE_FUZZ_SANITIZERS})
target_link_libraries(kelvane_fuzz_targets PUBLIC kelvane_posix kelvane_render_cairo kelvane_render_pdf kelvane_font_source
                      kelvane_split_reference)

foreach(target load settings handover sheetnames render cairo pdf)
  add_executable(fuzz_${target} fuzz/fuzz_${target}.cpp)
  target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer ${KELVANE_FUZZ_SANITIZERS})
  target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer ${KELVANE_FUZZ_SANITIZERS})
  target_link_libraries(fuzz_${target} PRIVATE kelvane_fuzz_targets)
endforeach()

add_executable(fuzz_make_seeds fuzz/make_seeds.cpp)
target_compile_options(fuzz_make_seeds PRIVATE ${KELVANE_FUZZ_SANITIZERS})
target_link_options(fuzz_make_seeds PRIVATE -fsanitize=fuzzer-no-link ${KELVANE_FUZZ_SANITIZERS})
target_link_libraries(fuzz_make_seeds PRIVATE kelvane_app)
