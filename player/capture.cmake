# The offline capture: the presentation rendered frame by frame, with its sound, to a video.
add_executable(vortazov-capture player/capture.cpp player/capture_output.cpp)
target_link_libraries(vortazov-capture PRIVATE demo)
