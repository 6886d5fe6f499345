# The timeline scenes: what each asks GL to draw, row by row, and their random draws.
find_package(GTest REQUIRED)

add_executable(scenes_test scenes_gl.cpp scenes_samovar.cpp scenes_swarm.cpp
  scenes_portraits.cpp scenes_ripaska.cpp scenes_spiral.cpp scenes_missiles.cpp
  scenes_draws.cpp)
target_link_libraries(scenes_test PRIVATE demo GTest::gtest)
add_test(NAME scenes COMMAND xvfb-run -a $<TARGET_FILE:scenes_test>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
