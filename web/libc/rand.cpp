// rand.cpp -- rand() and srand() as glibc computes them, so the web build draws the desktop's random numbers
//
// The scenes take their random draws from the C library's one generator, unseeded, and the
// desktop's is glibc's. The web's C library (musl) has another generator, which would lay the
// swarm out, shake the balalaika and scatter the missiles differently from the desktop and its
// captures. This is glibc's default generator: an additive feedback generator over 31 words,
// seeded by a Lehmer generator and run 310 steps before its first number, seed 1 unless srand
// says otherwise.
#include <cstdint>

static const int DEGREE = 31, SEPARATION = 3;  // glibc's TYPE_3 generator
static int32_t state[DEGREE];
static int front, rear;  // indices of the two words added for the next number
static bool seeded;      // srand has run, or rand has seeded with 1

static int32_t next() {
    state[front] = int32_t(uint32_t(state[front]) + uint32_t(state[rear]));
    int32_t result = int32_t(uint32_t(state[front]) >> 1);
    front = (front + 1) % DEGREE;
    rear = (rear + 1) % DEGREE;
    return result;
}

extern "C" void srand(unsigned seed) {
    if (seed == 0)
        seed = 1;
    state[0] = int32_t(seed);
    int32_t word = int32_t(seed);
    for (int i = 1; i < DEGREE; i++) {
        // 16807 * word % (2^31 - 1), without overflow (Schrage's method)
        int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        state[i] = word;
    }
    front = SEPARATION;
    rear = 0;
    for (int i = 0; i < 10 * DEGREE; i++)
        next();
    seeded = true;
}

extern "C" int rand(void) {
    if (!seeded)
        srand(1);
    return next();
}
