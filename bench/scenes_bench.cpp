// scenes_bench.cpp -- each timeline scene through the program's frame path against a bare loop
// that calls only the scene, interleaved row by row in one run; prints one ratio per scene.
//
// The end part is measured the same way after the scenes, over the real end-part stream.
//
// Run from the project root (where data/ lies), under a display:
//   xvfb-run -a build/bench/bench_scenes [frames per row]
// Columns: frames per second of the bare loop, of the scene drawn into the picture and copied
// (the picture alone), and of the whole frame path; "copy" and "ratio" are the last two over
// the bare loop, so the flash and status line cost the difference between them.
// The module position comes from the audio engine's pull back-end playing the silent module
// of benchmodule.cpp, so the frame path sees exactly the order and row each batch is meant for.
#include "audio.h"
#include "benchmodule.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"

#include <GL/freeglut.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

static const int ROWS = ORDER_ROWS;  // the whole order, flash rows included

static double secondsOf(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

static void ignoreEnd(int) {
}

// The end part's words, bare (endPart and the swap) against the frame path, over 64 steps of
// 0.12 s of the stream from its first word on.
static void benchEndPart(int framesPerRow) {
    streamHandle = BASS_StreamCreateFile(0, "data/farewell.mp3", 0, 0, 0);
    if (!streamHandle) {
        printf("end part: data/farewell.mp3 did not load\n");
        return;
    }
    endProgram = ignoreEnd;
    BASS_StreamPlay(streamHandle, 1, 0);
    endPartActive = true;
    endscrollIndex = -1;
    int64_t start = audioRenderedFrames() + 4 * 44100;  // the first word comes after 4.2 s
    Clock::duration bare{}, framed{};
    for (int step = 0; step < ROWS; step++) {
        audioPullTo(start + step * FRAMES_PER_ROW, nullptr);
        int position = int(BASS_StreamGetFilePosition(streamHandle, 0));
        for (int turn = 0; turn < 2; turn++) {
            int loop = (step + turn) % 2;
            glFinish();
            Clock::time_point begin = Clock::now();
            for (int f = 0; f < framesPerRow; f++) {
                if (loop == 0) {
                    endPart(position);
                    glutSwapBuffers();
                    frameCounter++;
                } else {
                    displayFrame();
                }
            }
            glFinish();
            (loop == 0 ? bare : framed) += Clock::now() - begin;
        }
    }
    int frames = framesPerRow * ROWS;
    double bareFps = frames / secondsOf(bare), framedFps = frames / secondsOf(framed);
    printf("%-16s %10.1f %10s %10.1f %8s %8.2f\n", "end part", bareFps, "-", framedFps, "-",
           framedFps / bareFps);
}

int main(int argc, char **argv) {
    int framesPerRow = argc > 1 ? atoi(argv[1]) : 8;
    if (framesPerRow <= 0)
        framesPerRow = 8;

    if (!startBenchPresentation(&argc, argv))
        return 1;
    // unpaced: the frame path is measured as fast as it goes, the swap never waits for a display
    setPacing(false);
    initEffects();
    reshapeView(640, 480);
    BASS_MusicPlay(musicHandle);
    if (!samovarModel || samovarModel->polygonCount == 0)
        printf("note: the models did not load (run from the project root with data/ built); "
               "the scenes draw nothing but their clears\n");

    printf("\n%d frames per row, rows 0 to %d of each scene's order\n", framesPerRow, ROWS - 1);
    printf("%-16s %10s %10s %10s %8s %8s\n", "scene", "bare fps", "copy fps", "frame fps",
           "copy", "ratio");
    // each scene over the rows of the order it shows itself in
    for (int tableRow = 0; SceneTable[tableRow].render; tableRow++) {
        const SceneEntry &scene = SceneTable[tableRow];
        RenderFunction render = scene.render;
        int order = scene.showOrder;
        sceneIndex = tableRow;
        Clock::duration bare{}, copied{}, framed{};
        for (int row = 0; row < ROWS; row++) {
            // outside the timing: the module moves to this row
            audioPullTo(int64_t(rowsFromStart(order, row)) * FRAMES_PER_ROW + 16, nullptr);

            // the three loops take turns going first, so drift and cache effects spread evenly
            for (int turn = 0; turn < 3; turn++) {
                int loop = (row + turn) % 3;
                glFinish();
                Clock::time_point start = Clock::now();
                for (int f = 0; f < framesPerRow; f++) {
                    if (loop == 0) {
                        // bare: the scene into the back buffer, and the swap that shows it
                        render(order, row, 0);
                        glutSwapBuffers();
                        frameCounter++;
                    } else if (loop == 1) {
                        // the scene into the picture, copied to the back buffer, nothing else
                        pictureBegin(true);
                        render(order, row, 0);
                        pictureEnd();
                        glutSwapBuffers();
                        frameCounter++;
                    } else {
                        // the frame path: picture, scene, flash, status line, swap
                        displayFrame();
                    }
                }
                glFinish();
                Clock::duration took = Clock::now() - start;
                (loop == 0 ? bare : loop == 1 ? copied : framed) += took;
            }
        }
        if (sceneIndex != tableRow)
            printf("warning: the timeline moved to row %d during %s\n", sceneIndex, scene.name);
        int frames = framesPerRow * ROWS;
        double bareFps = frames / secondsOf(bare), copiedFps = frames / secondsOf(copied),
               framedFps = frames / secondsOf(framed);
        printf("%-16s %10.1f %10.1f %10.1f %8.2f %8.2f\n", scene.name, bareFps, copiedFps,
               framedFps, copiedFps / bareFps, framedFps / bareFps);
    }
    benchEndPart(framesPerRow);
    fflush(stdout);
    _exit(0);  // the shutdown sequence is not what is measured
}
