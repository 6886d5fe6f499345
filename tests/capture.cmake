# The offline capture program end to end, under Xvfb, on a module the test writes.
find_package(GTest REQUIRED)

add_library(capture_media STATIC ${CMAKE_CURRENT_LIST_DIR}/capture_media.cpp)
target_include_directories(capture_media PUBLIC ${CMAKE_CURRENT_LIST_DIR})

add_executable(capture_test ${CMAKE_CURRENT_LIST_DIR}/capture_test.cpp)
target_compile_definitions(capture_test PRIVATE CAPTURE_PROGRAM="$<TARGET_FILE:vortazov-capture>")
target_include_directories(capture_test PRIVATE ${PROJECT_SOURCE_DIR}/audio)
target_link_libraries(capture_test PRIVATE capture_media xmwriter PkgConfig::OPENMPT GTest::gtest_main)
add_dependencies(capture_test vortazov-capture)
add_test(NAME capture COMMAND xvfb-run -a $<TARGET_FILE:capture_test> WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(capture PROPERTIES TIMEOUT 300)

# Golden frames: the real data captured, one frame per scene against tests/golden/*.png.
add_executable(capture_golden_test ${CMAKE_CURRENT_LIST_DIR}/capture_golden_test.cpp)
target_compile_definitions(capture_golden_test PRIVATE CAPTURE_PROGRAM="$<TARGET_FILE:vortazov-capture>")
target_link_libraries(capture_golden_test PRIVATE capture_media demo PkgConfig::OPENMPT GTest::gtest_main)
add_dependencies(capture_golden_test vortazov-capture)
add_test(NAME capture_golden COMMAND xvfb-run -a $<TARGET_FILE:capture_golden_test>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(capture_golden PROPERTIES TIMEOUT 600)
