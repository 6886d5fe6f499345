// endwords.h -- the end part's word record, shared by the player and the music tool that
// checks the words of endwords.inc against the song
#pragma once

struct endScrolltext {
    float x;           // horizontal offset added to every letter position
    float y;           // vertical position of the word
    int position;      // stream byte position at which the word becomes current
    const char *text;  // the word; null ends the end part
};
