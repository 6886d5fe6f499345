# Music: the score notation and XM writer, renders of the shipped module, the shipped files
# checked with other people's players, and regeneration of data/ by the compose tool.
find_package(GTest REQUIRED)

if(TARGET music)
  add_executable(music_score ${CMAKE_CURRENT_LIST_DIR}/music_score.cpp)
  target_link_libraries(music_score PRIVATE music GTest::gtest_main)
  target_include_directories(music_score PRIVATE ${PROJECT_SOURCE_DIR}/player)  # the end part's word table
  add_test(NAME music_score COMMAND music_score WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})

  add_executable(music_render ${CMAKE_CURRENT_LIST_DIR}/music_render.cpp)
  target_link_libraries(music_render PRIVATE music GTest::gtest_main)
  target_include_directories(music_render PRIVATE ${PROJECT_SOURCE_DIR}/scenes)  # the timeline's end
  add_test(NAME music_render COMMAND music_render WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(music_render PROPERTIES LABELS slow TIMEOUT 300)

  add_test(NAME music_regenerate
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/music_regenerate.sh $<TARGET_FILE:compose>
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(music_regenerate PROPERTIES LABELS slow TIMEOUT 300)
endif()

add_test(NAME music_players COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/music_players.sh
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(music_players PROPERTIES LABELS slow TIMEOUT 300)

add_test(NAME music_loudness COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/music_loudness.sh
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(music_loudness PROPERTIES LABELS slow TIMEOUT 300)
