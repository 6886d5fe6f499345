// load.cpp -- reads the audio files into memory, checks that an XM module lies whole inside its file, and tells how long one plays
#include "engine.h"
#include "wholefile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace engine {

// The bytes a load names: the file, or with `mem` the `length` bytes at `file` + `offset`.
// From a file, `offset` bytes are skipped and `length` (0: all the rest) are kept.
std::string loadBytes(BOOL mem, const char *file, DWORD offset, DWORD length, std::vector<uint8_t> &bytes) {
    if (!file)
        return "no file named";
    if (mem) {
        if (length == 0)
            return "no length given for data in memory";
        if (length > WHOLE_FILE_LIMIT)
            return "data too large (" + std::to_string(length) + " bytes)";
        const uint8_t *at = reinterpret_cast<const uint8_t *>(file) + offset;
        bytes.assign(at, at + length);
        return "";
    }
    std::string why = readWholeFile(file, bytes);
    if (!why.empty())
        return why;
    if (offset > bytes.size())
        return "offset " + std::to_string(offset) + " lies past the end (" + std::to_string(bytes.size()) + " bytes)";
    bytes.erase(bytes.begin(), bytes.begin() + offset);
    if (length > 0 && length < bytes.size())
        bytes.resize(length);
    return "";
}

static uint32_t le16(const std::vector<uint8_t> &b, uint64_t at) {
    return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0;
}

static uint32_t le32(const std::vector<uint8_t> &b, uint64_t at) {
    return at + 4 <= b.size() ? le16(b, at) | le16(b, at + 2) << 16 : 0;
}

// An XM file whose patterns, instruments and sample data all lie inside it: "" then, else
// what is wrong. libopenmpt would play a truncated module with the missing parts silent;
// we refuse it instead.
const char *checkXm(const std::vector<uint8_t> &b) {
    static const char signature[] = "Extended Module: ";
    if (b.empty())
        return "empty file";
    if (b.size() < 17 || memcmp(b.data(), signature, 17) != 0)
        return "not an XM module";
    const char *truncated = "truncated XM module";
    if (b.size() < 80)
        return truncated;
    uint64_t pos = 60 + uint64_t(le32(b, 60));
    uint32_t patterns = le16(b, 70);
    uint32_t instruments = le16(b, 72);
    for (uint32_t p = 0; p < patterns; p++) {
        if (pos + 9 > b.size())
            return truncated;
        pos += uint64_t(le32(b, pos)) + le16(b, pos + 7);  // header length, packed data size
    }
    for (uint32_t i = 0; i < instruments; i++) {
        if (pos + 29 > b.size())
            return truncated;
        uint64_t headerSize = std::max<uint32_t>(le32(b, pos), 29);
        uint32_t samples = le16(b, pos + 27);
        if (samples == 0) {
            pos += headerSize;
            continue;
        }
        if (pos + 33 > b.size())
            return truncated;
        uint64_t sampleHeaderSize = le32(b, pos + 29);
        pos += headerSize;
        uint64_t data = 0;
        for (uint32_t s = 0; s < samples; s++) {
            if (pos + 4 > b.size())
                return truncated;
            data += le32(b, pos);  // sample length in bytes
            pos += sampleHeaderSize;
        }
        pos += data;
    }
    return pos <= b.size() ? "" : truncated;
}

DWORD takeHandle() {
    DWORD h = nextHandle++;
    if (nextHandle == 0)
        nextHandle = 1;
    return h;
}

// A load that failed: keeps the reason for audioLoadError and returns handle 0.
DWORD refuse(const std::string &why) {
    loadError = why;
    return 0;
}

}  // namespace engine

double audioModuleFileSeconds(const char *path) {
    std::vector<uint8_t> bytes;
    if (!engine::loadBytes(0, path, 0, 0, bytes).empty() || *engine::checkXm(bytes))
        return -1;
    std::unique_ptr<openmpt::module> module = engine::createModule(bytes, false);
    return module ? module->get_duration_seconds() : -1;
}
