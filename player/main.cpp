// main.cpp -- the presentation's entry point: start up, then hand over to GLUT's main loop
#include "player.h"

int main(int argc, char **argv) {
    return runDemo(argc, argv);
}
