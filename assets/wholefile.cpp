// wholefile.cpp -- reads a whole file into memory, with the one size cap every reader of files shares
#include "wholefile.h"

#include <sys/stat.h>

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

std::string readWholeFile(const char *path, std::vector<uint8_t> &bytes, bool *opened) {
    bytes.clear();
    if (opened)
        *opened = false;
    FILE *f = fopen(path, "rb");
    if (!f)
        return strerror(errno);
    if (opened)
        *opened = true;
    struct stat info;
    int error = fstat(fileno(f), &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (error) {
        fclose(f);
        return strerror(error);
    }
    if (S_ISREG(info.st_mode) && info.st_size > WHOLE_FILE_LIMIT) {
        fclose(f);
        return "file too large (" + std::to_string(int64_t(info.st_size)) + " bytes)";
    }
    // A regular file tells its size and is taken in one read; one byte more is asked for,
    // so that a file that grew since fstat is still read to its end. A pipe or a device
    // (or a file that says it is empty) has no size to trust and is read in blocks until
    // it stops or passes the limit.
    bool sized = S_ISREG(info.st_mode) && info.st_size > 0;
    size_t block = sized ? size_t(info.st_size) + 1 : 65536;
    std::string why = readBlocks(f, block, bytes);
    fclose(f);
    if (!why.empty())
        std::vector<uint8_t>().swap(bytes);
    return why;
}

bool readAssetFile(const char *path, std::vector<uint8_t> &bytes) {
    bool opened;
    std::string why = readWholeFile(path, bytes, &opened);
    if (why.empty())
        return true;
    printf("cannot %s %s: %s\n", opened ? "read" : "open", path, why.c_str());
    fflush(stdout);
    return false;
}
