# The web build's pieces that are plain C++: the 60 Hz grid its main loop runs frames on.
find_package(GTest REQUIRED)
add_executable(web_ticks_test web_ticks.cpp ${PROJECT_SOURCE_DIR}/web/glut/ticks.cpp)
target_include_directories(web_ticks_test PRIVATE ${PROJECT_SOURCE_DIR}/web/glut)
target_link_libraries(web_ticks_test PRIVATE GTest::gtest_main)
add_test(NAME web_ticks COMMAND web_ticks_test)

# The web page: web/build.sh's site in Debian's headless chromium, against the capture's pictures.
# Needs emscripten, chromium and chromium-driver (tools/debian-packages-test.txt).
find_program(EMCC emcc)
find_program(CHROMEDRIVER chromedriver)
if(NOT EMCC OR NOT CHROMEDRIVER)
  message(STATUS "no emcc or chromedriver: the web page's tests are left out")
  return()
endif()
add_executable(web_moments ${CMAKE_CURRENT_LIST_DIR}/web_moments.cpp)
target_link_libraries(web_moments PRIVATE scenes PkgConfig::OPENMPT)

# The site, built as the README says, with this build's websound; the page's test needs it.
add_test(NAME web_site COMMAND env NATIVE=${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/web/build.sh ${CMAKE_BINARY_DIR}/web)
set_tests_properties(web_site PROPERTIES FIXTURES_SETUP web_site TIMEOUT 900)

add_test(NAME web_page
  COMMAND with_sound_server pulseaudio xvfb-run -a -s "-screen 0 1024x768x24"
          /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/web_e2e.py ${CMAKE_BINARY_DIR}/web/site
          $<TARGET_FILE:vortazov-capture> $<TARGET_FILE:web_moments>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(web_page PROPERTIES FIXTURES_REQUIRED web_site TIMEOUT 600)
