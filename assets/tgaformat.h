// tgaformat.h -- TGA header layout and image types, shared by the reader and the writer
#pragma once

const int TGA_HEADER_SIZE = 18;

// header offsets
const int TGA_ID_LENGTH = 0;
const int TGA_COLORMAP_TYPE = 1;
const int TGA_IMAGE_TYPE = 2;
const int TGA_WIDTH = 12;
const int TGA_HEIGHT = 14;
const int TGA_DEPTH = 16;
const int TGA_DESCRIPTOR = 17;

// image types
const int TGA_TRUECOLOR = 2;
const int TGA_GRAYSCALE = 3;
const int TGA_TRUECOLOR_RLE = 10;

// The types a TGA file may declare: none (0), colour-mapped, true-colour and grey, each raw
// (1 to 3) or run-length coded (9 to 11), and the two old Huffman-coded colour-mapped ones.
// Anything else means the file is no TGA image at all.
inline bool isTgaImageType(int type) {
    return (type >= 0 && type <= 3) || (type >= 9 && type <= 11) || type == 32 || type == 33;
}

// image descriptor bits
const int TGA_RIGHT_TO_LEFT = 0x10;
const int TGA_TOP_DOWN = 0x20;
