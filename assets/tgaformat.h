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

// image descriptor bits
const int TGA_RIGHT_TO_LEFT = 0x10;
const int TGA_TOP_DOWN = 0x20;
