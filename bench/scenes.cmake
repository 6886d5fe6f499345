# Each timeline scene through the frame path against a bare loop of its own drawing.
if(TARGET xmwriter)
  add_executable(bench_scenes scenes_bench.cpp benchmodule.cpp)
  target_link_libraries(bench_scenes PRIVATE demo xmwriter)
endif()
