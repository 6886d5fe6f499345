// wholefile.cpp -- reads a whole file into memory, with the one size cap every reader of files shares
#include "wholefile.h"

#include "loadfailures.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

// Reads into bytes in blocks of `block` until the file ends or passes the limit.
static std::string readBlocks(FILE *f, size_t block, std::vector<uint8_t> &bytes) {
    try {
        for (;;) {
            size_t used = bytes.size();
            bytes.resize(used + block);
            size_t n = fread(bytes.data() + used, 1, block, f);
            bytes.resize(used + n);
            if (ferror(f))
                return strerror(errno);
            if (int64_t(bytes.size()) > WHOLE_FILE_LIMIT)
                return "file too large (over " + std::to_string(WHOLE_FILE_LIMIT) + " bytes)";
            if (n < block)
                return "";
        }
    } catch (const std::bad_alloc &) {
        return "out of memory";
    }
}

// What a path that is not a regular file is instead: reading a named pipe waits for a writer
// that may never come, and a device may never end.
static const char *notRegular(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder, not a file";
    if (S_ISFIFO(mode))
        return "a named pipe (FIFO), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device, not a regular file";
    if (S_ISSOCK(mode))
        return "a socket, not a regular file";
    return "not a regular file";
}

std::string readWholeFile(const char *path, std::vector<uint8_t> &bytes) {
    bytes.clear();
    // Opened without waiting: opening a named pipe for reading would otherwise wait for a
    // writer, and no signal could end that wait. What is opened is then looked at before
    // anything is read from it.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return strerror(errno);
    struct stat info;
    if (fstat(fd, &info) != 0) {
        int error = errno;
        close(fd);
        return strerror(error);
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return notRegular(info.st_mode);
    }
    if (info.st_size > WHOLE_FILE_LIMIT) {
        close(fd);
        return "file too large (" + std::to_string(int64_t(info.st_size)) + " bytes)";
    }
    FILE *f = fdopen(fd, "rb");
    if (!f) {
        int error = errno;
        close(fd);
        return strerror(error);
    }
    // A regular file tells its size and is taken in one read; one byte more is asked for,
    // so that a file that grew since fstat is still read to its end. A file that says it is
    // empty (as those of /proc do) is read in blocks until it stops or passes the limit.
    size_t block = info.st_size > 0 ? size_t(info.st_size) + 1 : 65536;
    std::string why = readBlocks(f, block, bytes);
    fclose(f);
    if (!why.empty())
        std::vector<uint8_t>().swap(bytes);
    return why;
}

bool readAssetFile(const char *path, std::vector<uint8_t> &bytes) {
    std::string why = readWholeFile(path, bytes);
    if (why.empty())
        return true;
    reportLoadFailure(path, why);
    return false;
}
