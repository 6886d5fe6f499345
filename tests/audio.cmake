# The audio engine's tests, on modules and streams the tests write themselves.
find_package(GTest REQUIRED)

if(NOT TARGET audio_testfiles)
  add_library(audio_testfiles STATIC ${CMAKE_CURRENT_LIST_DIR}/audio_files.cpp)
  target_include_directories(audio_testfiles PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(audio_testfiles PUBLIC xmwriter)
endif()

# A real sound server for a test alone: with_sound_server starts one, runs the test with
# PULSE_SERVER set, and stops it; tests that run side by side each get their own.
if(NOT TARGET sound_server)
  add_library(sound_server STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_server.cpp)
  target_include_directories(sound_server PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  add_executable(with_sound_server ${CMAKE_CURRENT_LIST_DIR}/with_sound_server.cpp)
  target_link_libraries(with_sound_server PRIVATE sound_server)
endif()

add_executable(audio_test ${CMAKE_CURRENT_LIST_DIR}/audio_test.cpp)
target_link_libraries(audio_test PRIVATE audio audio_testfiles PkgConfig::OPENMPT PkgConfig::MPG123 GTest::gtest_main)
add_test(NAME audio_test COMMAND with_sound_server pulseaudio $<TARGET_FILE:audio_test>
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
# The device again where PipeWire runs: the engine takes PipeWire's own stream there.
add_test(NAME audio_device_pipewire
         COMMAND with_sound_server pipewire $<TARGET_FILE:audio_test> --gtest_filter=Audio.DevicePlaysOnARealServer
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})

# The engine's own sources compiled again with ThreadSanitizer, in a program of their own.
get_target_property(audio_sources audio SOURCES)
get_target_property(audio_dir audio SOURCE_DIR)
list(TRANSFORM audio_sources PREPEND ${audio_dir}/)
add_executable(audio_tsan_test ${CMAKE_CURRENT_LIST_DIR}/audio_tsan_test.cpp ${audio_sources})
target_include_directories(audio_tsan_test PRIVATE ${audio_dir})
target_compile_options(audio_tsan_test PRIVATE -fsanitize=thread)
target_link_options(audio_tsan_test PRIVATE -fsanitize=thread)
target_link_libraries(audio_tsan_test PRIVATE audio_testfiles wholefile PkgConfig::PIPEWIRE cubeb::cubeb PkgConfig::OPENMPT PkgConfig::MPG123 PkgConfig::SOXR
                      Threads::Threads GTest::gtest_main)
# Without address-space randomisation where we may turn it off: the sanitizer's fixed memory
# layout fails on kernels that randomise with more bits than it expects.
add_test(NAME audio_tsan_test
         COMMAND with_sound_server pulseaudio sh -c "if setarch $(uname -m) -R true 2>/dev/null; then exec setarch $(uname -m) -R \"$0\"; else exec \"$0\"; fi"
                 $<TARGET_FILE:audio_tsan_test>
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(audio_tsan_test PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66")
# ... and PipeWire's data thread rendering into the engine
add_test(NAME audio_tsan_pipewire
         COMMAND with_sound_server pipewire sh -c "if setarch $(uname -m) -R true 2>/dev/null; then exec setarch $(uname -m) -R \"$0\" \"$1\"; else exec \"$0\" \"$1\"; fi"
                 $<TARGET_FILE:audio_tsan_test> --gtest_filter=*Device
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(audio_tsan_pipewire PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66")
