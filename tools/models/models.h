// models.h -- every object the presentation loads, built in memory from its recipe
#pragma once
#include "glyphs.h"
#include "lwo2writer.h"
#include "meshkit.h"

#include <string>
#include <vector>

// The font the letters and the rave word are cut from (Debian's fonts-dejavu-core).
extern const char *const letterFontPath;

struct Model {
    std::string path;                      // relative to the output folder, e.g. "3d/missile.lwo"
    Mesh mesh;
    std::vector<LwoSurfaceDesc> surfaces;  // indexed by the mesh's surface numbers
    bool solid = true;                     // closed with outward normals; false for flat sheets
};

// The 26 letters a to z ("3d/writer/a.lwo" ...), from the given font.
std::vector<Model> buildLetters(const GlyphSource &font);
// A word as one extruded solid, `width` units wide, centred on its x-height box.
Mesh buildWord(const GlyphSource &font, const std::string &word, double width, double depth);

// The eleven named objects ("3d/samovar.lwo" ...).
std::vector<Model> buildNamedObjects(const GlyphSource &font);

// Everything, named objects first, then the letters.
std::vector<Model> buildAllModels(const GlyphSource &font);

// The mesh in the writer's terms: float points, triangles with surfaces, and UVs if mapped.
LwoMeshDesc toLwo(const Model &model);
