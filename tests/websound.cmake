# The web build's sounds: websound run on the shipped music, its tables and MP3s checked
# against the audio engine's pull back-end.
find_package(GTest REQUIRED)

if(TARGET websound)
  add_executable(websound_test ${CMAKE_CURRENT_LIST_DIR}/websound_test.cpp ${CMAKE_CURRENT_LIST_DIR}/audio_files.cpp)
  target_include_directories(websound_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(websound_test PRIVATE audio soundtable xmwriter GTest::gtest_main)
  target_compile_definitions(websound_test PRIVATE WEBSOUND_PATH="$<TARGET_FILE:websound>")
  add_dependencies(websound_test websound)
  add_test(NAME websound_test COMMAND websound_test WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(websound_test PROPERTIES TIMEOUT 300)
endif()
