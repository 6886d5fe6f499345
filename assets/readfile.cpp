// readfile.cpp -- reads a whole file into memory for the asset readers
#include "readfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <new>
#include <sys/stat.h>

// Grows buf to hold at least need bytes, keeping the first used; false when out of memory.
static bool growBuffer(unsigned char **buf, size_t *capacity, size_t used, size_t need) {
    if (need <= *capacity)
        return true;
    size_t bigger = *capacity * 2 > need ? *capacity * 2 : need;
    unsigned char *copy = new (std::nothrow) unsigned char[bigger];
    if (!copy)
        return false;
    if (used)
        memcpy(copy, *buf, used);
    delete[] *buf;
    *buf = copy;
    *capacity = bigger;
    return true;
}

unsigned char *readWholeFile(const char *path, size_t *size) {
    *size = 0;
    FILE *file = fopen(path, "rb");
    if (!file) {
        printf("cannot open %s: %s\n", path, strerror(errno));
        fflush(stdout);
        return nullptr;
    }
    // A regular file tells its size, so it is read with one fread; anything else (a pipe,
    // a device) is read in blocks until it ends. One byte more than the size is asked
    // for, so that a file that grew since fstat is still read to its end.
    struct stat info;
    size_t capacity = 64 * 1024;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) {
        if (uint64_t(info.st_size) > MAX_ASSET_FILE) {
            printf("cannot read %s: file too large (%llu bytes)\n", path,
                   (unsigned long long)info.st_size);
            fflush(stdout);
            fclose(file);
            return nullptr;
        }
        capacity = size_t(info.st_size) + 1;
    }
    unsigned char *buf = new (std::nothrow) unsigned char[capacity];
    size_t used = 0;
    const char *problem = nullptr;
    while (buf) {
        used += fread(buf + used, 1, capacity - used, file);
        if (ferror(file)) {
            problem = strerror(errno);
            break;
        }
        if (used < capacity)
            break;  // end of file
        if (used >= MAX_ASSET_FILE) {
            problem = "file too large";
            break;
        }
        if (!growBuffer(&buf, &capacity, used, capacity * 2))
            problem = "out of memory";
        if (problem)
            break;
    }
    if (!buf)
        problem = "out of memory";
    fclose(file);
    if (problem) {
        printf("cannot read %s: %s\n", path, problem);
        fflush(stdout);
        delete[] buf;
        return nullptr;
    }
    *size = used;
    return buf;
}
