# The web back-end's checks in a browser (bench/webaudio/run.sh): the native halves, the
# pulled sequence and the module's samples as the desktop engine gives them, and the desktop
# engine playing live as the reference for the recording.
add_executable(webaudio_sequence ${CMAKE_CURRENT_LIST_DIR}/webaudio/sequence.cpp)
target_link_libraries(webaudio_sequence PRIVATE audio)
add_executable(webaudio_native_live ${CMAKE_CURRENT_LIST_DIR}/webaudio/native_live.cpp)
target_link_libraries(webaudio_native_live PRIVATE audio)
