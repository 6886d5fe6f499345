// ripaska.cpp -- the rave model grows in, then one to four dancers change pose with the rows
#include "scenes.h"
#include "effects.h"
#include "scenestate.h"

#include <GL/gl.h>

unsigned int ripaskaLeftList;   // lit yellow dancer, left pose
unsigned int ripaskaRightList;  // lit yellow dancer, right pose
unsigned int ripaskaStillList;  // lit yellow dancer, still pose
unsigned int ripaskaPose;       // the pose list drawn now
float ripaskaSpin;              // degrees about the vertical axis; grows by 1.5 per frame

// Where the dancers of one order stand, in drawing order, and how they squash.
struct DancerLineUp {
    int count;
    float place[4][2];    // (x, y) of each dancer
    float offBeatDepth;   // z scale on rows that are not multiples of 4
};

// Orders 10 to 13. Only the two-by-two grid of order 13 keeps its beat depth off the beat.
static const DancerLineUp dancerLineUps[4] = {
    {1, {{0, -0.8f}}, 3},
    {2, {{-1, -0.8f}, {1, -0.8f}}, 3},
    {3, {{-1.5f, -0.8f}, {0, -0.8f}, {1.5f, -0.8f}}, 3},
    {4, {{-1, 0}, {1, 0}, {-1, -1.6f}, {1, -1.6f}}, 6},
};

void initRipaska() {
    ripaskaLeftList = ripaskaLeftModel->compileLit(1, 1, 0);
    ripaskaRightList = ripaskaRightModel->compileLit(1, 1, 0);
    ripaskaStillList = ripaskaStillModel->compileLit(1, 1, 0);
    ripaskaPose = ripaskaRightList;
}

void ripaskaScene(int order, int row, float) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();

    if (order == 10 && row < 8) {
        // the intro: the rave model grows from 0.75 to 2.5 and turns 10 degrees a row
        glPushMatrix();
        float s = (row + 1) * 0.25f + 0.5f;
        glScalef(s, s, s);
        glRotatef(float(10 * row), 0, 0, 1);
        glCallList(raveList);
        glPopMatrix();
    } else {
        // odd rows keep the pose of the row before
        if (row % 8 == 0)
            ripaskaPose = ripaskaStillList;
        else if (row % 4 == 0)
            ripaskaPose = ripaskaLeftList;
        else if (row % 2 == 0)
            ripaskaPose = ripaskaRightList;

        if (order >= 10 && order <= 13) {
            const DancerLineUp &lineUp = dancerLineUps[order - 10];
            bool onBeat = row % 4 == 0;
            // a lone dancer needs no matrix of its own: the scene's push covers it
            bool ownMatrix = lineUp.count > 1;
            for (int i = 0; i < lineUp.count; i++) {
                if (ownMatrix)
                    glPushMatrix();
                glTranslatef(lineUp.place[i][0], lineUp.place[i][1], 0);
                if (onBeat)
                    glScalef(6, 3, 6);
                else
                    glScalef(3, 3, lineUp.offBeatDepth);
                glRotatef(ripaskaSpin, 0, 1, 0);
                glCallList(ripaskaPose);
                if (ownMatrix)
                    glPopMatrix();
            }
        }
    }

    glPopMatrix();
    ripaskaSpin += 1.5f;  // also during the intro
}
