// loadfailures.h -- data files that could not be used: each named on standard error, all listed at the end
#pragma once
#include <string>
#include <vector>

// Says on standard error that `file` could not be used and why, as one line "FILE: WHY"
// (control characters shown as \xNN), and keeps the file's name for loadFailures. The loaders
// call it where they give up on a file, so a person sees it however much the loaders dump on
// standard output. Any thread.
void reportLoadFailure(const std::string &file, const std::string &why);
// The files reported so far, each once, in the order of their first report. Any thread.
std::vector<std::string> loadFailures();
// Whether `file` was reported. Any thread.
bool loadFailed(const std::string &file);
// The text with every byte outside printable ASCII written as \xNN: for names and strings
// taken from a file, which may hold anything.
std::string printableText(const std::string &text);
// A path as reportLoadFailure shows it: control characters as \xNN, the UTF-8 of a folder's
// name kept.
std::string printablePath(const std::string &path);
