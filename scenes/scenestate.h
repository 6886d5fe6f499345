// scenestate.h -- the timeline scenes' state, for the tests that read it
#pragma once
#include "scenes.h"

// captions
extern int captionIndex;  // current row of the caption table

// samovar and balalaika
const int SAMOVAR_COPIES = 6;  // one copy per samovar list
extern float samovarSpin;      // degrees, base angle of every copy

// sirppijavasara swarm
const int SWARM_COPIES = 10;
extern float scaleX[SWARM_COPIES], scaleY[SWARM_COPIES], scaleZ[SWARM_COPIES];
extern float offsetX[SWARM_COPIES], offsetY[SWARM_COPIES], offsetZ[SWARM_COPIES];
extern float sirppijavasaraSpin;       // degrees, each copy's own tilt
extern bool sirppijavasaraReseeded;    // the layout of this multiple-of-8 row is done

// portraits
const int PORTRAIT_COUNT = 6;
extern float portraitX[PORTRAIT_COUNT];                 // world units, centre of each square
extern unsigned int portraitTextures[PORTRAIT_COUNT];  // GL texture names, in drawing order

// ripaska dancers
extern unsigned int ripaskaLeftList, ripaskaRightList, ripaskaStillList;
extern unsigned int ripaskaPose;  // the pose list drawn now
extern float ripaskaSpin;         // degrees about the vertical axis

// missile rain
const int MISSILE_COUNT = 50;
// the scene's arrays x, z and travel, under names that say whose they are
extern float (&missileX)[MISSILE_COUNT];       // sideways offset of each missile's path
extern float (&missileZ)[MISSILE_COUNT];       // offset across the path
extern float (&missileTravel)[MISSILE_COUNT];  // position along the path, -7.5 to 7.5
extern float missileSpin;            // degrees, roll of the whole picture and swing of the fan
extern float missileSpeed;           // travel per missile per frame
extern unsigned int missileList;
