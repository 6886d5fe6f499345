# The offline capture's speed against the live presentation over the same span of music:
# bench/capture_bench.sh BUILD_DIR [SECONDS] runs both in one Xvfb.
add_executable(capture_live ${CMAKE_CURRENT_LIST_DIR}/capture_live.cpp)
target_link_libraries(capture_live PRIVATE demo)
