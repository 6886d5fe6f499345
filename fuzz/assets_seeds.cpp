// assets_seeds.cpp -- writes the readers' hand-built test fixtures out as fuzzing seeds
#include <cstdio>
#include <string>

#include "assets_fixtures.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: assets_seeds LWO2_FOLDER TGA_FOLDER\n");
        return 2;
    }
    int written = 0;
    for (auto &f : lwoFixtures())
        writeFile(std::string(argv[1]) + "/" + f.first, f.second), written++;
    for (auto &f : tgaFixtures())
        writeFile(std::string(argv[2]) + "/" + f.first, f.second), written++;
    fprintf(stderr, "%d seeds written\n", written);
    return 0;
}
