# Fuzz targets for the LWO2 and TGA readers, their plain replay drivers, and the seeds.
#
# The replay drivers build with any compiler. With VORTAZOV_FUZZ=ON (clang only) the
# readers are also built with AddressSanitizer and UndefinedBehaviorSanitizer, the
# replay drivers link that build, and the libFuzzer targets are added. fuzz/run.sh
# configures such a build, replays the corpora and runs each fuzzer for a while.
get_filename_component(assets_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
option(VORTAZOV_FUZZ "build the libFuzzer targets and sanitized readers (clang)" OFF)

set(assets_sources
  ${assets_root}/assets/lwo2.cpp ${assets_root}/assets/lwo2surface.cpp
  ${assets_root}/assets/mesh.cpp ${assets_root}/assets/tga.cpp)
set(assets_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if(VORTAZOV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VORTAZOV_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  add_library(assets_sanitized STATIC ${assets_sources})
  target_include_directories(assets_sanitized PUBLIC ${assets_root}/assets)
  target_compile_options(assets_sanitized PUBLIC ${assets_sanitizers})
  target_link_options(assets_sanitized PUBLIC ${assets_sanitizers})
  target_link_libraries(assets_sanitized PUBLIC wholefile PkgConfig::GL)

  add_library(assets_fuzzing STATIC ${assets_sources})
  target_include_directories(assets_fuzzing PUBLIC ${assets_root}/assets)
  target_compile_options(assets_fuzzing PUBLIC ${assets_sanitizers} -fsanitize=fuzzer-no-link)
  target_link_libraries(assets_fuzzing PUBLIC wholefile PkgConfig::GL)
  foreach(kind lwo2 tga)
    add_executable(assets_${kind}_fuzz ${assets_root}/fuzz/assets_${kind}_fuzz.cpp)
    target_link_libraries(assets_${kind}_fuzz PRIVATE assets_fuzzing)
    target_link_options(assets_${kind}_fuzz PRIVATE ${assets_sanitizers} -fsanitize=fuzzer)
  endforeach()
  set(assets_replay_lib assets_sanitized)
else()
  set(assets_replay_lib assets)
endif()

foreach(kind lwo2 tga)
  add_executable(assets_${kind}_replay
    ${assets_root}/fuzz/assets_${kind}_fuzz.cpp ${assets_root}/fuzz/assets_replay.cpp)
  target_link_libraries(assets_${kind}_replay PRIVATE ${assets_replay_lib})
endforeach()

# Writes the hand-built test fixtures out as seed files.
add_executable(assets_seeds
  ${assets_root}/fuzz/assets_seeds.cpp ${assets_root}/tests/assets_fixtures.cpp)
target_include_directories(assets_seeds PRIVATE ${assets_root}/tests)

if(VORTAZOV_TESTS)
  add_test(NAME assets_replay_lwo2 COMMAND assets_lwo2_replay ../shared/testdata/lwo2
           WORKING_DIRECTORY ${assets_root})
  add_test(NAME assets_replay_tga COMMAND assets_tga_replay ../shared/testdata/tga
           WORKING_DIRECTORY ${assets_root})
endif()
