// timeline.h -- the scene timeline: the scenes in order, the module position they follow, its end
#pragma once
#include "scenes.h"

#include <cstdint>

// The module position: the audio engine's position word, order in the low 16 bits and row in
// the high 16 bits, each unsigned.
struct ModulePosition {
    int order;
    int row;
    bool known;  // false for NO_POSITION
};
// The word for "no module": it matches no timeline row and ends nothing.
const uint32_t NO_POSITION = 0xFFFFFFFF;

inline ModulePosition decodePosition(uint32_t word) {
    return {int(word & 0xFFFF), int((word >> 16) & 0xFFFF), word != NO_POSITION};
}

// Positions compared in play order: a row number never reaches 256.
inline int positionKey(int order, int row) {
    return order * 256 + row;
}

// Every order of our module has 64 rows: rows played from the start to a position.
const int ORDER_ROWS = 64;
constexpr int rowsFromStart(int order, int row) {
    return order * ORDER_ROWS + row;
}

// The end part begins when the module reaches order 20 row 62 or a later row of that order.
// SceneTable's terminating row stands one row further, at order 20 row 63.
const int TIMELINE_END_ORDER = 20;
const int TIMELINE_END_ROW = 62;
const int TIMELINE_ROWS = rowsFromStart(TIMELINE_END_ORDER, TIMELINE_END_ROW);  // rows up to the end part

// One row of the timeline. The first three fields are the timeline itself, as the frame
// driver walks it; the others say what the rest of the program needs to know of the scene.
struct SceneEntry {
    int order;                   // module order at which the row begins
    int row;                     // module row at which the row begins
    RenderFunction render;       // null marks the end of the timeline
    const char *name = nullptr;  // the scene's name in the tools' and benchmarks' output
    void (*init)() = nullptr;    // run once by the effect set-up, after the loaders; null for none
    // The effect set-up runs the initialisers by this turn (1 first), not in timeline order:
    // the missiles and the swarm take their first random draws in this order.
    int initTurn = 0;
    // Drawing piles up between colour clears (trails), so the frame driver keeps the picture;
    // scenes that clear on every frame skip the cost of copying it.
    bool keepsPicture = false;
    // A moment typical of the scene: the scene benchmark measures its order, the contact
    // sheet pictures it.
    int showOrder = 0, showRow = 0;
};

// The scenes in order, ended by a row without a render function.
extern const SceneEntry SceneTable[];
