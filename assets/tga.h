// tga.h -- Truevision TGA images and the OpenGL textures made from them
#pragma once
#include <cstddef>
#include <cstdint>

// One TGA file in memory, one 32-bit word per pixel; rows bottom-up (the GL order),
// whatever order the file stores them in. Read from a file, or from its bytes in memory,
// which messages call by the name the caller gives. A file that cannot be used, or whose
// pixels end early, is named once on standard error with the reason (reportLoadFailure).
class TgaImage final {
public:
    uint16_t width;
    uint16_t height;
    uint8_t bitsPerPixel;
    uint8_t bytesPerPixel;
    uint32_t *pixels;  // width * height words, null when nothing could be loaded

    explicit TgaImage(const char *path);
    TgaImage(const unsigned char *data, size_t size, const char *name);
    ~TgaImage();
    void load(const char *path);
    void load(const unsigned char *data, size_t size, const char *name);

private:
    TgaImage(const TgaImage &) = delete;
    TgaImage &operator=(const TgaImage &) = delete;
    void clear();  // frees the pixels and zeroes the dimensions
};

// A GL 2D texture built from one TGA file or its bytes. An image that could not be loaded
// uploads nothing and keeps textureId 0, so binding it draws untextured.
class Texture {
public:
    uint8_t *bytes;      // the upload copy, RGB or RGBA, null when nothing was uploaded
    uint32_t textureId;  // GL texture name, 0 when nothing was uploaded

    explicit Texture(const char *path);
    Texture(const unsigned char *data, size_t size, const char *name);
    ~Texture();

private:
    Texture(const Texture &) = delete;
    Texture &operator=(const Texture &) = delete;
    void upload(const TgaImage &image);
};
