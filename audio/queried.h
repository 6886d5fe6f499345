// queried.h -- the rule for the frame the position queries answer for, shared by the desktop engine (clock.cpp) and the web back-end (webaudio.cpp)
#pragma once
#include <algorithm>
#include <cstdint>

// The frame heard `ahead` frames from now, so that a picture drawn from the answer shows what
// is heard when it appears; never before `heard`, never past `rendered` (no stamps lie beyond,
// nothing can still be started before it), and never earlier than the last answer, which
// `lastQueried` holds and is given this one. The lookahead follows the frames' drawing times
// and may fall at any frame (a slow first frame, then fast ones): the answer then holds until
// the music catches up with it, as a position that stepped back would show the pictures of an
// earlier moment again.
inline int64_t nextQueriedFrame(int64_t heard, int64_t ahead, int64_t rendered, int64_t &lastQueried) {
    int64_t queried = std::max(heard, std::min(heard + ahead, rendered));
    queried = std::max(queried, lastQueried);
    lastQueried = queried;
    return queried;
}
