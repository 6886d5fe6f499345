// synctable.cpp -- writes the recorded sync points to "endpart.snc" at shutdown, never losing a table
#include "player.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// "endpart.snc" as it was when the program started, in the working directory and in the
// state folder: a table found changed at shutdown was written by another run since, and is kept.
struct TableAtStart {
    bool noted;       // looked at; false keeps the plain overwrite
    bool exists;      // there was a table
    dev_t device;     // which file it was
    ino_t inode;
    timespec modified;
};
static TableAtStart tablesAtStart[2];
bool syncTableLost;

// The folder for tables that cannot be written in the working directory:
// $XDG_STATE_HOME/vortazov, or ~/.local/state/vortazov; empty without either.
static std::string stateFolder() {
    const char *state = getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/vortazov";
    const char *home = getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/vortazov";
    return "";
}

static std::string tablePath(int place) {
    if (place == 0)
        return "endpart.snc";
    std::string folder = stateFolder();
    return folder.empty() ? "" : folder + "/endpart.snc";
}

void noteSyncTables() {
    for (int place = 0; place < 2; place++) {
        TableAtStart &noted = tablesAtStart[place];
        struct stat info;
        noted = TableAtStart{};
        noted.noted = true;
        if (stat(tablePath(place).c_str(), &info) == 0) {
            noted.exists = true;
            noted.device = info.st_dev;
            noted.inode = info.st_ino;
            noted.modified = info.st_mtim;
        }
    }
}

static bool replacedSinceStart(const std::string &path, const TableAtStart &noted) {
    struct stat info;
    if (!noted.noted || stat(path.c_str(), &info) != 0)
        return false;
    return !noted.exists || info.st_dev != noted.device || info.st_ino != noted.inode ||
           info.st_mtim.tv_sec != noted.modified.tv_sec || info.st_mtim.tv_nsec != noted.modified.tv_nsec;
}

// Creates `folder` and its missing parents, private as the state folder should be.
static bool makeFolders(const std::string &folder) {
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        if (mkdir(folder.substr(0, end).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (end == std::string::npos)
            break;
    }
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Writes the table as `path` through a temporary file that replaces it only once complete, so
// a crash or a full disk never leaves half a table. The temporary file is always created new
// under a unique name: opening a fixed name would follow whatever a leftover of that name points
// at. When another run has replaced `path` since this one started, the table goes under the
// first free numbered name beside it ("endpart-2.snc", ...), linked so that no file is overwritten.
// Sets `written` to the name used; on failure returns false with errno set.
static bool writeTableAs(const std::string &path, const TableAtStart &noted, const int *positions, int count,
                         std::string &written) {
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);
    FILE *file = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!file) {
        int error = errno;
        if (fd >= 0) {
            close(fd);
            remove(temporary.c_str());
        }
        errno = error;
        return false;
    }
    // mkstemp makes the file private; the table gets the permissions any new file would
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    printSyncTable(file, positions, count);
    bool ok = !ferror(file);
    int error = ok ? 0 : errno;
    if (fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    written = path;
    if (ok && replacedSinceStart(path, noted)) {
        std::string stem = path.substr(0, path.size() - 4);  // without ".snc"
        ok = false;
        error = EEXIST;
        for (int n = 2; n < 10000 && !ok && error == EEXIST; n++) {
            written = stem + "-" + std::to_string(n) + ".snc";
            ok = link(temporary.c_str(), written.c_str()) == 0;
            error = ok ? 0 : errno;
        }
        remove(temporary.c_str());
    } else if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok)
        remove(temporary.c_str());
    errno = error;
    return ok;
}

// The table goes to "endpart.snc" in the working directory; where that cannot be written, to
// the state folder, and standard error says where (a launcher's standard output goes nowhere).
// Only when both fail is it printed, on standard error and standard output, and the program
// then ends with status 1.
void writeSyncTable() {
    // the count first, then the array, which then holds at least that many (see player.h)
    int count = syncCount.load(std::memory_order_acquire);
    if (count <= 0)
        return;
    const int *positions = syncPositions.load(std::memory_order_acquire);
    std::string written;
    if (writeTableAs("endpart.snc", tablesAtStart[0], positions, count, written)) {
        if (written != "endpart.snc")
            fprintf(stderr, "endpart.snc was written by another run since this one started; "
                            "this run's sync table is in %s\n", written.c_str());
        return;
    }
    std::string reason = strerror(errno);
    std::string fallback = tablePath(1);
    std::string fallbackReason = "no state folder ($XDG_STATE_HOME and $HOME are unset)";
    if (!fallback.empty()) {
        if (makeFolders(stateFolder()) && writeTableAs(fallback, tablesAtStart[1], positions, count, written)) {
            fprintf(stderr, "could not write endpart.snc here (%s); the sync table is in %s\n",
                    reason.c_str(), written.c_str());
            return;
        }
        fallbackReason = fallback + ": " + strerror(errno);
    }
    syncTableLost = true;
    for (FILE *out : {stderr, stdout}) {
        fprintf(out, "could not write endpart.snc: %s, nor %s; the sync table follows\n", reason.c_str(),
                fallbackReason.c_str());
        printSyncTable(out, positions, count);
        fprintf(out, "\n");
        fflush(out);
    }
}
