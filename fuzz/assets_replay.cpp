// assets_replay.cpp -- runs a fuzz target over files and folders of inputs, without libFuzzer
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replayed = 0;  // inputs run so far

static void replayFile(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return;
    }
    std::vector<uint8_t> data;
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        data.insert(data.end(), block, block + n);
    fclose(f);
    LLVMFuzzerTestOneInput(data.data(), data.size());
    replayed++;
}

static void replay(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        fprintf(stderr, "no such input %s\n", path.c_str());
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        replayFile(path);
        return;
    }
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(dir))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (auto &name : names)
        replay(path + "/" + name);
}

// A crash or a sanitizer report ends the process with a failure; reaching the end means
// every input ran clean.
int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (int i = 1; i < argc; i++)
        replay(argv[i]);
    fprintf(stderr, "%s: %d inputs replayed\n", argv[0], replayed);
    return replayed ? 0 : 1;
}
