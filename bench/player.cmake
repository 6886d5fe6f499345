# Start-up time of the presentation against a bare freeglut window.
add_executable(bench_startup startup_bench.cpp)
target_link_libraries(bench_startup PRIVATE demo)
# The live loop per scene, paced against unpaced: frame rate, intervals, drawing budget, CPU.
if(TARGET xmwriter)
  add_executable(bench_pace pace_bench.cpp benchmodule.cpp)
  target_link_libraries(bench_pace PRIVATE demo xmwriter)
endif()
# What a paced frame shows against what is heard at its swap, on a real sound server.
if(TARGET sound_server)
  add_executable(bench_frame_sync frame_sync.cpp)
  target_link_libraries(bench_frame_sync PRIVATE demo sound_server PkgConfig::OPENMPT)
endif()
