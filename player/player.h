// player.h -- the player's shared state: start-up, frame driver, view and end part
#pragma once
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "bass.h"
#include "endwords.h"
#include "timeline.h"

// start-up and shutdown
extern HMUSIC musicHandle;    // the module, 0 when it failed to load
extern HSTREAM streamHandle;  // the end-part stream, 0 until opened or when it failed
// "FILE: WHY" of the music (module or stream) that could not be played, as the window shows
// it; empty while all played.
extern std::string musicFailure;
// Music that would not load: the message on standard output, the file and the reason on
// standard error (and in musicFailure).
void reportMusicMissing(const char *path);
// The status the normal exits (Escape, the end of the stream or of the words, a closed
// window) end with: 0, or 1 when a data file could not be loaded or the sync table could only
// be printed, so that no broken run looks like a success.
int endStatus();
// One line on standard error naming every data file that could not be loaded; nothing when
// all were. The shutdown ends with it.
void reportUnloadedFiles();
void initSound();
void startDemo(int *argc, char **argv);  // start-up up to the main loop
// Opens the window (GLUT initialised, the GL context current) and starts the pacing; where
// the platform has a close button, closing runs windowClosed.
void openWindow(int *argc, char **argv);
// The whole run: start-up, the main loop, the shutdown; the display's failures end it with
// status 1 and a message. Returns the exit status.
int runDemo(int argc, char **argv);
// The end of the show, once, by whichever exit comes first: the sync table written, the files
// that could not be loaded listed, the sound stopped. False (after waiting for the watchdog, if
// it has the shutdown) when another exit had begun it.
bool stopShow();
// stopShow, then the scenes' GL objects released.
void shutdownDemo();
// Who runs the shutdown: the exits on the main thread (shutdownDemo), or the signal watchdog
// when the main thread is stuck.
enum ShutdownBy { SHUTDOWN_BY_NONE, SHUTDOWN_BY_MAIN, SHUTDOWN_BY_WATCHDOG };
// True for the first claim only: that caller runs the shutdown. Any thread.
bool claimShutdown(ShutdownBy by);
// When the watchdog runs the shutdown, waits for it to end the process (it is writing the sync
// table); returns at once otherwise.
void awaitWatchdog();
// The signal (SIGINT, SIGTERM or SIGHUP) that asked the program to end, 0 until one does. The
// handler only sets it; the next frame runs the shutdown on the main thread.
extern volatile sig_atomic_t quitSignal;
// Catches those signals, and starts the watchdog that ends the process within two seconds of
// one, with the sync points recorded so far written, when the main thread cannot (stuck in a
// system call, or on a frozen X server).
void catchQuitSignals();
// After shutdownDemo: ends the process as the signal would have.
void endBySignal(int sig);

// frame driver (the timeline it walks, SceneTable, is the scenes')
extern int sceneIndex;         // current SceneTable row, -1 before the first
extern bool endPartActive;     // true from the switch to the end part on
extern int elapsedMs;          // GLUT's elapsed milliseconds, read once per frame
extern int fpsFrames;          // frames since the last frame-rate update
extern int fpsLastTime;        // elapsedMs of the last frame-rate update
extern char statusText[256];   // the status line
void displayFrame();
void keyPressed(unsigned char key, int x, int y);
void windowClosed();

// The clock the frame driver reads; GLUT's elapsed time unless a capture drives it.
extern int (*readClock)();
// Ends the process after shutdownDemo: exit, unless a test or the capture watches the way out.
extern void (*endProgram)(int status);
// Called with the finished frame in the back buffer (status line included), before the swap.
extern void (*frameFinished)();
// Shows the finished frame: the window's buffer swap, unless a capture, which reads its frames
// back and shows them to no one, leaves it out.
extern void (*presentFrame)();

// frame pacing: the live loop shows 60 frames a second, the rate the scenes' per-frame
// animation and trails were tuned for, whatever the display's refresh rate
void initPacing();           // after the window exists: asks for vsync, starts the ticks
// false: frames run back to back and the swap does not wait for the display (the capture,
// which keeps its own clock, and benchmarks that measure the unpaced loop)
void setPacing(bool paced);
bool pacingVsync();          // the swap waits for the display's refresh
void pacedFrame();           // display and idle callback: waits for the frame's tick, then displayFrame
// true: the position a paced frame draws is the one heard when it is swapped, not when it
// began (false only for a benchmark that measures the difference)
extern bool lookAheadToSwap;

// view, projection and overlay
extern int windowWidth, windowHeight;  // pixels, from the last reshape
extern float aspectRatio;
extern const float cameraPosition[3];
extern const float cameraDirection[3];
void reshapeView(int width, int height);
void specialKeyPressed(int key, int x, int y);
// F11: fullscreen and back; the pointer is hidden while fullscreen.
void toggleFullScreen();
// The status line's pixels per font pixel: the desktop's integer scale where it has one. The
// overlay's units are that many window pixels, and drawString zooms the glyphs to match.
extern int textScale;
int desktopScale();  // from the X resource Xft.dpi, 1 where none is set; before the window opens
// The integer scale for a desktop's dots per inch (96 is 1:1) whose 640 x 480 window, scaled,
// still fits on a screen of the given size.
int scaleForDpi(double dpi, int screenWidth, int screenHeight);
void beginOverlay();
void endOverlay();
void drawString(float x, float y, int spacing, void *font, const char *text);
// The status line: `text` in black, 10 pixels from the window's left and top edges, over
// whatever the frame drew.
void drawStatusLine(const char *text);

// end part and sync recorder
extern const endScrolltext endscrollText[];
extern const int endscrollCount;  // rows of endscrollText
extern int endscrollIndex;        // current word, -1 before the first
extern int lastClearPosition;     // stream position of the last colour clear
// The recorder stores a position, then publishes the count (release); a reader on another
// thread (the signal watchdog) loads the count (acquire), then the array, which then holds
// at least that many: a grown array is published before the count that needs it, and the
// arrays it replaced are kept, never freed, so a reader never meets freed memory.
extern std::atomic<int> syncCount;        // recorded positions
extern std::atomic<int *> syncPositions;  // recorded positions, a growing array
void endPart(int position);
void recordSyncPoint();
// Writes the positions recorded so far (none outside the end part) to the sync table; safe
// on another thread while the main thread records (the signal watchdog's way).
void writeSyncTable();
// Notes the sync tables that exist at start-up, so that one another run writes meanwhile is
// never overwritten at shutdown.
void noteSyncTables();
// The sync table could be written nowhere (only printed): the program ends with status 1.
extern bool syncTableLost;
// Writes the sync table text for `count` positions to `file` (used for the file and for
// the fallback on standard output).
void printSyncTable(FILE *file, const int *positions, int count);

// the picture kept between colour clears (an off-screen framebuffer the scenes draw into)
// Binds the picture as this frame's draw target when `keep`; otherwise the frame is drawn
// straight into the back buffer (for scenes that clear the colour on every frame).
void pictureBegin(bool keep);
void pictureEnd();     // show the picture in the back buffer; overlay goes on top
void pictureResize(int width, int height);  // the window's size
// The picture is drawn at `scale` times the window's size and shown filtered to it: an
// integer above 1 supersamples (box-filtered down), below 1 draws fewer pixels, stretched up
// (at 1/N each pixel an N x N square).
void pictureSetScale(float scale);   // 1 by default
float pictureScale();
void pictureSize(int *width, int *height);  // pixels the scenes draw, the window's without a picture of our own
// Draws with `draw` into a new texture of the given size, cleared to transparent black, as the
// draw target with its own viewport; 0 where framebuffer objects are missing.
unsigned pictureRenderTexture(int width, int height, void (*draw)(int width, int height));

// the picture drawn smaller than a large window where the renderer cannot fill it in time
void setAdaptivePictureSize(bool on);    // on by default; off puts the window's size back
void pictureFrameTimed(double seconds);  // after each paced frame: its start to its swap's return
// The divisor of the window's size for the picture of the next frames, from the divisor in
// force, the slow end (90th percentile) of its frame times, its frame rate, and the largest
// divisor the window allows.
// Divisors are counted in quarters: 4 is the window's size, 9 a picture of 1/2.25 of it.
int adaptiveDivisor(int current, double slowMs, double framesPerSecond, int largest);
float smallestPictureScale(int width, int height);  // the smallest picture the window may have
