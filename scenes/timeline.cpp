// timeline.cpp -- SceneTable: the scenes in the order the module calls for them
#include "timeline.h"

const SceneEntry SceneTable[] = {
    // order, row, render, name, initialiser and its turn, keeps the picture, shown at order and row
    {0, 0, captionScene, "captions", nullptr, 0, true, 1, 14},
    {4, 0, samovarScene, "samovar", nullptr, 0, false, 4, 4},
    {6, 0, sirppijavasaraScene, "sirppijavasara", initSirppijavasara, 3, true, 6, 10},
    {8, 0, portraitScene, "portraits", initPortraits, 4, true, 8, 16},
    {10, 0, ripaskaScene, "ripaska", initRipaska, 1, false, 12, 6},
    {14, 0, spiralScene, "spiral", nullptr, 0, true, 14, 10},
    {16, 0, missileScene, "missiles", initMissiles, 2, true, 16, 14},
    {TIMELINE_END_ORDER, TIMELINE_END_ROW + 1, nullptr},  // order 20 row 63
};
