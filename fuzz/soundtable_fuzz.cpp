// soundtable_fuzz.cpp -- fuzz target for the position tables the web back-end reads: the checked reader, its lookups and the alignment
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "soundtable.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return 0;
}

// A table the reader accepts answers at any frame, writes back to the same bytes, and finds
// its own reference at shift 0 when the reference has sound in it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    SoundTable table;
    if (!readSoundTable(data, size, table).empty())
        return 0;
    if (writeSoundTable(table) != std::vector<uint8_t>(data, data + size))
        abort();
    int64_t frames = table.frames;
    if (table.valueAt(-1) != table.changes.front().value || table.valueAt(frames + 1) != table.changes.back().value)
        abort();
    if (table.endsAt(-1) != 0 || table.endsAt(frames) != int(table.ends.size()))
        abort();
    // the reference, decoded by a decoder that changed nothing, a few frames either side
    const int margin = 64;
    int64_t from = int64_t(table.referenceFrame) - margin;
    int count = int(table.reference.size()) + 2 * margin;
    std::vector<float> decoded(size_t(count), 0.0f);
    for (size_t i = 0; i < table.reference.size(); i++)
        decoded[size_t(margin) + i] = table.reference[i] / 32768.0f;
    SoundAlignment alignment;
    std::string why = alignDecoded(table, decoded.data(), from, count, alignment);
    if (alignment.shift < -margin || alignment.shift > margin)
        abort();
    if (why.empty() && alignment.shift != 0)
        abort();
    return 0;
}
