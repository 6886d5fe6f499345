// endpart.cpp -- the end part's word scroller and the SPACE sync recorder
#include "player.h"
#include "scenes.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// One word per row, each current from its stream byte position until the next word's.
// The positions fall on notes of the end-part music.
const endScrolltext endscrollText[] = {
#include "endwords.inc"
};
const int endscrollCount = sizeof endscrollText / sizeof endscrollText[0];

int endscrollIndex = -1;  // current word, -1 before the first
int lastClearPosition;    // stream position of the last colour clear
std::atomic<int> syncCount;        // recorded positions
std::atomic<int *> syncPositions;  // recorded positions in press order, grown as needed
static int syncCapacity;           // room in syncPositions
// The arrays syncPositions outgrew: a reader on another thread may still be reading one, so
// none is freed. Each is half the next, so together they hold less than the one in use.
static int *outgrownPositions[32];
static int outgrownCount;  // arrays in outgrownPositions

void endPart(int position) {
    glClear(GL_DEPTH_BUFFER_BIT);
    if (position - lastClearPosition > 6000) {
        glClear(GL_COLOR_BUFFER_BIT);
        lastClearPosition = position;
    }
    // before any return: the status line is drawn in this blend too
    beginWords(END_WORD_ALPHA);

    // past the last row the table's end counts as a row without text
    if (endscrollIndex + 1 >= endscrollCount || position >= endscrollText[endscrollIndex + 1].position)
        endscrollIndex++;
    if (endscrollIndex == -1)
        return;
    if (endscrollIndex >= endscrollCount || !endscrollText[endscrollIndex].text) {
        shutdownDemo();
        endProgram(endStatus());
        return;
    }

    const endScrolltext &word = endscrollText[endscrollIndex];
    drawWord(word.text, word.x, word.y);
}

void recordSyncPoint() {
    if (!endPartActive)
        return;
    int count = syncCount.load(std::memory_order_relaxed);  // only this thread writes it
    int *positions = syncPositions.load(std::memory_order_relaxed);
    if (count == syncCapacity) {
        int capacity = syncCapacity ? syncCapacity * 2 : 1024;
        int *grown = outgrownCount < 32 ? (int *)malloc(capacity * sizeof(int)) : nullptr;
        if (!grown) {
            printf("out of memory: sync point %d not recorded\n", count + 1);
            fflush(stdout);
            return;
        }
        if (count > 0)
            memcpy(grown, positions, count * sizeof(int));
        syncPositions.store(grown, std::memory_order_release);
        if (positions)
            outgrownPositions[outgrownCount++] = positions;
        positions = grown;
        syncCapacity = capacity;
    }
    positions[count] = int(BASS_StreamGetFilePosition(streamHandle, 0));
    syncCount.store(count + 1, std::memory_order_release);
}

void printSyncTable(FILE *file, const int *positions, int count) {
    fprintf(file, "endScrolltext endscrollText[] = {\n");
    for (int i = 0; i < count; i++)
        fprintf(file, "%c\n\t{0.0f, 0.0f, %d,\t\t\"\"}", i == 0 ? ' ' : ',', positions[i]);
    fprintf(file, "\n};");
}
