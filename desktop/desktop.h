// desktop.h -- the program's place on a desktop: where its data lies, screenshots, the window's class and icon
#pragma once
#include <string>

// The data folder: "data" in the working directory when it holds the presentation's files,
// else the install's data folder; empty when neither does. Looked up once, on first use.
const std::string &dataFolder();
// A data file's path: `path` is written "data/...", as the files lie in the source tree; the
// result names it under the data folder found (unchanged when none was found, so a missing
// file is reported by its loader as before).
std::string dataPath(const char *path);
// True when a data folder was found; otherwise says on standard error where it looked, what
// was wrong with each place (not there, a file, a loop of links, ...) and how to fix that.
bool requireDataFolder();

// F12: the next finished frame is saved as a PNG.
void requestScreenshot();
// Called with the finished frame (status line included) in the back buffer, before the swap:
// when asked, saves its width x height pixels as "vortazov-DATE-TIME.png" in the working
// directory, or where that cannot be written in $XDG_PICTURES_DIR or the home folder, and
// prints the path.
void saveScreenshotIfAsked(int width, int height);

// The window's class ("vortazov", as the desktop file's StartupWMClass says) and icon, set on
// the current GLUT window through Xlib; nothing happens off X11.
void setWindowIdentity();
