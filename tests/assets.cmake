# Tests of the asset readers: hand-built fixtures, the shared real files, and GL output.
get_filename_component(assets_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
find_package(GTest REQUIRED)

# The fixture builders, shared with the fuzzing seed writer.
add_library(assets_fixtures STATIC ${assets_root}/tests/assets_fixtures.cpp)
target_include_directories(assets_fixtures PUBLIC ${assets_root}/tests)

add_executable(assets_tests
  ${assets_root}/tests/assets_lwo2.cpp
  ${assets_root}/tests/assets_tga.cpp
  ${assets_root}/tests/assets_testdata.cpp)
target_link_libraries(assets_tests PRIVATE assets assets_fixtures GTest::gtest_main)
add_test(NAME assets_tests COMMAND assets_tests WORKING_DIRECTORY ${assets_root})

add_executable(assets_gl_tests ${assets_root}/tests/assets_gl.cpp)
target_link_libraries(assets_gl_tests PRIVATE assets assets_fixtures GTest::gtest PkgConfig::GLUT)
add_test(NAME assets_gl_tests COMMAND xvfb-run -a $<TARGET_FILE:assets_gl_tests>
         WORKING_DIRECTORY ${assets_root})

# The inspectors read every shared LWO2 file and every accepted TGA file.
if(TARGET lwo2info AND TARGET tgainfo)
  set(testdata ${assets_root}/../shared/testdata)
  add_test(NAME assets_lwo2info COMMAND lwo2info
    ${testdata}/lwo2/hierarchy.lwo ${testdata}/lwo2/uvtest.lwo ${testdata}/lwo2/bil_ngon0_proc.lwo
    WORKING_DIRECTORY ${assets_root})
  add_test(NAME assets_tgainfo COMMAND tgainfo -p 100,16
    ${testdata}/tga/pil_200x32_rgba_tl_raw.tga ${testdata}/tga/pil_200x32_rgba_bl_rle.tga
    WORKING_DIRECTORY ${assets_root})
  set_tests_properties(assets_tgainfo PROPERTIES
    PASS_REGULAR_EXPRESSION "pixel \\(100,16\\) 193 71 46 51.*pixel \\(100,16\\) 193 71 46 51")
endif()
