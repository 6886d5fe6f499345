# Tests of the image tool (TGA writer, rasteriser) and of the shipped images in data/.
if(TARGET imagetools)
  find_package(GTest REQUIRED)
  add_executable(images_writer_test ${CMAKE_CURRENT_LIST_DIR}/images_writer_test.cpp)
  target_link_libraries(images_writer_test PRIVATE imagetools GTest::gtest_main)
  add_test(NAME images_writer COMMAND images_writer_test WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  add_test(NAME images_data
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/images_data.sh $<TARGET_FILE:makeimages>
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endif()
