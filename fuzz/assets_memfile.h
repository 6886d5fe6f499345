// assets_memfile.h -- hands a fuzz input to a reader that takes a path, without a disk file
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The readers open files by path, so each input goes into one memory-backed file that
// is rewritten per input and opened as /proc/self/fd/N: the readers run exactly as they
// do on disk files, and nothing touches the disk.
inline const char *memoryFile(const uint8_t *data, size_t size) {
    static int fd = -1;
    static char path[64];
    if (fd < 0) {
        fd = memfd_create("asset", 0);
        if (fd < 0) {
            perror("memfd_create");
            abort();
        }
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    if (ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != (ssize_t)size)) {
        perror("memory file");
        abort();
    }
    return path;
}

// The readers print their dumps and messages; during fuzzing they go nowhere.
inline void silenceStdout() {
    if (!freopen("/dev/null", "w", stdout))
        abort();
}
