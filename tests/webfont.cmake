# The web build's bitmap font: the committed table is what the tool draws through freeglut.
if(TARGET webfont)
  add_test(NAME webfont_data
    COMMAND sh -c "out=$(mktemp) && xvfb-run -a -s '-screen 0 1024x768x24' \"$1\" \"$out\" && cmp \"$out\" web/glut/font8x13.inc; status=$?; rm -f \"$out\"; exit $status"
      webfont_data $<TARGET_FILE:webfont>
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endif()
