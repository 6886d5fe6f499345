// portraits.cpp -- six stylised portraits of fictional people, drawn for strong light and dark
//
// The portrait scene turns each texel's colour into shade: a light texel darkens the red it
// is drawn on, a dark one leaves it red. So the faces are bright, lit from the upper left,
// with deep shadows and dark ink outlines, and hair, hats and clothes are kept clearly
// lighter or darker than what lies next to them, mostly in the red channel.
#include <cmath>

#include "pictures.h"

static const double PI = 3.14159265358979323846;

static const Colour INK = {0.07, 0.05, 0.05, 1};
static const Colour WHITE = {0.97, 0.95, 0.90, 1};

// Where a face sits and how big it is; features are placed relative to it.
struct Head {
    double cx, cy;  // centre of the face, pixels
    double rx, ry;  // half width and half height of the face, pixels
};

struct Skin {
    Colour lit, shade;
};

static const Skin FAIR = {{0.98, 0.85, 0.72, 1}, {0.62, 0.42, 0.33, 1}};
static const Skin RUDDY = {{0.97, 0.78, 0.64, 1}, {0.58, 0.36, 0.28, 1}};
static const Skin PALE = {{0.99, 0.91, 0.82, 1}, {0.66, 0.50, 0.42, 1}};

static Shape faceShape(const Head &h, double jaw) {
    // jaw: how far the square lower part reaches out, 0 for an egg-shaped face.
    return unite(ellipse(h.cx, h.cy, h.rx, h.ry),
                 box(h.cx, h.cy + h.ry * 0.45, h.rx * jaw, h.ry * 0.5, h.rx * 0.45));
}

// Fills a shape and shades its right side, the side away from the light.
static void shaded(Canvas &canvas, Shape shape, Colour lit, Colour shade, double cx, double cy, double rx, double ry) {
    canvas.fill(shape, lit);
    canvas.fill(subtract(shape, ellipse(cx - rx * 0.25, cy - ry * 0.1, rx * 1.02, ry * 1.08)), shade);
}

// The neck goes behind the clothes: draw it first.
static void neck(Canvas &canvas, const Head &h, const Skin &skin) {
    Shape n = box(h.cx, h.cy + h.ry + 20, h.rx * 0.5, 40, 8);
    canvas.fill(n, skin.shade);
    canvas.fill(box(h.cx - h.rx * 0.2, h.cy + h.ry + 24, h.rx * 0.28, 36, 8), skin.lit);
    canvas.fill(outline(n, 2.5), INK);
}

static void ears(Canvas &canvas, const Head &h, const Skin &skin) {
    for (int side = -1; side <= 1; side += 2) {
        Shape ear = ellipse(h.cx + side * h.rx * 0.97, h.cy + h.ry * 0.05, h.rx * 0.17, h.ry * 0.24);
        canvas.fill(ear, side < 0 ? skin.lit : skin.shade);
        canvas.fill(outline(ear, 2.5), INK);
        canvas.fill(line(h.cx + side * h.rx * 1.0, h.cy - h.ry * 0.05, h.cx + side * h.rx * 0.98, h.cy + h.ry * 0.12, 2.5), INK);
    }
}

static void face(Canvas &canvas, const Head &h, const Skin &skin, double jaw) {
    Shape f = faceShape(h, jaw);
    shaded(canvas, f, skin.lit, skin.shade, h.cx, h.cy, h.rx, h.ry);
    canvas.fill(outline(f, 3), INK);
}

// Eyes on a line at height y; open is the eye's half height.
static void eyes(Canvas &canvas, const Head &h, double y, double spacing, double width, double open, Colour brow,
                 double browLift, double browTilt, double browThickness) {
    for (int side = -1; side <= 1; side += 2) {
        double x = h.cx + side * spacing;
        Shape eye = ellipse(x, y, width, open);
        canvas.fill(eye, WHITE);
        canvas.fill(intersect(circle(x + 1.5, y + 0.5, open * 0.95), eye), INK);
        canvas.fill(circle(x - 0.5, y - open * 0.35, open * 0.25), WHITE);
        canvas.fill(intersect(outline(eye, 2.2), halfPlane(x + width, y + 1, x - width, y + 1)), INK);
        double by = y - browLift;
        Shape b = line(x - side * width * 1.1, by + browTilt, x + side * width * 1.1, by - browTilt, browThickness);
        if (brow.r > 0.5)
            canvas.fill(grow(b, 1.2), INK);  // so that white brows show on light skin
        canvas.fill(b, brow);
    }
}

static void nose(Canvas &canvas, const Head &h, double top, double bottom, double width, const Skin &skin) {
    // Shadow down the far side of the bridge, nostrils, and a highlight on the tip.
    canvas.fill(polygon({{h.cx + 3, top}, {h.cx + width, bottom - 2}, {h.cx + 2, bottom + 2}}), skin.shade);
    canvas.fill(polyline({{h.cx + 3, top}, {h.cx + width, bottom - 2}, {h.cx + 2, bottom + 2}}, 2.5), INK);
    canvas.fill(ellipse(h.cx - width * 0.55, bottom, 3.5, 2.2), INK);
    canvas.fill(ellipse(h.cx + width * 0.5, bottom, 3.5, 2.2), INK);
    canvas.fill(ellipse(h.cx - 3, bottom - 7, 3, 4), WHITE);
}

static void mouth(Canvas &canvas, double cx, double y, double halfWidth, double smile) {
    canvas.fill(polyline({{cx - halfWidth, y - smile}, {cx, y + smile * 0.5}, {cx + halfWidth, y - smile}}, 3), INK);
}

// A row of sunbeams from a centre, alternating two colours.
static void rays(Canvas &canvas, double cx, double cy, int count, Colour colour) {
    for (int i = 0; i < count; i++) {
        double a0 = 2 * PI * i / count, a1 = 2 * PI * (i + 0.5) / count;
        canvas.fill(polygon({{cx, cy}, {cx + 400 * std::cos(a0), cy + 400 * std::sin(a0)}, {cx + 400 * std::cos(a1), cy + 400 * std::sin(a1)}}),
                    colour);
    }
}

// The portrait scene draws each picture 7 to 9 units wide, centred 2 units below the view
// axis, so the window sees only its upper half: rows 0 to about 128 of 256. Each portrait is
// drawn in its own coordinates and then placed by a view that puts the eyes near row 60 and
// the mouth near row 115, the face as large as that band allows; hats may run off the top.
struct Composition {
    double scale;       // pixels per drawing unit
    Point eyes;         // midpoint between the eyes, drawing coordinates
    double eyeSpacing;  // from that midpoint to each eye
    double mouthY;      // height of the mouth, drawing coordinates
    Point eyesTo;       // where the eyes' midpoint lands in the picture, pixels
};

static const Composition compositions[6] = {
    {1.05, {128, 124}, 20, 180, {128, 56}},  // the flat cap's crown runs off the top
    {1.00, {128, 120}, 18, 176, {128, 60}},  // so does the tall fur hat, above its star
    {0.95, {128, 122}, 19, 172, {128, 68}},  // the bald crown stays inside the medallion
    {1.10, {128, 126}, 17, 167, {128, 64}},  // the headscarf's top meets the oval's edge
    {1.10, {128, 126}, 20, 174, {128, 60}},
    {1.05, {128, 130}, 19, 182, {128, 58}},
};

static const Composition &compose(Canvas &canvas, int number) {
    const Composition &c = compositions[number - 1];
    canvas.setView(c.scale, c.eyes, c.eyesTo);
    return c;
}

FaceMarks portraitFace(int number) {
    const Composition &c = compositions[number - 1];
    Canvas place(1, 1);
    place.setView(c.scale, c.eyes, c.eyesTo);
    return {place.toPixel({c.eyes.x - c.eyeSpacing, c.eyes.y}), place.toPixel({c.eyes.x + c.eyeSpacing, c.eyes.y}),
            place.toPixel({c.eyes.x, c.mouthY})};
}

// Portrait 1: a worker in a tweed flat cap, with a walrus moustache and a neckerchief.
void drawPortrait1(Canvas &canvas) {
    Head h = {128, 132, 50, 60};
    canvas.clear(rgb(0.16, 0.12, 0.11));
    const Composition &c = compose(canvas, 1);
    rays(canvas, 128, 120, 24, rgb(0.24, 0.19, 0.16));  // faint: in the scene they stripe the neighbours
    // Coat, shirt collar, neckerchief.
    neck(canvas, h, RUDDY);
    Shape coat = ellipse(128, 300, 128, 100);
    canvas.fill(coat, rgb(0.30, 0.27, 0.25));
    canvas.fill(outline(coat, 3), INK);
    ears(canvas, h, RUDDY);
    for (int side = -1; side <= 1; side += 2) {
        Shape lapel = polygon({{128 + side * 36.0, 208}, {128 + side * 16.0, 256}, {128 + side * 70.0, 256}, {128 + side * 62.0, 216}});
        canvas.fill(lapel, rgb(0.40, 0.36, 0.33));
        canvas.fill(outline(lapel, 2.5), INK);
    }
    Shape collar = unite(polygon({{92, 212}, {128, 246}, {112, 256}, {80, 228}}), polygon({{164, 212}, {128, 246}, {144, 256}, {176, 228}}));
    canvas.fill(collar, WHITE);
    canvas.fill(outline(collar, 2.5), INK);
    Shape knot = unite(polygon({{116, 232}, {140, 232}, {134, 256}, {122, 256}}), circle(128, 234, 9));
    canvas.fill(knot, rgb(0.82, 0.14, 0.10));
    canvas.fill(outline(knot, 2.5), INK);
    face(canvas, h, RUDDY, 0.85);
    eyes(canvas, h, c.eyes.y, c.eyeSpacing, 9, 4.5, INK, 11, 3, 6);
    nose(canvas, h, 126, 158, 11, RUDDY);
    mouth(canvas, 128, c.mouthY, 12, -2);
    // The walrus moustache: two drooping lobes that hide the upper lip.
    Shape moustache = unite(ellipse(114, 170, 20, 9, 18), ellipse(142, 170, 20, 9, -18));
    moustache = unite(moustache, ellipse(98, 180, 5, 11, 20));
    moustache = unite(moustache, ellipse(158, 180, 5, 11, -20));
    canvas.fill(moustache, rgb(0.20, 0.14, 0.10));
    for (int i = -4; i <= 4; i++)
        canvas.fill(line(128 + i * 6, 164, 128 + i * 7.5, 176, 1.5), rgb(0.45, 0.34, 0.26));
    canvas.fill(outline(moustache, 2), INK);
    // Flat cap: crown pulled forward over the brow, short brim, button on top.
    Shape crown = subtract(unite(ellipse(124, 90, 64, 32, -4), box(126, 98, 56, 12, 6)), halfPlane(40, 104, 220, 104));
    canvas.fill(crown, rgb(0.58, 0.54, 0.48));
    for (int i = -12; i <= 12; i++)
        canvas.fill(intersect(crown, line(124 + i * 8 - 20, 40, 124 + i * 8 + 20, 110, 2)), rgb(0.44, 0.40, 0.36));
    canvas.fill(intersect(crown, ellipse(150, 80, 46, 26)), rgb(0.30, 0.27, 0.25, 0.55));
    Shape brim = ellipse(134, 106, 60, 9, -3);
    canvas.fill(brim, rgb(0.18, 0.16, 0.15));
    canvas.fill(outline(crown, 3), INK);
    canvas.fill(outline(brim, 2.5), INK);
    canvas.fill(circle(120, 60, 5), INK);
    canvas.fill(intersect(grow(crown, -3), line(54, 92, 102, 62, 3)), rgb(0.85, 0.80, 0.72));  // light on the crown
}

// Portrait 2: an old man in a fur hat with ear flaps, with a long white beard.
void drawPortrait2(Canvas &canvas) {
    Head h = {128, 124, 44, 58};
    const Composition &c = compose(canvas, 2);
    canvas.fill(box(128, 128, 400, 400), linear({0, 0}, rgb(0.10, 0.12, 0.22), {0, 256}, rgb(0.26, 0.28, 0.40)));
    for (int i = 0; i < 9; i++)
        canvas.fill(outline(circle(128, 118, 70 + i * 16), 3), rgb(0.22, 0.24, 0.38));
    neck(canvas, h, PALE);
    Shape coat = ellipse(128, 300, 124, 96);
    canvas.fill(coat, rgb(0.22, 0.20, 0.24));
    canvas.fill(outline(coat, 3), INK);
    face(canvas, h, PALE, 0.6);
    // Deep creases and heavy white brows.
    canvas.fill(line(92, 142, 100, 162, 2), INK);
    canvas.fill(line(164, 142, 156, 162, 2), INK);
    canvas.fill(line(110, 92, 146, 92, 1.8), rgb(0.55, 0.42, 0.36));
    canvas.fill(line(114, 98, 142, 98, 1.8), rgb(0.55, 0.42, 0.36));
    eyes(canvas, h, c.eyes.y, c.eyeSpacing, 8, 3.5, WHITE, 9, -3, 7);
    nose(canvas, h, 118, 152, 13, PALE);
    // The beard: from the cheeks down over the chest, wavy at the bottom, in strands.
    std::vector<Point> outlinePoints = {{86, 130}, {96, 150}, {108, 158}, {148, 158}, {160, 150}, {170, 130}, {174, 170},
                                        {164, 214}, {146, 246}, {128, 256}, {110, 246}, {92, 214}, {82, 170}};
    Shape beard = polygon(outlinePoints);
    for (int i = 0; i < 7; i++)
        beard = unite(beard, circle(98 + i * 10, 214 + 30 * std::sin(i * PI / 6), 11));
    canvas.fill(beard, rgb(0.93, 0.92, 0.89));
    for (int i = 0; i < 9; i++) {
        double x = 94 + i * 8.5;
        canvas.fill(intersect(beard, polyline({{x, 164}, {x + 4, 190}, {x - 2, 218}, {x + 3, 246}}, 1.6)), rgb(0.62, 0.62, 0.64));
    }
    canvas.fill(intersect(beard, ellipse(160, 200, 30, 60)), rgb(0.55, 0.55, 0.60, 0.45));
    canvas.fill(outline(beard, 2.5), INK);
    canvas.fill(ellipse(128, c.mouthY, 8, 4), INK);  // mouth, just showing
    Shape moustache = unite(ellipse(112, 166, 18, 7, 20), ellipse(144, 166, 18, 7, -20));
    canvas.fill(moustache, WHITE);
    canvas.fill(outline(moustache, 2), INK);
    // Fur hat: a dark crown with a fluffy edge and ear flaps, a turned-up front and a red star.
    Shape flaps = unite(box(82, 124, 14, 36, 10), box(174, 124, 14, 36, 10));
    Shape crown = unite(ellipse(128, 62, 60, 40), box(128, 82, 58, 20, 8));
    Shape fur = unite(crown, flaps);
    for (int i = 0; i < 22; i++) {
        double a = PI + PI * i / 21;
        fur = unite(fur, circle(128 + 60 * std::cos(a), 70 + 42 * std::sin(a), 6));
    }
    canvas.fill(fur, rgb(0.26, 0.19, 0.14));
    for (int i = 0; i < 40; i++) {
        double x = 74 + (i * 37) % 108, y = 34 + (i * 23) % 110;
        canvas.fill(intersect(fur, line(x, y, x + 3, y + 7, 1.5)), rgb(0.42, 0.32, 0.24));
    }
    canvas.fill(outline(fur, 3), INK);
    Shape band = unite(box(128, 88, 64, 14, 9), ellipse(128, 78, 40, 22));
    canvas.fill(band, rgb(0.40, 0.30, 0.22));
    canvas.fill(outline(band, 3), INK);
    std::vector<Point> starPoints;
    for (int i = 0; i < 10; i++) {
        double a = (-90 + 36 * i) * PI / 180, r = i % 2 == 0 ? 12 : 5;
        starPoints.push_back({128 + r * std::cos(a), 74 + r * std::sin(a)});
    }
    canvas.fill(polygon(starPoints), rgb(0.90, 0.15, 0.10));
    canvas.fill(outline(polygon(starPoints), 1.5), INK);
}

// Portrait 3: a scholar with round glasses, a pointed goatee and a bald crown, in a round
// medallion; outside it the picture is transparent.
void drawPortrait3(Canvas &canvas) {
    Head h = {128, 124, 46, 62};
    canvas.clear(rgb(0.22, 0.27, 0.24));
    const Composition &c = compose(canvas, 3);
    for (int i = 0; i < 12; i++)
        canvas.fill(outline(circle(128, 124, 20 + i * 10), 4), rgb(0.26, 0.31, 0.28));
    neck(canvas, h, FAIR);
    Shape coat = ellipse(128, 300, 120, 96);
    canvas.fill(coat, rgb(0.15, 0.14, 0.16));
    Shape shirt = polygon({{104, 206}, {128, 256}, {152, 206}});
    canvas.fill(shirt, WHITE);
    canvas.fill(outline(shirt, 2), INK);
    Shape bow = unite(polygon({{128, 222}, {110, 212}, {110, 234}}), polygon({{128, 222}, {146, 212}, {146, 234}}));
    canvas.fill(bow, INK);
    ears(canvas, h, FAIR);
    face(canvas, h, FAIR, 0.5);
    // Shine on the bald crown and the tufts of hair above the ears.
    canvas.fill(ellipse(112, 84, 14, 8, -30), WHITE);
    for (int side = -1; side <= 1; side += 2) {
        Shape tuft = ellipse(128 + side * 42, 98, 9, 16, side * 25.0);
        canvas.fill(tuft, rgb(0.62, 0.60, 0.58));
        canvas.fill(outline(tuft, 2), INK);
    }
    eyes(canvas, h, c.eyes.y, c.eyeSpacing, 7, 4, INK, 14, 2, 4);
    // Glasses: thick round rims, a bridge, the arms back to the ears, a glint on each lens.
    for (int side = -1; side <= 1; side += 2) {
        double x = 128 + side * 20;
        canvas.fill(circle(x, 122, 14), rgb(0.85, 0.90, 0.95, 0.25));
        canvas.fill(outline(circle(x, 122, 14), 4), INK);
        canvas.fill(line(x - 6, 113, x - 1, 110, 2.5), WHITE);
        canvas.fill(line(128 + side * 34, 120, 128 + side * 44, 116, 3.5), INK);
    }
    canvas.fill(polyline({{121, 121}, {128, 117}, {135, 121}}, 3.5), INK);
    nose(canvas, h, 128, 152, 9, FAIR);
    // Thin moustache and pointed goatee.
    Shape moustache = unite(polygon({{128, 160}, {104, 168}, {126, 166}}), polygon({{128, 160}, {152, 168}, {130, 166}}));
    canvas.fill(moustache, rgb(0.20, 0.18, 0.18));
    mouth(canvas, 128, c.mouthY, 10, 1);
    Shape goatee = polygon({{114, 180}, {142, 180}, {128, 214}});
    canvas.fill(goatee, rgb(0.20, 0.18, 0.18));
    canvas.fill(outline(goatee, 2), INK);
    // The medallion, in the picture's own frame: a dark ring, then transparency outside.
    canvas.resetView();
    canvas.fill(outline(circle(128, 128, 121), 7), rgb(0.88, 0.80, 0.55));
    canvas.fill(outline(circle(128, 128, 117), 1.5), INK);
    canvas.mask(circle(128, 128, 125));
}

// Portrait 4: a young woman in a polka-dot headscarf tied under the chin, with earrings, in
// an oval whose edge fades out.
void drawPortrait4(Canvas &canvas) {
    Head h = {128, 128, 42, 54};
    const Composition &c = compose(canvas, 4);
    canvas.fill(box(128, 128, 400, 400), radial({96, 90}, 200, rgb(0.40, 0.34, 0.30), rgb(0.10, 0.08, 0.08)));
    neck(canvas, h, FAIR);
    Shape dress = ellipse(128, 296, 118, 96);
    canvas.fill(dress, rgb(0.88, 0.84, 0.74));
    for (int i = -6; i <= 6; i++)
        canvas.fill(intersect(dress, circle(128 + i * 18, 230 + (i % 2) * 10, 4)), rgb(0.70, 0.16, 0.12));
    canvas.fill(outline(dress, 3), INK);
    // The scarf behind the face, down to the knot under the chin.
    Shape scarf = unite(ellipse(128, 110, 66, 72), polygon({{66, 130}, {128, 208}, {190, 130}}));
    Shape knot = unite(ellipse(128, 204, 14, 10), unite(polygon({{124, 206}, {100, 244}, {116, 248}}), polygon({{132, 206}, {156, 244}, {140, 248}})));
    Colour scarfRed = rgb(0.78, 0.12, 0.10), dot = rgb(0.98, 0.94, 0.84);
    canvas.fill(unite(scarf, knot), scarfRed);
    for (int row = 0; row < 14; row++)
        for (int col = 0; col < 12; col++)
            canvas.fill(intersect(unite(scarf, knot), circle(60 + col * 12 + (row % 2) * 6, 40 + row * 15, 3.2)), dot);
    canvas.fill(intersect(scarf, ellipse(170, 130, 40, 90)), rgb(0.15, 0.02, 0.02, 0.45));
    canvas.fill(outline(unite(scarf, knot), 3), INK);
    face(canvas, h, FAIR, 0.3);
    // Hair parted in the middle, then the scarf's edge over the forehead.
    Shape hair = intersect(unite(ellipse(112, 96, 26, 14, 20), ellipse(144, 96, 26, 14, -20)), faceShape(h, 0.3));
    canvas.fill(hair, rgb(0.30, 0.18, 0.10));
    Shape front = intersect(subtract(ellipse(128, 104, 62, 64), ellipse(128, 124, 46, 40)), halfPlane(220, 112, 40, 112));
    canvas.fill(front, scarfRed);
    for (int col = 0; col < 12; col++)
        canvas.fill(intersect(front, circle(60 + col * 12, 86 + (col % 2) * 7, 3.2)), dot);
    canvas.fill(outline(front, 2.5), INK);
    eyes(canvas, h, c.eyes.y, c.eyeSpacing, 8, 4.5, rgb(0.30, 0.18, 0.10), 10, -1.5, 2.5);
    for (int side = -1; side <= 1; side += 2)  // lashes
        canvas.fill(line(128 + side * 25, 122, 128 + side * 30, 119, 2), INK);
    nose(canvas, h, 132, 152, 7, FAIR);
    // Lips and cheeks.
    Shape lips = unite(ellipse(128, c.mouthY - 1, 11, 4), ellipse(128, c.mouthY + 2, 9, 4));
    canvas.fill(lips, rgb(0.72, 0.16, 0.16));
    canvas.fill(line(118, 167, 138, 167, 1.5), INK);
    canvas.fill(circle(104, 150, 8), rgb(0.95, 0.55, 0.50, 0.45));
    canvas.fill(circle(152, 150, 8), rgb(0.85, 0.45, 0.40, 0.45));
    for (int side = -1; side <= 1; side += 2) {
        canvas.fill(circle(128 + side * 44, 166, 5), rgb(0.98, 0.85, 0.30));
        canvas.fill(outline(circle(128 + side * 44, 166, 5), 1.5), INK);
    }
    // Oval frame whose alpha fades over its last pixels, in the picture's own frame.
    canvas.resetView();
    canvas.mask([](double x, double y) { return (std::hypot((x - 128) / 120, (y - 128) / 126) - 1) * 12; });
}

// Portrait 5: a sailor in a peaked cap with a star, a square jaw, a pipe and a striped collar.
void drawPortrait5(Canvas &canvas) {
    Head h = {128, 132, 48, 56};
    // Flat fields of colour: this one is stored with five bits per channel.
    // A deep evening sky: in the scene's negative it turns bright, and the face stands out dark.
    canvas.clear(rgb(0.22, 0.36, 0.58));
    const Composition &c = compose(canvas, 5);
    for (int i = 0; i < 5; i++)
        canvas.fill(box(128, 170 + i * 20, 400, 5), rgb(0.12, 0.20, 0.40));
    neck(canvas, h, RUDDY);
    Shape coat = ellipse(128, 296, 124, 94);
    canvas.fill(coat, rgb(0.12, 0.14, 0.26));
    Shape sailorCollar = polygon({{70, 216}, {128, 256}, {186, 216}, {200, 256}, {56, 256}});
    canvas.fill(sailorCollar, rgb(0.16, 0.20, 0.40));
    for (int i = 0; i < 2; i++)
        canvas.fill(intersect(sailorCollar, outline(polygon({{70 + 8.0 * i, 226 + 6.0 * i}, {128, 262}, {186 - 8.0 * i, 226 + 6.0 * i}}), 3)), WHITE);
    canvas.fill(outline(coat, 3), INK);
    ears(canvas, h, RUDDY);
    face(canvas, h, RUDDY, 1.0);
    canvas.fill(line(128, 184, 128, 190, 2), INK);  // cleft chin
    eyes(canvas, h, c.eyes.y, c.eyeSpacing, 8, 4, INK, 10, 0, 5);
    nose(canvas, h, 128, 156, 10, RUDDY);
    Shape moustache = unite(ellipse(118, 166, 11, 4, 8), ellipse(138, 166, 11, 4, -8));
    canvas.fill(moustache, INK);
    mouth(canvas, 128, c.mouthY, 11, 0);
    // The pipe in the corner of the mouth, with a curl of smoke.
    canvas.fill(line(138, 176, 166, 186, 5), rgb(0.35, 0.20, 0.10));
    Shape bowl = box(170, 180, 7, 10, 3);
    canvas.fill(bowl, rgb(0.45, 0.26, 0.12));
    canvas.fill(outline(bowl, 2), INK);
    std::vector<Point> smoke;
    for (int i = 0; i <= 24; i++)
        smoke.push_back({170 + 6 * std::sin(i * PI / 8), 168.0 - i * 2.5});
    canvas.fill(polyline(smoke, 4), WHITE);
    // Peaked cap: white top, dark band, shiny black visor, star badge.
    Shape top = ellipse(128, 78, 70, 20);
    Shape band = box(128, 92, 52, 10, 3);
    Shape visor = intersect(ellipse(128, 100, 56, 14), halfPlane(40, 100, 220, 100));
    canvas.fill(band, rgb(0.10, 0.10, 0.16));
    canvas.fill(top, WHITE);
    canvas.fill(intersect(top, ellipse(150, 84, 40, 12)), rgb(0.75, 0.76, 0.80));
    canvas.fill(outline(top, 3), INK);
    canvas.fill(outline(band, 2.5), INK);
    canvas.fill(visor, INK);
    canvas.fill(line(96, 105, 124, 108, 2.5), rgb(0.60, 0.62, 0.70));
    std::vector<Point> starPoints;
    for (int i = 0; i < 10; i++) {
        double a = (-90 + 36 * i) * PI / 180, r = i % 2 == 0 ? 9 : 3.6;
        starPoints.push_back({128 + r * std::cos(a), 91 + r * std::sin(a)});
    }
    canvas.fill(polygon(starPoints), rgb(0.95, 0.80, 0.20));
}

// Portrait 6: an aviator in a leather helmet with goggles pushed up, a curled moustache and
// a white scarf.
void drawPortrait6(Canvas &canvas) {
    Head h = {128, 134, 46, 56};
    canvas.clear(rgb(0.16, 0.30, 0.46));
    const Composition &c = compose(canvas, 6);
    // Flat clouds and a biplane far off, for the 16-bit store.
    Colour cloud = rgb(0.45, 0.58, 0.70);
    canvas.fill(unite(unite(circle(40, 60, 18), circle(62, 52, 22)), box(52, 70, 34, 8, 8)), cloud);
    canvas.fill(unite(unite(circle(200, 200, 16), circle(222, 192, 20)), box(212, 208, 32, 8, 8)), cloud);
    canvas.fill(box(214, 40, 18, 2.5, 1), INK);
    canvas.fill(box(214, 48, 18, 2.5, 1), INK);
    canvas.fill(box(214, 44, 10, 3, 2), INK);
    canvas.fill(line(204, 40, 204, 48, 1.5), INK);
    canvas.fill(line(224, 40, 224, 48, 1.5), INK);
    neck(canvas, h, RUDDY);
    Shape jacket = ellipse(128, 300, 128, 96);
    canvas.fill(jacket, rgb(0.30, 0.18, 0.10));
    canvas.fill(outline(jacket, 3), INK);
    // The scarf wraps the neck and flies out to the right.
    Shape scarf = unite(box(128, 212, 50, 14, 10), polygon({{160, 204}, {250, 176}, {240, 196}, {254, 210}, {170, 226}}));
    canvas.fill(scarf, WHITE);
    canvas.fill(line(180, 210, 240, 194, 2), rgb(0.70, 0.70, 0.72));
    canvas.fill(outline(scarf, 2.5), INK);
    face(canvas, h, RUDDY, 0.7);
    eyes(canvas, h, c.eyes.y, c.eyeSpacing, 8, 4.5, INK, 10, 3, 5);
    nose(canvas, h, 130, 160, 10, RUDDY);
    mouth(canvas, 128, c.mouthY, 10, 2);
    // Handlebar moustache with curled tips.
    Shape moustache = unite(ellipse(116, 170, 13, 5, 12), ellipse(140, 170, 13, 5, -12));
    moustache = unite(moustache, outline(circle(98, 164, 6), 4));
    moustache = unite(moustache, outline(circle(158, 164, 6), 4));
    canvas.fill(moustache, INK);
    // Leather helmet: round over the skull, flaps down over the ears with chin straps.
    Shape helmet = unite(intersect(ellipse(128, 112, 56, 60), halfPlane(220, 104, 40, 104)),
                         unite(box(78, 132, 14, 34, 10), box(178, 132, 14, 34, 10)));
    canvas.fill(helmet, rgb(0.45, 0.26, 0.12));
    canvas.fill(intersect(helmet, ellipse(156, 110, 40, 70)), rgb(0.22, 0.12, 0.06, 0.7));
    canvas.fill(line(128, 54, 128, 104, 2.5), INK);  // centre seam
    canvas.fill(outline(helmet, 3), INK);
    canvas.fill(line(80, 166, 104, 196, 4), rgb(0.30, 0.16, 0.08));
    canvas.fill(line(176, 166, 152, 196, 4), rgb(0.30, 0.16, 0.08));
    canvas.fill(intersect(helmet, line(80, 96, 100, 64, 3)), rgb(0.80, 0.58, 0.36));  // light on the leather
    // Goggles pushed up on the forehead: strap, two lenses with glints.
    canvas.fill(box(128, 94, 58, 5, 2), rgb(0.15, 0.10, 0.08));
    for (int side = -1; side <= 1; side += 2) {
        double x = 128 + side * 22;
        canvas.fill(circle(x, 92, 17), rgb(0.70, 0.70, 0.72));
        canvas.fill(circle(x, 92, 12), rgb(0.30, 0.45, 0.55));
        canvas.fill(line(x - 7, 86, x - 2, 82, 3), WHITE);
        canvas.fill(outline(circle(x, 92, 17), 2.5), INK);
        canvas.fill(outline(circle(x, 92, 12), 2), INK);
    }
}
