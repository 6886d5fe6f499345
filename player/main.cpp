// main.cpp -- the presentation's entry point: start up, then hand over to GLUT's main loop
#include "player.h"

#include <GL/freeglut.h>
#include <cstdlib>

int main(int argc, char **argv) {
    catchQuitSignals();
    startDemo(&argc, argv);
    glutMainLoop();
    // only a closed window gets here; every other exit leaves from its own callback
    shutdownDemo();
    return 0;
}
