// web_moments.cpp -- prints the moments the web page's test looks at: each scene's, the end part's
//
// One line each, "NAME SECONDS": every timeline row at the order and row SceneTable shows it
// at, "switch" where the timeline ends and the end part begins, and "endpart" six seconds into
// it, when its first words have been shown. Seconds from the module's start, as libopenmpt
// times the rows; run from the project root (data/compruss.xm).
#include "timeline.h"

#include <libopenmpt/libopenmpt.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main() {
    std::ifstream file("data/compruss.xm", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        fprintf(stderr, "web_moments: data/compruss.xm not found (run from the project root)\n");
        return 1;
    }
    openmpt::module module(bytes);
    // a frame's position is the music heard when it begins: a moment just past the row's start
    // is drawn with that row on every path
    const double past = 0.02;
    for (int i = 0; SceneTable[i].render; i++)
        printf("%s %.3f\n", SceneTable[i].name,
               module.set_position_order_row(SceneTable[i].showOrder, SceneTable[i].showRow) + past);
    double end = module.set_position_order_row(TIMELINE_END_ORDER, TIMELINE_END_ROW);
    printf("switch %.3f\nendpart %.3f\n", end, end + 6.0);
    return 0;
}
