// datadir.cpp -- finds the data folder: the working directory's data/, else the install's
#include "desktop.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The data folder relative to the program's own folder, and the install's data folder as an
// absolute path; both fixed when the program is built.
#ifndef VORTAZOV_DATA_FROM_PROGRAM
#define VORTAZOV_DATA_FROM_PROGRAM "../share/games/vortazov/data"
#endif
#ifndef VORTAZOV_INSTALLED_DATA
#define VORTAZOV_INSTALLED_DATA "/usr/local/share/games/vortazov/data"
#endif

static std::string foundFolder;  // the data folder, empty when none was found
static bool looked;              // the folders have been looked at

// A folder counts as the data folder when it holds at least one of the presentation's files:
// an unrelated "data" folder in the home directory must not hide the installed data.
static bool holdsData(const std::string &folder) {
    for (const char *name : {"compruss.xm", "farewell.mp3", "3d", "textures", "particle.tga"})
        if (access((folder + "/" + name).c_str(), F_OK) == 0)
            return true;
    return false;
}

// The places looked at, in order: the working directory's data/, the folder beside the
// installed program (found through the running executable, so a relocated or staged install
// works too), then the install prefix the program was built for.
static std::vector<std::string> candidates() {
    std::vector<std::string> folders = {"data"};
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        char *slash = strrchr(self, '/');
        if (slash) {
            *slash = 0;
            std::string beside = std::string(self) + "/" + VORTAZOV_DATA_FROM_PROGRAM;
            char resolved[PATH_MAX];
            folders.push_back(realpath(beside.c_str(), resolved) ? resolved : beside);
        }
    }
    if (folders.back() != VORTAZOV_INSTALLED_DATA)
        folders.push_back(VORTAZOV_INSTALLED_DATA);
    return folders;
}

const std::string &dataFolder() {
    if (!looked) {
        looked = true;
        for (const std::string &folder : candidates())
            if (holdsData(folder)) {
                foundFolder = folder;
                break;
            }
    }
    return foundFolder;
}

std::string dataPath(const char *path) {
    const std::string &folder = dataFolder();
    if (folder.empty() || folder == "data" || strncmp(path, "data/", 5) != 0)
        return path;
    return folder + (path + 4);
}

// Why a folder looked at was not taken as the data folder, as a person can act on it.
static std::string whyNotData(const std::string &folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        int error = errno;
        if (error == ENOENT && lstat(folder.c_str(), &info) == 0)
            return "a symbolic link to nothing";
        if (error == ENOENT)
            return "not there";
        // a loop of links, a file where a folder should be on the way, no permission
        return std::string("cannot be resolved: ") + strerror(error);
    }
    if (!S_ISDIR(info.st_mode))
        return "a file, not a folder";
    if (access(folder.c_str(), X_OK) != 0)
        return std::string("cannot be looked into: ") + strerror(errno);
    return "holds none of the presentation's files";
}

bool requireDataFolder() {
    if (!dataFolder().empty())
        return true;
    char here[PATH_MAX];
    if (!getcwd(here, sizeof here))
        strcpy(here, ".");
    fprintf(stderr, "vortazov: the presentation's data was not found. Looked in:\n");
    for (const std::string &folder : candidates()) {
        std::string why = whyNotData(folder);
        if (folder == "data")
            fprintf(stderr, "  %s/data (the working directory's data/): %s\n", here, why.c_str());
        else if (folder == VORTAZOV_INSTALLED_DATA)
            fprintf(stderr, "  %s (the install's data folder): %s\n", folder.c_str(), why.c_str());
        else
            fprintf(stderr, "  %s (beside the program): %s\n", folder.c_str(), why.c_str());
    }
    fprintf(stderr, "Start vortazov from the folder that holds data/ (the source tree's root), or\n"
                    "install it (the Debian package, or cmake --install) so that its data lies in\n"
                    "%s.\n", VORTAZOV_INSTALLED_DATA);
    return false;
}
