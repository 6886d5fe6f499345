// portraits.cpp -- six red-tinted portrait squares scrolling left, rocking and breathing
#include "scenes.h"
#include "effects.h"
#include "scenestate.h"

#include <GL/gl.h>
#include <cmath>

float portraitX[PORTRAIT_COUNT];                 // world units, centre of each square
unsigned int portraitTextures[PORTRAIT_COUNT];  // GL texture names, in drawing order

void initPortraits() {
    for (int i = 0; i < PORTRAIT_COUNT; i++)
        portraitX[i] = float(3 * i - 8);
    portraitTextures[0] = portrait5Texture->textureId;
    portraitTextures[1] = portrait6Texture->textureId;
    portraitTextures[2] = portrait4Texture->textureId;
    portraitTextures[3] = portrait3Texture->textureId;
    portraitTextures[4] = portrait2Texture->textureId;
    portraitTextures[5] = portrait1Texture->textureId;
}

void portraitScene(int, int row, float) {
    glClear(GL_DEPTH_BUFFER_BIT);
    if (row % 4 == 0)
        glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // The environment colour stays black, so each texel darkens the red in proportion to
    // its own colour: the pictures come out as dark-on-red negatives.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
    glColor4f(1.0f, 0.0f, 0.0f, 0.5f);

    for (int i = 0; i < PORTRAIT_COUNT; i++) {
        glPushMatrix();
        glTranslatef(portraitX[i], -2.0f, 0.0f);
        // neighbouring squares are 32 counter steps (a quarter turn of the phase) apart
        double phase = (frameCounter + 32 * i) * 3.14159 / 128;
        glRotatef(float(32 * sin(phase)), 0, 0, 1);
        float s = float(8 + cos(phase));
        glScalef(s, s, 1.0f);
        glBindTexture(GL_TEXTURE_2D, portraitTextures[i]);
        float z = float(0.001 * i);  // later squares a little nearer, so they win the depth test
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex3f(-0.5f, -0.5f, z);
        glTexCoord2f(1, 0);
        glVertex3f(0.5f, -0.5f, z);
        glTexCoord2f(1, 1);
        glVertex3f(0.5f, 0.5f, z);
        glTexCoord2f(0, 1);
        glVertex3f(-0.5f, 0.5f, z);
        glEnd();
        // drawn before the step; a square that passes below -8 comes back at the right end
        portraitX[i] -= 0.05;
        if (portraitX[i] < -8.0f)
            portraitX[i] = 11.0f;
        glPopMatrix();
    }

    // the dancers that follow draw opaque and untextured
    glShadeModel(GL_FLAT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}
