// endpart.cpp -- the end part's word scroller and the SPACE sync recorder
#include "player.h"
#include "scenes.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

// One word per row, each current from its stream byte position until the next word's.
// The positions fall on notes of the end-part music.
const endScrolltext endscrollText[] = {
#include "endwords.inc"
};
const int endscrollCount = sizeof endscrollText / sizeof endscrollText[0];

int endscrollIndex = -1;  // current word, -1 before the first
int lastClearPosition;    // stream position of the last colour clear
int syncCount;            // recorded positions
int *syncPositions;       // recorded positions in press order, grown as needed
static int syncCapacity;  // room in syncPositions

void endPart(int position) {
    glClear(GL_DEPTH_BUFFER_BIT);
    if (position - lastClearPosition > 6000) {
        glClear(GL_COLOR_BUFFER_BIT);
        lastClearPosition = position;
    }
    glColor4f(1, 1, 0, 0.1f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glShadeModel(GL_FLAT);

    // past the last row the table's end counts as a row without text
    if (endscrollIndex + 1 >= endscrollCount || position >= endscrollText[endscrollIndex + 1].position)
        endscrollIndex++;
    if (endscrollIndex == -1)
        return;
    if (endscrollIndex >= endscrollCount || !endscrollText[endscrollIndex].text) {
        shutdownDemo();
        endProgram(0);
        return;
    }

    letterPhase = frameCounter;
    const endScrolltext &word = endscrollText[endscrollIndex];
    drawWord(word.text, word.x, word.y);
}

void recordSyncPoint() {
    if (!endPartActive)
        return;
    if (syncCount == syncCapacity) {
        int capacity = syncCapacity ? syncCapacity * 2 : 1024;
        int *grown = (int *)realloc(syncPositions, capacity * sizeof(int));
        if (!grown) {
            printf("out of memory: sync point %d not recorded\n", syncCount + 1);
            fflush(stdout);
            return;
        }
        syncPositions = grown;
        syncCapacity = capacity;
    }
    syncPositions[syncCount++] = int(BASS_StreamGetFilePosition(streamHandle, 0));
}

void printSyncTable(FILE *file, const int *positions, int count) {
    fprintf(file, "endScrolltext endscrollText[] = {\n");
    for (int i = 0; i < count; i++)
        fprintf(file, "%c\n\t{0.0f, 0.0f, %d,\t\t\"\"}", i == 0 ? ' ' : ',', positions[i]);
    fprintf(file, "\n};");
}
