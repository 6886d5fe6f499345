# Loading every object and image through the readers, against a plain read of the bytes.
get_filename_component(assets_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
add_executable(assets_bench ${assets_root}/bench/assets_load.cpp)
target_link_libraries(assets_bench PRIVATE assets)
