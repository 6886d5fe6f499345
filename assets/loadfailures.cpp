// loadfailures.cpp -- data files that could not be used: each named on standard error, all listed at the end
#include "loadfailures.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

static std::mutex failuresLock;         // guards failedFiles
static std::vector<std::string> failedFiles;  // reported files, each once, in report order

// Every byte below space, DEL, and with `highToo` every byte above 0x7E, as \xNN.
static std::string escapeBytes(const std::string &text, bool highToo) {
    std::string shown;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || (highToo && c > 0x7F)) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += char(c);
        }
    }
    return shown;
}

std::string printableText(const std::string &text) {
    return escapeBytes(text, true);
}

std::string printablePath(const std::string &path) {
    return escapeBytes(path, false);
}

void reportLoadFailure(const std::string &file, const std::string &why) {
    // Control characters (a newline, an escape sequence) would break the line or the terminal;
    // other bytes of a path may be the UTF-8 of a folder's name and are kept.
    fprintf(stderr, "%s: %s\n", printablePath(file).c_str(), escapeBytes(why, false).c_str());
    fflush(stderr);
    std::lock_guard<std::mutex> lock(failuresLock);
    if (std::find(failedFiles.begin(), failedFiles.end(), file) == failedFiles.end())
        failedFiles.push_back(file);
}

std::vector<std::string> loadFailures() {
    std::lock_guard<std::mutex> lock(failuresLock);
    return failedFiles;
}

bool loadFailed(const std::string &file) {
    std::lock_guard<std::mutex> lock(failuresLock);
    return std::find(failedFiles.begin(), failedFiles.end(), file) != failedFiles.end();
}
