// endpart.cpp -- the end part's word scroller and the SPACE sync recorder
#include "player.h"
#include "scenes.h"

#include <GL/gl.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

// The table goes to a temporary file that replaces "endpart.snc" only once it is complete,
// so a crash or a full disk never leaves half a table; if it cannot be written, the
// positions go to standard output instead. The temporary file is always created new under a
// unique name: opening a fixed name would follow whatever a leftover of that name points at.
void writeSyncTable() {
    if (!endPartActive || syncCount <= 0)
        return;
    const char *path = "endpart.snc";
    char temporary[] = "endpart.snc.XXXXXX";
    bool written = false;
    int error = 0;
    int fd = mkstemp(temporary);
    FILE *file = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (file) {
        // mkstemp makes the file private; the table gets the permissions any new file would
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        printSyncTable(file, syncPositions, syncCount);
        written = !ferror(file);
        if (!written)
            error = errno;
        if (fclose(file) != 0 && written) {
            written = false;
            error = errno;
        }
        if (written && rename(temporary, path) != 0) {
            written = false;
            error = errno;
        }
        if (!written)
            remove(temporary);
    } else {
        error = errno;
        if (fd >= 0) {
            close(fd);
            remove(temporary);
        }
    }
    if (!written) {
        printf("could not write %s: %s; the sync table follows\n", path, strerror(error));
        printSyncTable(stdout, syncPositions, syncCount);
        printf("\n");
        fflush(stdout);
    }
}
