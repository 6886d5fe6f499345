// platform.cpp -- the program's place in a web page: its data, F12's pictures and the sync table as downloads
//
// On the desktop these live in the file system (desktop/, player/synctable.cpp); here the page
// has put the data files into the program's own file system before start-up, and what the
// program saves goes to the browser's downloads.
#include "desktop.h"
#include "player.h"

#include <GL/gl.h>
#include <emscripten.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

static bool screenshotAsked;  // F12 or the page's button: the next finished frame is saved
static char *tableText;       // the sync table as text, kept for the page until the next request
bool syncTableLost;           // a download is never lost: always false here

const std::string &dataFolder() {
    static const std::string folder = "data";
    return folder;
}

std::string dataPath(const char *path) {
    return path;
}

// The page fetched every file its list names before it started the program, and said which
// one it could not have; a file missing all the same is reported by its loader.
bool requireDataFolder() {
    return true;
}

void requestScreenshot() {
    screenshotAsked = true;
}

// Called with the finished frame in the canvas's drawing buffer, before the browser shows it:
// the canvas's own PNG is the picture as seen, status line included.
void saveScreenshotIfAsked(int, int) {
    if (!screenshotAsked)
        return;
    screenshotAsked = false;
    char name[64];
    time_t now = time(nullptr);
    strftime(name, sizeof name, "vortazov-%Y%m%d-%H%M%S.png", localtime(&now));
    // the frame's drawing is sent to WebGL at the swap; the canvas holds it only after that
    glFinish();
    EM_ASM({
        const name = UTF8ToString($0);
        Module.canvas.toBlob((blob) => Module.saveFile(name, blob), 'image/png');
    }, name);
    printf("picture saved as %s (a download)\n", name);
    fflush(stdout);
}

// A download never replaces an earlier table: there is nothing to note.
void noteSyncTables() {
}

// The table in the desktop's format, as the page offers it.
static const char *syncTableAsText() {
    free(tableText);
    tableText = nullptr;
    size_t length = 0;
    FILE *text = open_memstream(&tableText, &length);
    if (!text)
        return "";
    // the count first, then the array, which then holds at least that many (see player.h)
    int count = syncCount.load(std::memory_order_acquire);
    const int *positions = syncPositions.load(std::memory_order_acquire);
    printSyncTable(text, positions, count);
    fclose(text);
    return tableText ? tableText : "";
}

// At shutdown, as the desktop writes "endpart.snc": the page offers it as a download.
void writeSyncTable() {
    if (!endPartActive || syncCount <= 0)
        return;
    EM_ASM({ Module.saveFile('endpart.snc', new Blob([UTF8ToString($0)], {type: 'text/plain'})); },
           syncTableAsText());
}

extern "C" {

EMSCRIPTEN_KEEPALIVE const char *webSyncTableText() {
    return syncTableAsText();
}

EMSCRIPTEN_KEEPALIVE int webSyncCount() {
    return syncCount;
}

EMSCRIPTEN_KEEPALIVE void webRequestScreenshot() {
    requestScreenshot();
}

}  // extern "C"
