# The program on a Wayland desktop, where Debian's X11-only freeglut runs through XWayland:
# weston's headless back-end with XWayland, keys through XTEST.
add_test(NAME wayland_end_to_end
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wayland_e2e.sh $<TARGET_FILE:vortazov>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(wayland_end_to_end PROPERTIES TIMEOUT 120)
