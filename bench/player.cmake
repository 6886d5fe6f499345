# Start-up time of the presentation against a bare freeglut window.
add_executable(bench_startup startup_bench.cpp)
target_link_libraries(bench_startup PRIVATE demo)
