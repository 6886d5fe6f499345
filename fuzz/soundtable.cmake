# The web back-end's position tables: a fuzz target for their reader, its replay driver, and
# seeds (a small module table and a stream table).
set(soundtable_fuzz_root ${CMAKE_CURRENT_LIST_DIR}/..)
get_target_property(soundtable_fuzz_sources soundtable SOURCES)
get_target_property(soundtable_fuzz_dir soundtable SOURCE_DIR)
list(TRANSFORM soundtable_fuzz_sources PREPEND ${soundtable_fuzz_dir}/)

if(VORTAZOV_FUZZ)
  add_library(soundtable_fuzzing STATIC ${soundtable_fuzz_sources})
  target_include_directories(soundtable_fuzzing PUBLIC ${soundtable_fuzz_dir})
  target_compile_options(soundtable_fuzzing PUBLIC ${assets_sanitizers} -fsanitize=fuzzer-no-link)
  add_executable(soundtable_fuzz ${soundtable_fuzz_root}/fuzz/soundtable_fuzz.cpp)
  target_link_libraries(soundtable_fuzz PRIVATE soundtable_fuzzing)
  target_link_options(soundtable_fuzz PRIVATE ${assets_sanitizers} -fsanitize=fuzzer)

  add_library(soundtable_sanitized STATIC ${soundtable_fuzz_sources})
  target_include_directories(soundtable_sanitized PUBLIC ${soundtable_fuzz_dir})
  target_compile_options(soundtable_sanitized PUBLIC ${assets_sanitizers})
  target_link_options(soundtable_sanitized PUBLIC ${assets_sanitizers})
  set(soundtable_replay_lib soundtable_sanitized)
else()
  set(soundtable_replay_lib soundtable)
endif()

add_executable(soundtable_replay ${soundtable_fuzz_root}/fuzz/soundtable_fuzz.cpp ${soundtable_fuzz_root}/fuzz/assets_replay.cpp)
target_link_libraries(soundtable_replay PRIVATE ${soundtable_replay_lib})
add_executable(soundtable_seeds ${soundtable_fuzz_root}/fuzz/soundtable_seeds.cpp)
target_link_libraries(soundtable_seeds PRIVATE soundtable)

if(VORTAZOV_TESTS)
  add_test(NAME soundtable_replay
           COMMAND sh -c "mkdir -p \"$1\" && \"$2\" \"$1\" && exec \"$3\" \"$1\""
                   sh ${CMAKE_BINARY_DIR}/soundtable-seeds $<TARGET_FILE:soundtable_seeds> $<TARGET_FILE:soundtable_replay>)
endif()
