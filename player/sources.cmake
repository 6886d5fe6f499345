# The player's sources: those that every build of the presentation compiles (the desktop
# program and the web page), and those that talk to the desktop itself (GLX, X11, freeglut's
# own extensions, the file system's places for the sync table, the process's signals).
set(PLAYER_SHARED_SOURCES startup.cpp frame.cpp view.cpp endpart.cpp picture.cpp picturesize.cpp)
set(PLAYER_DESKTOP_SOURCES display.cpp exits.cpp pace.cpp quit.cpp synctable.cpp)
