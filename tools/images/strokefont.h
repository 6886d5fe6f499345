// strokefont.h -- capital letters, digits and a few signs drawn as thick strokes
#pragma once
#include <string>

#include "raster.h"

// The text as one shape, its top-left corner at (x, y), letters height pixels tall. Letters
// other than A-Z, 0-9, space and - . , ! ? : % / are left out.
Shape strokeText(const std::string &text, double x, double y, double height, double thickness);
// Width in pixels of the same text.
double strokeTextWidth(const std::string &text, double height);
// The same, centred on (cx, cy).
Shape strokeTextCentred(const std::string &text, double cx, double cy, double height, double thickness);
