// glyphs.h -- outlines of font glyphs as flattened contours, read with FreeType
#pragma once
#include "meshkit.h"

#include <string>

struct GlyphOutline {
    std::vector<Contour> contours;  // font units, y up, curves flattened
    double advance = 0;             // font units
    bool found = false;
};

// One open font file; FreeType's types stay inside glyphs.cpp.
class GlyphSource {
public:
    explicit GlyphSource(const std::string &path);
    ~GlyphSource();
    bool ok() const { return face != nullptr; }
    GlyphOutline outline(char c) const;

private:
    void *library = nullptr;
    void *face = nullptr;
    GlyphSource(const GlyphSource &) = delete;
    GlyphSource &operator=(const GlyphSource &) = delete;
};
