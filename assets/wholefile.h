// wholefile.h -- reads a whole file into memory, with the one size cap every reader of files shares
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The largest file read whole (bytes). The shipped files are a few megabytes; a larger one
// is not one of ours, and it is refused before it is read.
const int64_t WHOLE_FILE_LIMIT = int64_t(256) << 20;

// Reads the file at path into bytes, replacing what they held. Returns "" when the whole
// file is there, otherwise why not, without the file's name: the system's text for a file
// that cannot be opened or read ("No such file or directory"), what else it is when it is
// not a regular file ("a named pipe (FIFO), not a regular file", "a folder, not a file"),
// refused without waiting on it, "file too large (N bytes)" for a file over the limit,
// refused on its size alone, "file too large (over N bytes)" for one that grows past it as
// it is read (a size of 0 that is not true, as in /proc), or "out of memory"; bytes are then
// empty.
std::string readWholeFile(const char *path, std::vector<uint8_t> &bytes);

// readWholeFile for the asset readers: on failure reports the file and the reason
// (reportLoadFailure) and returns false.
bool readAssetFile(const char *path, std::vector<uint8_t> &bytes);
