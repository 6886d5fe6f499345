// synth.h -- synthesises the instrument samples that both modules play
#pragma once
#include "xmwriter.h"

// Every sample is made at this rate; the tuning fields of each sample say how to play it.
extern const int synthRate;  // samples per second

// Percussion plays at its own rate on note C-4 (drumNote); melodic instruments are tuned so
// that XM note n sounds at 440 * 2^((n - 58) / 12) Hz.
extern const int drumNote;  // XM note number of C-4

XmInstrument makeKick();
XmInstrument makeSnare();
XmInstrument makeHat();
XmInstrument makeCrash();
XmInstrument makeBass();
XmInstrument makeBalalaika();
XmInstrument makeAccordion();
XmInstrument makeLead();
