# The install and the Debian package: the installed program finds its data through its prefix
# from any folder, says so and exits 1 when there is none, and the package holds the layout.
add_test(NAME packaging_end_to_end
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/packaging_e2e.sh ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_PREFIX}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(packaging_end_to_end PROPERTIES TIMEOUT 300)
