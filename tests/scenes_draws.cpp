// scenes_draws.cpp -- every run of the scenes draws the same random sequence
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

#include <algorithm>
#include <cstdio>
#include <string>

// Runs the initialisers and some frames of every scene that draws random values, as the
// program does from start-up (no reseeding), and prints every drawn value that stays in the
// scenes' state. Called in a fresh process by the test below.
int printSceneDraws() {
    missileModel = new LwoObject("../shared/testdata/lwo2/hierarchy.lwo");
    initMissiles();
    initSirppijavasara();
    for (int frame = 0; frame < 3; frame++)
        samovarScene(4, 4, 0);  // the balalaika's draws go to GL only, but move the sequence
    for (int row : {0, 0, 1, 8, 9, 16}) {
        sirppijavasaraScene(6, row, 0);
        for (int i = 0; i < SWARM_COPIES; i++)
            printf("draw swarm %.9g %.9g %.9g %.9g %.9g\n", scaleX[i], scaleY[i], scaleZ[i],
                   offsetX[i], offsetY[i]);
    }
    for (int i = 0; i < MISSILE_COUNT; i += 7)
        missileTravel[i] = 7.5f;
    missileScene(16, 0, 0);
    for (int i = 0; i < MISSILE_COUNT; i++)
        printf("draw missile %.9g %.9g %.9g\n", missileX[i], missileZ[i], missileTravel[i]);
    printf("draw next %d\n", randomValue());
    return 0;
}

static std::string runDraws() {
    std::string command = testProgram + " --print-draws";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "";
    std::string lines;
    char line[512];
    while (fgets(line, sizeof line, pipe))
        if (std::string(line).rfind("draw ", 0) == 0)
            lines += line;
    pclose(pipe);
    return lines;
}

TEST(SceneDraws, TwoRunsDrawTheSameSequence) {
    std::string first = runDraws();
    std::string second = runDraws();
    // 6 swarm layouts of 10 copies, 50 missiles, the next value
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 6 * 10 + 50 + 1);
    EXPECT_EQ(first, second);
}
