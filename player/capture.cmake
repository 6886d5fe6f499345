# The offline capture: the presentation rendered frame by frame, with its sound, to a video.
add_executable(vortazov-capture ${CMAKE_CURRENT_LIST_DIR}/capture.cpp ${CMAKE_CURRENT_LIST_DIR}/capture_output.cpp)
target_link_libraries(vortazov-capture PRIVATE demo)
