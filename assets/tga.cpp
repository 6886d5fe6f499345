// tga.cpp -- reads TGA images into pixel words and uploads them as GL textures
#include "tga.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "loadfailures.h"
#include "tgaformat.h"
#include "wholefile.h"

// The largest pixel store an image may need (bytes); our pictures are far smaller, and
// a header that asks for more is a broken file, not a picture.
const uint64_t MAX_PIXEL_STORE = 64ull << 20;

TgaImage::TgaImage(const char *path) : pixels(nullptr) {
    load(path);
}

TgaImage::TgaImage(const unsigned char *data, size_t size, const char *name) : pixels(nullptr) {
    load(data, size, name);
}

TgaImage::~TgaImage() {
    delete[] pixels;
}

// The kinds of pixel value, each with its size in the file and the word it becomes.
// Pixel words: 32-bit images keep blue, green, red, alpha from the top byte down; every
// other kind gets alpha 255, red, green, blue.
struct Grey8 {
    static const int bytes = 1;
    static uint32_t word(const unsigned char *b) {
        return 0xFF000000u | uint32_t(b[0]) << 16 | uint32_t(b[0]) << 8 | b[0];
    }
};

struct Rgb16 {
    static const int bytes = 2;
    static uint32_t word(const unsigned char *b) {
        unsigned int v = b[0] | b[1] << 8;
        unsigned int r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, bl = v & 0x1F;
        // five bits fill eight by repeating their top bits, so 31 becomes 255, not 248;
        // bit 15 (the attribute bit) is not taken as alpha: files disagree on its meaning
        r = r << 3 | r >> 2;
        g = g << 3 | g >> 2;
        bl = bl << 3 | bl >> 2;
        return 0xFF000000u | r << 16 | g << 8 | bl;
    }
};

struct Bgr24 {
    static const int bytes = 3;
    static uint32_t word(const unsigned char *b) {
        return 0xFF000000u | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
    }
};

struct Bgra32 {
    static const int bytes = 4;
    static uint32_t word(const unsigned char *b) {
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    }
};

template <class Kind>
static void convertRow(const unsigned char *in, uint32_t *out, int n) {
    for (int x = 0; x < n; x++)
        out[x] = Kind::word(in + x * Kind::bytes);
}

static inline uint32_t littleEndian32(const unsigned char *b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// Most pictures are 24-bit: four pixels are twelve bytes, taken as three 32-bit words,
// which is three times quicker than assembling each pixel from its bytes.
template <>
void convertRow<Bgr24>(const unsigned char *in, uint32_t *out, int n) {
    int x = 0;
    for (; x + 4 <= n; x += 4, in += 12) {
        uint32_t a = littleEndian32(in), b = littleEndian32(in + 4), c = littleEndian32(in + 8);
        out[x] = 0xFF000000u | a;
        out[x + 1] = 0xFF000000u | a >> 24 | b << 8;
        out[x + 2] = 0xFF000000u | b >> 16 | c << 16;
        out[x + 3] = 0xFF000000u | c >> 8;
    }
    for (; x < n; x++, in += 3)
        out[x] = Bgr24::word(in);
}

// Decodes uncompressed rows straight to their place in the store (bottom row first, left
// to right), whichever way the file stores them. Returns the pixels the data held; the
// rest of the store is left as it was.
template <class Kind>
static uint64_t decodeRaw(const unsigned char *data, uint64_t size, uint32_t *pixels,
                          int width, int height, int descriptor) {
    uint64_t have = size / Kind::bytes;
    uint64_t decoded = 0;
    for (int row = 0; row < height && decoded < have; row++) {
        uint64_t left = have - decoded;
        int n = left < (uint64_t)width ? int(left) : width;
        int target = descriptor & TGA_TOP_DOWN ? height - 1 - row : row;
        uint32_t *out = pixels + (size_t)target * width;
        const unsigned char *in = data + decoded * Kind::bytes;
        if (descriptor & TGA_RIGHT_TO_LEFT) {
            for (int x = 0; x < n; x++)
                out[width - 1 - x] = Kind::word(in + x * Kind::bytes);
        } else {
            convertRow<Kind>(in, out, n);
        }
        decoded += n;
    }
    return decoded;
}

// Decodes run-length packets into the store in file order; stops when the store is full
// or the data ends, so a footer or an extension area after the pixels is never taken for
// packets that write. Returns the pixels written.
template <class Kind>
static uint64_t decodeRle(const unsigned char *data, uint64_t size, uint32_t *out,
                          uint64_t count) {
    uint64_t at = 0, written = 0;
    while (written < count && at < size) {
        unsigned int header = data[at++];
        uint64_t run = (header & 0x7F) + 1;
        if (run > count - written)
            run = count - written;
        if (header & 0x80) {
            if (size - at < (uint64_t)Kind::bytes)
                break;
            uint32_t word = Kind::word(data + at);
            at += Kind::bytes;
            for (uint64_t k = 0; k < run; k++)
                out[written++] = word;
        } else {
            uint64_t whole = (size - at) / Kind::bytes;
            uint64_t n = run < whole ? run : whole;
            for (uint64_t k = 0; k < n; k++)
                out[written + k] = Kind::word(data + at + k * Kind::bytes);
            written += n;
            at += n * Kind::bytes;
            if (n < run)
                break;
        }
    }
    return written;
}

// Puts rows decoded in file order into GL order: bottom row first, left to right.
static void orient(uint32_t *pixels, int width, int height, int descriptor) {
    if (descriptor & TGA_TOP_DOWN) {
        for (int top = 0, bottom = height - 1; top < bottom; top++, bottom--) {
            uint32_t *a = pixels + (size_t)top * width;
            uint32_t *b = pixels + (size_t)bottom * width;
            for (int x = 0; x < width; x++) {
                uint32_t t = a[x];
                a[x] = b[x];
                b[x] = t;
            }
        }
    }
    if (descriptor & TGA_RIGHT_TO_LEFT) {
        for (int y = 0; y < height; y++) {
            uint32_t *row = pixels + (size_t)y * width;
            for (int l = 0, r = width - 1; l < r; l++, r--) {
                uint32_t t = row[l];
                row[l] = row[r];
                row[r] = t;
            }
        }
    }
}

// Fills the store from the pixel data; the parts the data does not reach are zero.
template <class Kind>
static uint64_t decode(const unsigned char *data, uint64_t size, bool runLength,
                       uint32_t *pixels, int width, int height, int descriptor) {
    uint64_t count = uint64_t(width) * height;
    if (runLength) {
        uint64_t written = decodeRle<Kind>(data, size, pixels, count);
        memset(pixels + written, 0, (count - written) * 4);
        orient(pixels, width, height, descriptor);
        return written;
    }
    if (size / Kind::bytes < count)
        memset(pixels, 0, count * 4);  // short data: the rows it misses may lie anywhere
    return decodeRaw<Kind>(data, size, pixels, width, height, descriptor);
}

void TgaImage::clear() {
    delete[] pixels;
    pixels = nullptr;
    width = 0;
    height = 0;
    bitsPerPixel = 0;
    bytesPerPixel = 0;
}

void TgaImage::load(const char *path) {
    std::vector<uint8_t> bytes;
    if (readAssetFile(path, bytes))
        load(bytes.data(), bytes.size(), path);
    else
        clear();
}

void TgaImage::load(const unsigned char *data, size_t size, const char *name) {
    clear();
    if (size < (size_t)TGA_HEADER_SIZE) {
        reportLoadFailure(name, "not a TGA image (" + std::to_string(size) + " bytes, too short for the header)");
        return;
    }
    int idLength = data[TGA_ID_LENGTH];
    int colormapType = data[TGA_COLORMAP_TYPE];
    int imageType = data[TGA_IMAGE_TYPE];
    int fileWidth = data[TGA_WIDTH] | data[TGA_WIDTH + 1] << 8;
    int fileHeight = data[TGA_HEIGHT] | data[TGA_HEIGHT + 1] << 8;
    int depth = data[TGA_DEPTH];
    int descriptor = data[TGA_DESCRIPTOR];
    bitsPerPixel = uint8_t(depth);
    bytesPerPixel = uint8_t(depth >> 3);

    bool trueColour = imageType == TGA_TRUECOLOR || imageType == TGA_TRUECOLOR_RLE;
    bool supported = (trueColour && (depth == 16 || depth == 24 || depth == 32)) ||
                     (imageType == TGA_GRAYSCALE && depth == 8);
    uint64_t count = uint64_t(fileWidth) * uint64_t(fileHeight);
    const char *problem = nullptr;
    if (!isTgaImageType(imageType) || colormapType > 1)
        problem = "not a TGA image type";
    else if (colormapType != 0)
        problem = "colour-mapped images are not supported";
    else if (!supported)
        problem = "this kind of image is not supported";
    else if (count == 0)
        problem = "the image has no pixels";
    else if (count * 4 > MAX_PIXEL_STORE)
        problem = "the image is too large";
    if (problem) {
        char details[96];
        snprintf(details, sizeof details, " (type %d, %d x %d, %d bits per pixel)", imageType,
                 fileWidth, fileHeight, depth);
        reportLoadFailure(name, problem + std::string(details));
        return;
    }

    if (imageType == TGA_GRAYSCALE) {
        printf("%s: Reading grayscale tga\n", name);
        fflush(stdout);
    }
    pixels = new uint32_t[count];
    width = uint16_t(fileWidth);
    height = uint16_t(fileHeight);
    uint64_t start = TGA_HEADER_SIZE + idLength;  // the image ID is skipped
    if (start > size)
        start = size;
    const unsigned char *in = data + start;
    uint64_t left = size - start;
    bool rle = imageType == TGA_TRUECOLOR_RLE;
    uint64_t decoded;
    if (depth == 8)
        decoded = decode<Grey8>(in, left, rle, pixels, width, height, descriptor);
    else if (depth == 16)
        decoded = decode<Rgb16>(in, left, rle, pixels, width, height, descriptor);
    else if (depth == 24)
        decoded = decode<Bgr24>(in, left, rle, pixels, width, height, descriptor);
    else
        decoded = decode<Bgra32>(in, left, rle, pixels, width, height, descriptor);
    if (decoded < count)
        reportLoadFailure(name, "pixel data ends early (" + std::to_string(decoded) + " of " +
                                    std::to_string(count) + " pixels)");
}

Texture::Texture(const char *path) : bytes(nullptr), textureId(0) {
    upload(TgaImage(path));
}

Texture::Texture(const unsigned char *data, size_t size, const char *name)
    : bytes(nullptr), textureId(0) {
    upload(TgaImage(data, size, name));
}

void Texture::upload(const TgaImage &image) {
    if (!image.pixels)
        return;  // nothing to upload: binding id 0 draws untextured
    size_t count = size_t(image.width) * image.height;
    bool alpha = image.bytesPerPixel >= 4;
    bytes = new uint8_t[count * (alpha ? 4 : 3)];
    uint8_t *out = bytes;
    for (size_t i = 0; i < count; i++) {
        uint32_t w = image.pixels[i];
        if (alpha) {
            *out++ = uint8_t(w >> 8);
            *out++ = uint8_t(w >> 16);
            *out++ = uint8_t(w >> 24);
            *out++ = uint8_t(w);
        } else {
            *out++ = uint8_t(w >> 16);
            *out++ = uint8_t(w >> 8);
            *out++ = uint8_t(w);
        }
    }
    GLenum format = alpha ? GL_RGBA : GL_RGB;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // rows of 3-byte pixels are not padded
    glGenTextures(1, &textureId);
    glBindTexture(GL_TEXTURE_2D, textureId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, format, image.width, image.height, 0, format,
                 GL_UNSIGNED_BYTE, bytes);
}

Texture::~Texture() {
    delete[] bytes;
}
