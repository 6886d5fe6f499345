# The audio engine's benchmarks: "heard now" against real sound servers, and CPU time against libopenmpt.
# They share the test module and MP3 helpers of the audio tests.
if(NOT TARGET audio_testfiles)
  add_library(audio_testfiles STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/audio_files.cpp)
  target_include_directories(audio_testfiles PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../tests)
  target_link_libraries(audio_testfiles PUBLIC xmwriter)
endif()

if(NOT TARGET sound_server)
  add_library(sound_server STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/sound_server.cpp)
  target_include_directories(sound_server PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../tests)
endif()
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
add_executable(bench_audio_sync ${CMAKE_CURRENT_LIST_DIR}/audio_sync.cpp)
target_link_libraries(bench_audio_sync PRIVATE audio audio_testfiles sound_server PkgConfig::OPENMPT PkgConfig::PULSE PkgConfig::PIPEWIRE
                      Threads::Threads)

add_executable(bench_audio_cpu ${CMAKE_CURRENT_LIST_DIR}/audio_cpu.cpp)
target_link_libraries(bench_audio_cpu PRIVATE audio audio_testfiles PkgConfig::OPENMPT)
