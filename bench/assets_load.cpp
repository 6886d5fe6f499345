// assets_load.cpp -- times loading every object and image through the readers against a plain read
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lwo2.h"
#include "tga.h"

// The files come from data/ when it holds objects and images; until then from the
// shared test files. Each pass handles every file once: the plain pass reads its bytes
// into memory with one fread per file, the loading pass builds an LwoObject or TgaImage
// from it. The two alternate, for the objects, the images and all files, and the fastest
// pass of each is compared, so that a busy machine does not make the ratio.

static void listFiles(const std::string &folder, const char *suffix, std::vector<std::string> &out) {
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, suffix) == 0)
            names.push_back(folder + "/" + name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    out.insert(out.end(), names.begin(), names.end());
}

static bool isObject(const std::string &path) {
    return path.compare(path.size() - 4, 4, ".lwo") == 0;
}

static double seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Reads each file into a buffer of its own with one fread, as a loader that keeps the
// bytes would; the buffers are released after the clock stops.
static double plainPass(const std::vector<std::string> &files) {
    std::vector<char *> buffers;
    buffers.reserve(files.size());
    double start = seconds();
    for (auto &path : files) {
        FILE *f = fopen(path.c_str(), "rb");
        if (!f)
            continue;
        fseek(f, 0, SEEK_END);
        long size = ftell(f);
        fseek(f, 0, SEEK_SET);
        char *buffer = new char[size + 1];
        if (fread(buffer, 1, size, f) != size_t(size))
            fprintf(stderr, "short read of %s\n", path.c_str());
        buffers.push_back(buffer);
        fclose(f);
    }
    double elapsed = seconds() - start;
    for (char *b : buffers)
        delete[] b;
    return elapsed;
}

// Times the construction of every object and image; they are released after the clock
// stops, as the program keeps them until shutdown.
static double loadPass(const std::vector<std::string> &files) {
    std::vector<LwoObject *> objects;
    std::vector<TgaImage *> images;
    objects.reserve(files.size());
    images.reserve(files.size());
    double start = seconds();
    for (auto &path : files) {
        if (isObject(path))
            objects.push_back(new LwoObject(path.c_str()));
        else
            images.push_back(new TgaImage(path.c_str()));
    }
    double elapsed = seconds() - start;
    for (LwoObject *o : objects)
        delete o;
    for (TgaImage *i : images)
        delete i;
    return elapsed;
}

int main(int argc, char **argv) {
    int passes = argc > 1 ? atoi(argv[1]) : 200;
    std::vector<std::string> files;
    for (const char *folder : {"data/3d", "data/3d/writer"})
        listFiles(folder, ".lwo", files);
    for (const char *folder : {"data", "data/textures"})
        listFiles(folder, ".tga", files);
    const char *source = "data";
    if (files.empty()) {
        source = "../shared/testdata";
        listFiles("../shared/testdata/lwo2", ".lwo", files);
        listFiles("../shared/testdata/tga", ".tga", files);
    }
    if (files.empty()) {
        fprintf(stderr, "no objects or images found (run from the project root)\n");
        return 1;
    }
    size_t total = 0;
    for (auto &path : files) {
        FILE *f = fopen(path.c_str(), "rb");
        if (!f)
            continue;
        fseek(f, 0, SEEK_END);
        total += size_t(ftell(f));
        fclose(f);
    }

    // The readers' dumps and messages would time the terminal; they go to /dev/null.
    fflush(stdout);
    int savedStdout = dup(1);
    int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    close(devNull);

    // objects, images, everything
    std::vector<std::string> objects, images;
    for (auto &path : files)
        (isObject(path) ? objects : images).push_back(path);
    const std::vector<std::string> *sets[3] = {&objects, &images, &files};
    double bestPlain[3] = {1e9, 1e9, 1e9}, bestLoad[3] = {1e9, 1e9, 1e9};
    double sumPlain[3] = {0, 0, 0}, sumLoad[3] = {0, 0, 0};
    for (int i = 0; i < passes; i++) {
        for (int k = 0; k < 3; k++) {
            double p = plainPass(*sets[k]);
            double l = loadPass(*sets[k]);
            bestPlain[k] = std::min(bestPlain[k], p);
            bestLoad[k] = std::min(bestLoad[k], l);
            sumPlain[k] += p;
            sumLoad[k] += l;
        }
    }

    fflush(stdout);
    dup2(savedStdout, 1);
    close(savedStdout);
    printf("files: %zu from %s (%zu objects, %zu images), %zu bytes, %d passes\n", files.size(),
           source, objects.size(), images.size(), total, passes);
    const char *names[3] = {"objects", "images", "all"};
    for (int k = 0; k < 3; k++) {
        if (sets[k]->empty())
            continue;
        printf("%-8s plain read best %8.1f us  loading best %8.1f us  ratio %5.2f"
               "  (means %8.1f / %8.1f us, ratio %5.2f)\n",
               names[k], bestPlain[k] * 1e6, bestLoad[k] * 1e6, bestLoad[k] / bestPlain[k],
               sumPlain[k] / passes * 1e6, sumLoad[k] / passes * 1e6, sumLoad[k] / sumPlain[k]);
    }
    return 0;
}
