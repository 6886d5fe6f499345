# The player: frame driver logic on scripted positions, and the real program end to end.
find_package(GTest REQUIRED)

add_executable(player_frame_test player_frame_test.cpp)
target_link_libraries(player_frame_test PRIVATE demo xmwriter GTest::gtest)
add_test(NAME player_frame COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:player_frame_test>)

add_executable(wmclose wmclose.cpp)
target_link_libraries(wmclose PRIVATE PkgConfig::X11)

# The program with its first frames slowed, for the start-up stress case of the end-to-end test.
add_executable(slow_start slow_start.cpp)
target_link_libraries(slow_start PRIVATE demo)

add_test(NAME player_end_to_end
  COMMAND with_sound_server pulseaudio ${CMAKE_CURRENT_SOURCE_DIR}/player_e2e.sh $<TARGET_FILE:vortazov> $<TARGET_FILE:wmclose>
          $<TARGET_FILE:slow_start>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(player_end_to_end PROPERTIES TIMEOUT 480)
# Its sound parts again where PipeWire runs, through PipeWire's own stream.
add_test(NAME player_end_to_end_pipewire
  COMMAND with_sound_server pipewire ${CMAKE_CURRENT_SOURCE_DIR}/player_e2e.sh $<TARGET_FILE:vortazov> $<TARGET_FILE:wmclose>
          $<TARGET_FILE:slow_start> sound
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(player_end_to_end_pipewire PROPERTIES TIMEOUT 120)

add_executable(endpart_test endpart_test.cpp)
target_link_libraries(endpart_test PRIVATE demo GTest::gtest)
# The shutdown sequence runs once per process, so the window-close test gets a process of its own.
add_test(NAME endpart_and_captions COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:endpart_test>
  --gtest_filter=-*ClosingTheWindow*)
add_test(NAME endpart_window_close COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:endpart_test>
  --gtest_filter=*ClosingTheWindow*)

# The whole presentation from start to end: about six minutes.
add_test(NAME playthrough_end_to_end
  COMMAND with_sound_server pulseaudio ${CMAKE_CURRENT_SOURCE_DIR}/playthrough_e2e.sh $<TARGET_FILE:vortazov> ${CMAKE_BINARY_DIR}/screens
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(playthrough_end_to_end PROPERTIES TIMEOUT 660)

# SIGINT, SIGTERM and SIGHUP to the real program in the end part: the sync table is written.
add_executable(player_signals_test player_signals_test.cpp)
target_compile_definitions(player_signals_test PRIVATE PLAYER_PROGRAM="$<TARGET_FILE:vortazov>")
target_link_libraries(player_signals_test PRIVATE xmwriter GTest::gtest_main)
add_dependencies(player_signals_test vortazov)
add_test(NAME player_signals COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:player_signals_test>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(player_signals PROPERTIES TIMEOUT 120)
