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
// True when a data folder was found; otherwise says on standard error where it looked and how
// to fix that.
bool requireDataFolder();

// F12: the next finished frame is saved as a PNG.
void requestScreenshot();
// Called with the finished frame in the back buffer, before the swap: saves it when asked.
void saveScreenshotIfAsked();
// Where a screenshot taken at `when` (seconds since the epoch) goes: the working directory when
// it can be written, else $XDG_PICTURES_DIR, else the home folder. Empty when none can be.
std::string screenshotPath(long long when);

// The window's class ("vortazov", as the desktop file's StartupWMClass says) and icon, set on
// the current GLUT window through Xlib; nothing happens off X11.
void setWindowIdentity();
