# The core in the browser: the C API of app/web/ over the portable libraries, linked into
# kelvane.js and kelvane.wasm, with the page beside them (scripts/web.sh builds and serves it).
add_executable(kelvane_web app/web/web_api.cpp app/web/display_list_bytes.cpp)
target_link_libraries(kelvane_web PRIVATE kelvane_services kelvane_app)
set_target_properties(kelvane_web PROPERTIES OUTPUT_NAME kelvane SUFFIX ".js"
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/site)
# No network and no ports: the file system in memory, memory that grows (the budgets of the
# loader keep a hostile file within bounds), exceptions for out-of-memory and damaged input.
target_link_options(kelvane_web PRIVATE
  -sMODULARIZE=1 -sEXPORT_NAME=KelvaneModule -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB
  -sENVIRONMENT=web,worker -sFILESYSTEM=1 -sFORCE_FILESYSTEM=1 -sEXIT_RUNTIME=0
  "-sEXPORTED_RUNTIME_METHODS=['FS','UTF8ToString','stringToUTF8','lengthBytesUTF8','ccall','cwrap']"
  "-sEXPORTED_FUNCTIONS=['_malloc','_free']")
# The page's own files go beside the module.
file(GLOB KELVANE_WEB_PAGE CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/app/web/page/*)
foreach(page_file ${KELVANE_WEB_PAGE})
  get_filename_component(page_name ${page_file} NAME)
  configure_file(${page_file} ${CMAKE_BINARY_DIR}/site/${page_name} COPYONLY)
endforeach()
