// readfile.h -- reads a whole file into memory for the asset readers
#pragma once
#include <cstddef>

// The largest file a reader takes in (bytes); anything bigger is not one of our assets.
const size_t MAX_ASSET_FILE = size_t(1) << 30;

// Reads the file at path into a new[] buffer with one block read and returns it, with
// its size in *size. On failure prints one line naming the file and the reason and
// returns null. An empty file gives a valid buffer and size 0.
unsigned char *readWholeFile(const char *path, size_t *size);
