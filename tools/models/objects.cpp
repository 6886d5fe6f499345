// objects.cpp -- the eleven named objects: samovar, balalaika, emblems, missile, dancers, spiral
#include "models.h"

#include <cmath>

namespace {

const double pi = 3.14159265358979323846;

// Surfaces of curved parts are smoothed up to this angle (radians, just under 90 degrees),
// so that a renderer that smooths keeps the edges of boxes and extrusions sharp.
const float smoothCurves = 1.5625f;

LwoSurfaceDesc surface(const char *name, float r, float g, float b, float specular = 0.3f,
                       float smoothing = 0.0f) {
    LwoSurfaceDesc s;
    s.smoothingAngle = smoothing;
    s.name = name;
    s.red = r;
    s.green = g;
    s.blue = b;
    s.specular = specular;
    return s;
}

// Round some corners of a convex, counter-clockwise polygon: radius[i] at vertex i (0 keeps
// the corner sharp), each arc cut into `steps` pieces.
Contour roundCorners(const Contour &poly, const std::vector<double> &radius, int steps) {
    Contour out;
    size_t n = poly.size();
    for (size_t i = 0; i < n; i++) {
        V2 prev = poly[(i + n - 1) % n], v = poly[i], next = poly[(i + 1) % n];
        if (radius[i] <= 0) {
            out.push_back(v);
            continue;
        }
        V2 din = {v.x - prev.x, v.y - prev.y}, dout = {next.x - v.x, next.y - v.y};
        double lin = std::hypot(din.x, din.y), lout = std::hypot(dout.x, dout.y);
        din = {din.x / lin, din.y / lin};
        dout = {dout.x / lout, dout.y / lout};
        // Outward normals of a counter-clockwise polygon point to the right of each edge.
        double ain = std::atan2(-din.x, din.y), aout = std::atan2(-dout.x, dout.y);
        double turn = aout - ain;
        while (turn < 0) turn += 2 * pi;
        double halfTurn = turn / 2;
        // The arc's centre lies inside the corner at radius from both edges.
        V2 bis = {dout.x - din.x, dout.y - din.y};
        double lb = std::hypot(bis.x, bis.y);
        double d = radius[i] / std::cos(halfTurn);
        V2 c = {v.x + bis.x / lb * d, v.y + bis.y / lb * d};
        for (int s = 0; s <= steps; s++) {
            double a = ain + turn * s / steps;
            out.push_back({c.x + radius[i] * std::cos(a), c.y + radius[i] * std::sin(a)});
        }
    }
    return out;
}

// An urn on a stand with legs, a crown carrying a teapot, two loop handles and a spigot
// at the front; 1 unit tall, centred at the origin.
Model samovar() {
    Model m;
    m.path = "3d/samovar.lwo";
    m.surfaces = {surface("Brass", 0.95f, 0.75f, 0.2f, 0.6f, smoothCurves),
                  surface("Wood", 0.35f, 0.2f, 0.1f, 0.3f, smoothCurves)};
    const int seg = 20;
    m.mesh = lathe({{0, -0.42}, {0.15, -0.42}, {0.16, -0.40}, {0.11, -0.36}, {0.09, -0.32},
                    {0.12, -0.29}, {0.20, -0.26}, {0.26, -0.19}, {0.29, -0.09}, {0.30, 0.0},
                    {0.285, 0.09}, {0.25, 0.15}, {0.19, 0.19}, {0.13, 0.21}, {0.12, 0.24},
                    {0.17, 0.27}, {0.18, 0.29}, {0.14, 0.30}, {0.09, 0.31}, {0, 0.315}},
                   seg);
    // The teapot kept warm on the crown.
    Mesh pot = lathe({{0, 0.30}, {0.07, 0.30}, {0.10, 0.34}, {0.105, 0.38}, {0.09, 0.42},
                      {0.05, 0.44}, {0.05, 0.455}, {0.02, 0.47}, {0.028, 0.485}, {0, 0.50}},
                     16);
    m.mesh.append(pot);
    m.mesh.append(tube({{0.08, 0.35, 0}, {0.14, 0.37, 0}, {0.18, 0.42, 0}}, {0.02, 0.014, 0.01}, 8));
    m.mesh.append(tube({{-0.085, 0.41, 0}, {-0.14, 0.41, 0}, {-0.15, 0.37, 0}, {-0.09, 0.34, 0}},
                       {0.012, 0.012, 0.012, 0.012}, 8));
    // Four ball feet under the stand.
    for (int i = 0; i < 4; i++) {
        double a = pi / 4 + i * pi / 2;
        m.mesh.append(ellipsoid(V3(0.11 * std::cos(a), -0.455, 0.11 * std::sin(a)),
                                V3(0.035, 0.045, 0.035), 10, 5));
    }
    // Loop handles on both sides, with wooden grips.
    for (int side = -1; side <= 1; side += 2) {
        std::vector<V3> loop = {{0.26, 0.10, 0}, {0.33, 0.13, 0}, {0.39, 0.10, 0}, {0.41, 0.03, 0},
                                {0.39, -0.04, 0}, {0.33, -0.07, 0}, {0.27, -0.06, 0}};
        for (V3 &p : loop) p.x *= side;
        m.mesh.append(tube(loop, std::vector<double>(loop.size(), 0.014), 8));
        Mesh grip = ellipsoid(V3(0.405 * side, 0.03, 0), V3(0.025, 0.06, 0.025), 8, 5);
        grip.setSurface(1);
        m.mesh.append(grip);
    }
    // The spigot at the front and the key of its tap.
    m.mesh.append(tube({{0, -0.14, 0.25}, {0, -0.14, 0.36}, {0, -0.16, 0.41}, {0, -0.21, 0.43}},
                       {0.03, 0.025, 0.022, 0.018}, 10));
    Mesh key = box(V3(-0.045, -0.12, 0.335), V3(0.045, -0.10, 0.355));
    key.append(box(V3(-0.008, -0.125, 0.335), V3(0.008, -0.10, 0.355)));
    key.setSurface(1);
    m.mesh.append(key);
    centre(m.mesh, false, true, false);
    return m;
}

// Triangular body with a sound-hole ring, frets and strings on a long neck, a head with
// three pegs; 1 unit tall, centred at the origin, soundboard facing +z.
Model balalaika() {
    Model m;
    m.path = "3d/balalaika.lwo";
    m.surfaces = {surface("Body", 0.8f, 0.5f, 0.2f), surface("Neck", 0.3f, 0.15f, 0.05f),
                  surface("Metal", 0.9f, 0.9f, 0.9f, 0.8f)};
    // Body: straight bottom, slightly bulging sides.
    Contour body = {{-0.25, -0.50}, {0.25, -0.50}};
    for (int i = 1; i <= 6; i++) {
        double t = i / 7.0;
        double bulge = 0.035 * std::sin(t * pi);
        body.push_back({0.25 * (1 - t) + bulge * 0.87, -0.50 + 0.46 * t + bulge * 0.5});
    }
    body.push_back({0.0, -0.04});
    for (int i = 6; i >= 1; i--) {
        double t = i / 7.0;
        double bulge = 0.035 * std::sin(t * pi);
        body.push_back({-0.25 * (1 - t) - bulge * 0.87, -0.50 + 0.46 * t + bulge * 0.5});
    }
    std::vector<double> radii(body.size(), 0.0);
    radii[0] = radii[1] = 0.05;
    radii[8] = 0.03;
    m.mesh = extrude({roundCorners(body, radii, 5)}, -0.07, 0.02);
    // Sound-hole ring on the soundboard.
    m.mesh.append(extrude({circle({0, -0.27}, 0.07, 20), reversed(circle({0, -0.27}, 0.048, 20))},
                          0.02, 0.034));
    Mesh neck = box(V3(-0.028, -0.10, -0.01), V3(0.028, 0.36, 0.035));
    neck.append(extrude({{{-0.03, 0.35}, {0.03, 0.35}, {0.052, 0.44}, {0.045, 0.485}, {0, 0.50},
                          {-0.045, 0.485}, {-0.052, 0.44}}},
                        -0.01, 0.03));
    neck.append(box(V3(-0.055, -0.43, 0.02), V3(0.055, -0.415, 0.04)));  // bridge
    neck.setSurface(1);
    m.mesh.append(neck);
    Mesh metal;
    for (double y = 0.31; y > -0.07; y -= 0.045 + (0.31 - y) * 0.06)
        metal.append(box(V3(-0.028, y - 0.003, 0.035), V3(0.028, y + 0.003, 0.041)));
    for (int s = -1; s <= 1; s++)
        metal.append(box(V3(s * 0.014 - 0.002, -0.46, 0.043), V3(s * 0.014 + 0.002, 0.36, 0.048)));
    const double pegY[3] = {0.40, 0.465, 0.43};
    const int pegSide[3] = {-1, -1, 1};
    for (int i = 0; i < 3; i++) {
        double s = pegSide[i];
        metal.append(tube({{0.04 * s, pegY[i], 0.01}, {0.10 * s, pegY[i], 0.01}}, {0.01, 0.01}, 8));
        metal.append(ellipsoid(V3(0.11 * s, pegY[i], 0.01), V3(0.018, 0.014, 0.007), 8, 4));
    }
    metal.setSurface(2);
    m.mesh.append(metal);
    return m;
}

// Crossed hammer and sickle, extruded; 1 unit across.
Model sirppijavasara() {
    Model m;
    m.path = "3d/sirppijavasara.lwo";
    LwoSurfaceDesc s = surface("Emblem", 1.0f, 0.85f, 0.0f, 0.5f);
    s.image = "data/textures/kaavio1.tga";
    m.surfaces = {s};
    std::vector<Contour> parts;
    // Sickle blade: a crescent from the handle round the right side to the tip at the top left.
    V2 c = {0.0, 0.04};
    const double r = 0.36, a0 = 240 * pi / 180, a1 = 490 * pi / 180;
    const int steps = 40;
    Contour blade;
    for (int i = 0; i <= steps; i++) {
        double a = a0 + (a1 - a0) * i / steps;
        blade.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    for (int i = steps - 1; i >= 0; i--) {
        double t = double(i) / steps;
        double a = a0 + (a1 - a0) * t;
        double w = 0.095 * std::pow(1 - t, 0.6) * (0.6 + 0.4 * std::sin(pi * std::min(1.0, t * 1.3)));
        blade.push_back({c.x + (r - w) * std::cos(a), c.y + (r - w) * std::sin(a)});
    }
    parts.push_back(counterClockwise(blade));
    V2 start = {c.x + r * std::cos(a0) - 0.02, c.y + r * std::sin(a0) + 0.02};
    parts.push_back(counterClockwise(rectangle({start.x - 0.08, start.y - 0.09}, 0.14, 0.04, 48)));
    parts.push_back(counterClockwise(rectangle({start.x + 0.01, start.y + 0.01}, 0.035, 0.05, 48)));
    // Hammer: handle from the lower right to the head at the upper left.
    parts.push_back(counterClockwise(rectangle({0.09, -0.13}, 0.34, 0.045, 135)));
    parts.push_back(counterClockwise(rectangle({-0.15, 0.12}, 0.17, 0.07, 45)));
    fitContours(parts, 1.0);
    m.mesh = extrude(parts, -0.04, 0.04);
    mapUvPlanar(m.mesh);
    return m;
}

// Body, nose cone and four tail fins, 0.6 units long along +y with the nose at +y.
Model missile() {
    Model m;
    m.path = "3d/missile.lwo";
    m.surfaces = {surface("Hull", 0.8f, 0.8f, 0.75f, 0.5f, smoothCurves), surface("Fins", 0.6f, 0.1f, 0.1f)};
    m.mesh = lathe({{0, -0.30}, {0.03, -0.30}, {0.04, -0.285}, {0.045, -0.27}, {0.045, 0.12},
                    {0.043, 0.16}, {0.036, 0.21}, {0.025, 0.25}, {0.012, 0.282}, {0, 0.30}},
                   12);
    for (int i = 0; i < 4; i++) {
        Mesh fin = extrude({{{0.03, -0.27}, {0.13, -0.30}, {0.13, -0.245}, {0.03, -0.13}}}, -0.006, 0.006);
        Mesh canard = extrude({{{0.03, 0.02}, {0.075, 0.035}, {0.075, 0.06}, {0.03, 0.09}}}, -0.004, 0.004);
        fin.append(canard);
        rotateY(fin, 90 * i);
        fin.setSurface(1);
        m.mesh.append(fin);
    }
    return m;
}

// Joint positions of one dancer pose (figure facing +z, its left side at +x).
struct Pose {
    double hipY, shoulderY;
    V3 hip[2], knee[2], ankle[2], toe[2];      // [0] left (+x), [1] right (-x)
    V3 shoulder[2], elbow[2], hand[2];
};

// A folk dancer in a belted shirt with a fur hat; about 0.5 units tall standing, feet at y = 0.
Model dancer(const char *path, const Pose &p, bool mirror) {
    Model m;
    m.path = path;
    m.surfaces = {surface("Shirt", 0.9f, 0.1f, 0.1f, 0.3f, smoothCurves),
                  surface("Trousers", 0.1f, 0.1f, 0.5f, 0.3f, smoothCurves),
                  surface("Skin", 1.0f, 0.8f, 0.6f, 0.3f, smoothCurves),
                  surface("Boots", 0.15f, 0.1f, 0.05f, 0.3f, smoothCurves)};
    const int seg = 8;
    double h = p.hipY, s = p.shoulderY;
    Mesh torso = lathe({{0, h - 0.02}, {0.064, h - 0.02}, {0.06, h + 0.01}, {0.05, h + 0.04},
                        {0.052, h + 0.06}, {0.06, s - 0.04}, {0.058, s - 0.005}, {0.025, s + 0.012},
                        {0, s + 0.012}},
                       12);
    scale(torso, V3(1, 1, 0.72));
    m.mesh.append(torso);
    Mesh skin = tube({{0, s, 0}, {0, s + 0.03, 0}}, {0.016, 0.016}, seg);
    skin.append(ellipsoid(V3(0, s + 0.052, 0.004), V3(0.034, 0.038, 0.034), 10, 6));
    for (int i = 0; i < 2; i++) skin.append(ellipsoid(p.hand[i], V3(0.017, 0.017, 0.017), seg, 4));
    skin.setSurface(2);
    m.mesh.append(skin);
    // A fur hat, wider than the head so that the two read apart.
    Mesh hat = lathe({{0, s + 0.07}, {0.046, s + 0.07}, {0.05, s + 0.09}, {0.047, s + 0.112},
                      {0, s + 0.116}},
                     10);
    hat.setSurface(3);
    m.mesh.append(hat);
    Mesh arms, legs, boots;
    for (int i = 0; i < 2; i++) {
        arms.append(limbChain({p.shoulder[i], p.elbow[i], p.hand[i]}, {0.019, 0.016, 0.013}, seg));
        legs.append(limbChain({p.hip[i], p.knee[i]}, {0.03, 0.027}, seg));
        boots.append(limbChain({p.knee[i], p.ankle[i], p.toe[i]}, {0.025, 0.022, 0.016}, seg));
    }
    legs.setSurface(1);
    boots.setSurface(3);
    m.mesh.append(arms);
    m.mesh.append(legs);
    m.mesh.append(boots);
    if (mirror) scale(m.mesh, V3(-1, 1, 1));
    return m;
}

Pose standingArmsFolded() {
    Pose p;
    p.hipY = 0.25;
    p.shoulderY = 0.385;
    for (int i = 0; i < 2; i++) {
        double sx = i == 0 ? 1 : -1;
        p.hip[i] = V3(0.036 * sx, 0.25, 0);
        p.knee[i] = V3(0.04 * sx, 0.14, 0.008);
        p.ankle[i] = V3(0.042 * sx, 0.03, 0);
        p.toe[i] = V3(0.048 * sx, 0.016, 0.06);
        p.shoulder[i] = V3(0.068 * sx, 0.37, 0);
        p.elbow[i] = V3(0.085 * sx, 0.30, 0.035);
    }
    // Forearms folded across the chest, the right one above the left.
    p.hand[0] = V3(-0.055, 0.325, 0.07);
    p.hand[1] = V3(0.055, 0.34, 0.08);
    return p;
}

// Squatting on the right leg, the left leg kicked out to the side and forward, arms spread.
Pose squatKickLeft() {
    Pose p;
    p.hipY = 0.15;
    p.shoulderY = 0.285;
    p.hip[0] = V3(0.036, 0.15, 0);
    p.knee[0] = V3(0.115, 0.115, 0.06);
    p.ankle[0] = V3(0.195, 0.05, 0.12);
    p.toe[0] = V3(0.215, 0.095, 0.155);
    p.hip[1] = V3(-0.036, 0.15, 0);
    p.knee[1] = V3(-0.055, 0.165, 0.105);
    p.ankle[1] = V3(-0.05, 0.03, 0.05);
    p.toe[1] = V3(-0.052, 0.016, 0.11);
    for (int i = 0; i < 2; i++) {
        double sx = i == 0 ? 1 : -1;
        p.shoulder[i] = V3(0.068 * sx, 0.27, 0);
        p.elbow[i] = V3(0.14 * sx, 0.285, 0.01);
        p.hand[i] = V3(0.21 * sx, 0.305, 0.03);
    }
    return p;
}

Model rave(const GlyphSource &font) {
    Model m;
    m.path = "3d/rave.lwo";
    LwoSurfaceDesc s = surface("Rave", 1.0f, 1.0f, 0.0f, 0.5f);
    s.image = "data/textures/portrait1.tga";
    m.surfaces = {s};
    m.mesh = buildWord(font, "rave", 1.0, 0.15);
    mapUvPlanar(m.mesh);
    return m;
}

// Flat ribbon of four turns, 3 units across, facing +z; it widens as it winds outwards.
Model spiral() {
    Model m;
    m.path = "3d/spiral.lwo";
    LwoSurfaceDesc s = surface("Ribbon", 1.0f, 1.0f, 0.2f);
    s.doubleSided = true;
    s.image = "data/textures/picture1.tga";
    m.surfaces = {s};
    m.solid = false;
    const double turns = 4, r0 = 0.12, r1 = 1.48, w0 = 0.01, w1 = 0.09;
    const int steps = int(turns * 48);
    for (int i = 0; i <= steps; i++) {
        double t = double(i) / steps, a = 2 * pi * turns * t;
        double r = r0 + (r1 - r0) * t, w = w0 + (w1 - w0) * std::sqrt(t);
        m.mesh.addPoint(V3((r - w) * std::cos(a), (r - w) * std::sin(a), 0));
        m.mesh.addPoint(V3((r + w) * std::cos(a), (r + w) * std::sin(a), 0));
    }
    for (int i = 0; i < steps; i++) {
        int in0 = 2 * i, out0 = 2 * i + 1, in1 = 2 * i + 2, out1 = 2 * i + 3;
        m.mesh.addTriangle(in0, out0, out1);
        m.mesh.addTriangle(in0, out1, in1);
    }
    centre(m.mesh, true, true, false);
    mapUvPlanar(m.mesh);
    return m;
}

// Lightning bolt, 0.42 units tall.
Model flash() {
    Model m;
    m.path = "3d/fuckguidelines.lwo";
    m.surfaces = {surface("Flash", 0.9f, 0.1f, 0.0f, 0.5f)};
    std::vector<Contour> bolt = {counterClockwise({{-0.02, 0.20}, {0.13, 0.20}, {0.035, 0.045},
                                                   {0.12, 0.045}, {-0.09, -0.22}, {-0.015, -0.03},
                                                   {-0.10, -0.03}})};
    fitContours(bolt, 0.42);
    m.mesh = extrude(bolt, -0.03, 0.03);
    return m;
}

// An arrow pointing west (-x), 1 unit long.
Model goWest() {
    Model m;
    m.path = "3d/gowest.lwo";
    LwoSurfaceDesc s = surface("Arrow", 0.2f, 0.4f, 1.0f);
    s.image = "data/textures/kaavio2.tga";
    m.surfaces = {s};
    m.mesh = extrude({counterClockwise({{-0.5, 0}, {-0.18, 0.24}, {-0.18, 0.09}, {0.5, 0.09},
                                        {0.5, -0.09}, {-0.18, -0.09}, {-0.18, -0.24}})},
                     -0.05, 0.05);
    mapUvPlanar(m.mesh);
    return m;
}

}  // namespace

std::vector<Model> buildNamedObjects(const GlyphSource &font) {
    std::vector<Model> models;
    models.push_back(sirppijavasara());
    models.push_back(goWest());
    models.push_back(missile());
    models.push_back(balalaika());
    models.push_back(samovar());
    models.push_back(dancer("3d/ripaska_left.lwo", squatKickLeft(), false));
    models.push_back(dancer("3d/ripaska_right.lwo", squatKickLeft(), true));
    models.push_back(dancer("3d/ripaska_still.lwo", standingArmsFolded(), false));
    models.push_back(flash());
    models.push_back(rave(font));
    models.push_back(spiral());
    return models;
}

std::vector<Model> buildAllModels(const GlyphSource &font) {
    std::vector<Model> all = buildNamedObjects(font);
    for (Model &m : buildLetters(font)) all.push_back(m);
    for (Model &m : all) weldPoints(m.mesh);
    return all;
}

LwoMeshDesc toLwo(const Model &model) {
    LwoMeshDesc d;
    for (const V3 &p : model.mesh.points) {
        d.points.push_back(float(p.x));
        d.points.push_back(float(p.y));
        d.points.push_back(float(p.z));
    }
    for (size_t i = 0; i < model.mesh.triangles.size(); i++) {
        const std::array<int, 3> &t = model.mesh.triangles[i];
        d.triangles.push_back({uint32_t(t[0]), uint32_t(t[1]), uint32_t(t[2]),
                               uint16_t(model.mesh.surfaces[i])});
    }
    d.surfaces = model.surfaces;
    for (const V2 &uv : model.mesh.uvs) {
        d.uvs.push_back(float(uv.x));
        d.uvs.push_back(float(uv.y));
    }
    return d;
}
