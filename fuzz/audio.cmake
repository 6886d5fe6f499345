# The audio engine's loaders: a fuzz target, its replay driver, and the seeds (the shipped
# module and stream, and the test files the audio tests make).
set(audio_fuzz_root ${CMAKE_CURRENT_LIST_DIR}/..)
get_target_property(audio_fuzz_sources audio SOURCES)
get_target_property(audio_fuzz_dir audio SOURCE_DIR)
list(TRANSFORM audio_fuzz_sources PREPEND ${audio_fuzz_dir}/)
get_target_property(audio_fuzz_libs audio LINK_LIBRARIES)

if(VORTAZOV_FUZZ)
  add_library(audio_fuzzing STATIC ${audio_fuzz_sources})
  target_include_directories(audio_fuzzing PUBLIC ${audio_fuzz_dir})
  target_compile_options(audio_fuzzing PUBLIC ${assets_sanitizers} -fsanitize=fuzzer-no-link)
  target_link_libraries(audio_fuzzing PUBLIC ${audio_fuzz_libs})
  add_executable(audio_load_fuzz ${audio_fuzz_root}/fuzz/audio_load_fuzz.cpp)
  target_link_libraries(audio_load_fuzz PRIVATE audio_fuzzing)
  target_link_options(audio_load_fuzz PRIVATE ${assets_sanitizers} -fsanitize=fuzzer)

  add_library(audio_sanitized STATIC ${audio_fuzz_sources})
  target_include_directories(audio_sanitized PUBLIC ${audio_fuzz_dir})
  target_compile_options(audio_sanitized PUBLIC ${assets_sanitizers})
  target_link_options(audio_sanitized PUBLIC ${assets_sanitizers})
  target_link_libraries(audio_sanitized PUBLIC ${audio_fuzz_libs})
  set(audio_replay_lib audio_sanitized)
else()
  set(audio_replay_lib audio)
endif()

add_executable(audio_load_replay ${audio_fuzz_root}/fuzz/audio_load_fuzz.cpp ${audio_fuzz_root}/fuzz/assets_replay.cpp)
target_link_libraries(audio_load_replay PRIVATE ${audio_replay_lib})

# Writes the audio tests' module and streams out as seed files.
if(TARGET audio_testfiles)
  add_executable(audio_seeds ${audio_fuzz_root}/fuzz/audio_seeds.cpp)
  target_link_libraries(audio_seeds PRIVATE audio_testfiles)
endif()

if(VORTAZOV_TESTS)
  add_test(NAME audio_replay_load
           COMMAND sh -c "mkdir -p \"$1\" && \"$2\" \"$1\" && exec \"$3\" data/compruss.xm data/farewell.mp3 \"$1\""
                   sh ${CMAKE_BINARY_DIR}/audio-seeds $<TARGET_FILE:audio_seeds> $<TARGET_FILE:audio_load_replay>
           WORKING_DIRECTORY ${audio_fuzz_root})
endif()
