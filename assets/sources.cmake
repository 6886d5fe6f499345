# The readers' sources, for the desktop's libraries here and the web build's (web/CMakeLists.txt).
set(WHOLEFILE_SOURCES wholefile.cpp loadfailures.cpp)
set(ASSETS_SOURCES lwo2.cpp lwo2surface.cpp mesh.cpp tga.cpp)
