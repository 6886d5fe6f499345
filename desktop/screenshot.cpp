// screenshot.cpp -- F12: the picture the viewer sees, saved as a PNG named by date and time
#include "desktop.h"

#include <GL/gl.h>
#include <stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <vector>

static bool screenshotAsked;  // F12 was pressed; the next finished frame is saved

void requestScreenshot() {
    screenshotAsked = true;
}

// The pictures folder: $XDG_PICTURES_DIR, else the one ~/.config/user-dirs.dirs names (the
// file the desktop's folder settings write, where "$HOME" stands for the home folder).
static std::string picturesFolder() {
    const char *named = getenv("XDG_PICTURES_DIR");
    if (named && named[0] == '/')
        return named;
    const char *home = getenv("HOME");
    if (!home || home[0] != '/')
        return "";
    const char *config = getenv("XDG_CONFIG_HOME");
    std::string dirs = (config && config[0] == '/' ? std::string(config) : std::string(home) + "/.config") + "/user-dirs.dirs";
    std::ifstream in(dirs);
    std::string line, prefix = "XDG_PICTURES_DIR=\"";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0 || line.back() != '"')
            continue;
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        return value[0] == '/' ? value : "";
    }
    return "";
}

static void writeToFile(void *file, void *data, int size) {
    fwrite(data, 1, size_t(size), (FILE *)file);
}

// Writes the PNG as a new file in `folder` ("" for the working directory), never over an
// existing one: a second shot within the same second gets "-2", and so on.
static bool writeIn(const std::string &folder, const std::string &stem, const std::vector<unsigned char> &rgb,
                    int width, int height, std::string &path) {
    for (int n = 1; n < 100; n++) {
        path = folder + stem + (n > 1 ? "-" + std::to_string(n) : "") + ".png";
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        FILE *file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (!file) {
            if (fd >= 0)
                close(fd);
            return false;
        }
        // GL rows run bottom-up: a negative stride writes them top-down
        bool ok = stbi_write_png_to_func(writeToFile, file, width, height, 3,
                                         rgb.data() + size_t(height - 1) * width * 3, -width * 3) != 0;
        ok = !ferror(file) && ok;
        ok = fclose(file) == 0 && ok;
        if (!ok)
            remove(path.c_str());
        return ok;
    }
    return false;
}

void saveScreenshotIfAsked(int width, int height) {
    if (!screenshotAsked || width <= 0 || height <= 0)
        return;
    screenshotAsked = false;
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    // the back buffer: the front one reads back black on some drivers, and this is the
    // frame about to be shown
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

    time_t now = time(nullptr);
    char stem[64];
    strftime(stem, sizeof stem, "vortazov-%Y-%m-%d-%H%M%S", localtime(&now));
    const char *home = getenv("HOME");
    std::vector<std::string> folders = {""};  // the working directory first
    for (std::string folder : {picturesFolder(), std::string(home && home[0] == '/' ? home : "")})
        if (!folder.empty())
            folders.push_back(folder.back() == '/' ? folder : folder + "/");
    std::string path;
    for (const std::string &folder : folders)
        if (writeIn(folder, stem, rgb, width, height, path)) {
            printf("screenshot saved to %s\n", path.c_str());
            fflush(stdout);
            return;
        }
    fprintf(stderr, "could not save the screenshot: the working directory, the pictures folder and the home folder cannot be written\n");
}
