# Start-up time of the presentation against a bare freeglut window.
add_executable(bench_startup startup_bench.cpp)
target_link_libraries(bench_startup PRIVATE demo)
# The live loop per scene, paced against unpaced: frame rate, intervals, drawing budget, CPU.
if(TARGET xmwriter)
  add_executable(bench_pace pace_bench.cpp)
  target_link_libraries(bench_pace PRIVATE demo xmwriter)
endif()
