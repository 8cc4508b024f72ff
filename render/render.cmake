# Pictures of drawings and sheets: the portable display list, and on Linux its cairo output.
add_library(kelvane_render STATIC render/display_list.cpp render/text_layout.cpp render/render.cpp)
target_link_libraries(kelvane_render PUBLIC kelvane_split kelvane_jww)
