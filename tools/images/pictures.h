// pictures.h -- the drawings of the shipped images
#pragma once
#include "raster.h"

void drawParticle(Canvas &canvas);
void drawPoster1(Canvas &canvas);
void drawPoster2(Canvas &canvas);
void drawBarChart(Canvas &canvas);
void drawFlowChart(Canvas &canvas);
void drawPortrait1(Canvas &canvas);
void drawPortrait2(Canvas &canvas);
void drawPortrait3(Canvas &canvas);
void drawPortrait4(Canvas &canvas);
void drawPortrait5(Canvas &canvas);
void drawPortrait6(Canvas &canvas);

// Where portrait 1 to 6 has its eyes and its mouth, in pixels of the 256 x 256 picture (top
// row 0), for checking that the faces sit where the portrait scene shows them.
struct FaceMarks {
    Point leftEye, rightEye, mouth;
};
FaceMarks portraitFace(int number);
