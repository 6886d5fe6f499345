# Tests of the model tool and the shipped objects (data/3d): regeneration, assimp's and our
# reader's view of every file, closed outward-facing solids, sizes, and the contact sheet.
if(TARGET makemodels AND TARGET assets)
  find_package(GTest REQUIRED)
  add_executable(models_test ${CMAKE_CURRENT_LIST_DIR}/models_test.cpp)
  target_link_libraries(models_test PRIVATE modelkit assets GTest::gtest_main)
  target_compile_definitions(models_test PRIVATE MAKEMODELS_PATH="$<TARGET_FILE:makemodels>")
  add_dependencies(models_test makemodels)
  add_test(NAME models COMMAND models_test WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  if(TARGET contactsheet)
    # Every object drawn through the reader and the lit compiler must cover some pixels, and
    # every scene view must be drawn.
    add_test(NAME models_contactsheet
             COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:contactsheet>
                     ${CMAKE_CURRENT_BINARY_DIR}/contact-sheet.ppm
             WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  endif()
endif()
