// closest_frame.cpp -- how closely screenshots match the nearest of a run of video frames
// Usage: closest_frame FRAMES.rgb SHOT.rgb...   (640x480 RGB, 8 bits a channel; FRAMES holds any
// number of frames one after another and may be /dev/stdin). Prints for each shot the share of
// pixels below the status line (rows 30 on) that differ by more than 48 in some channel from
// its closest frame, and that frame's index: "0.0015 687".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

static const int WIDTH = 640, HEIGHT = 480, TOP = 30;  // pixels; the status line lies above TOP
static const int TOLERANCE = 48;                       // rasterisers differ by a little at edges

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: closest_frame FRAMES.rgb SHOT.rgb...\n");
        return 2;
    }
    const size_t size = size_t(WIDTH) * HEIGHT * 3;
    int shots = argc - 2;
    std::vector<std::vector<unsigned char>> shot(shots, std::vector<unsigned char>(size));
    for (int s = 0; s < shots; s++) {
        FILE *file = fopen(argv[2 + s], "rb");
        bool read = file && fread(shot[s].data(), 1, size, file) == size;
        if (file)
            fclose(file);
        if (!read) {
            fprintf(stderr, "closest_frame: cannot read %s as 640x480 RGB\n", argv[2 + s]);
            return 1;
        }
    }
    FILE *frames = fopen(argv[1], "rb");
    if (!frames) {
        fprintf(stderr, "closest_frame: cannot open %s\n", argv[1]);
        return 1;
    }
    const long counted = long(WIDTH) * (HEIGHT - TOP);
    std::vector<long> best(shots, counted + 1), bestIndex(shots, -1);
    std::vector<unsigned char> frame(size);
    for (long index = 0; fread(frame.data(), 1, size, frames) == size; index++) {
        for (int s = 0; s < shots; s++) {
            long differ = 0;
            for (size_t p = size_t(WIDTH) * TOP * 3; p < size && differ < best[s]; p += 3) {
                int worst = 0;
                for (int c = 0; c < 3; c++)
                    worst = std::max(worst, std::abs(int(shot[s][p + c]) - int(frame[p + c])));
                differ += worst > TOLERANCE;
            }
            if (differ < best[s]) {
                best[s] = differ;
                bestIndex[s] = index;
            }
        }
    }
    if (bestIndex[0] < 0) {
        fprintf(stderr, "closest_frame: no frame in %s\n", argv[1]);
        return 1;
    }
    for (int s = 0; s < shots; s++)
        printf("%.4f %ld\n", double(best[s]) / counted, bestIndex[s]);
    return 0;
}
