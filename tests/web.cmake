# The web build's pieces that are plain C++: the 60 Hz grid its main loop runs frames on.
find_package(GTest REQUIRED)
add_executable(web_ticks_test web_ticks.cpp ${PROJECT_SOURCE_DIR}/web/glut/ticks.cpp)
target_include_directories(web_ticks_test PRIVATE ${PROJECT_SOURCE_DIR}/web/glut)
target_link_libraries(web_ticks_test PRIVATE GTest::gtest_main)
add_test(NAME web_ticks COMMAND web_ticks_test)
