// effects.cpp -- the effect set-up: global GL state, every model, texture and shared list
#include "desktop.h"
#include "effects.h"
#include "loadfailures.h"
#include "timeline.h"

#include <GL/gl.h>
#include <cstdio>
#include <new>

LwoObject *sirppijavasaraModel;
LwoObject *gowestModel;
LwoObject *missileModel;
LwoObject *balalaikaModel;
LwoObject *samovarModel;
LwoObject *ripaskaLeftModel;
LwoObject *ripaskaRightModel;
LwoObject *ripaskaStillModel;
LwoObject *fuckguidelinesModel;
LwoObject *raveModel;
LwoObject *spiralModel;
LwoObject *letterModels[26];  // a to z

Texture *particleTexture;
Texture *picture1Texture;
Texture *picture2Texture;
Texture *kaavio1Texture;
Texture *kaavio2Texture;
Texture *portrait6Texture;
Texture *portrait5Texture;
Texture *portrait4Texture;
Texture *portrait3Texture;
Texture *portrait2Texture;
Texture *portrait1Texture;

unsigned int samovarLists[6];    // flat yellow, alpha k / 12 for list k
unsigned int balalaikaLists[6];  // flat yellow, alpha k / 12 for list k
unsigned int flashList;          // flat dark red, half transparent
unsigned int sirppijavasaraList; // flat yellow, alpha 0.05
unsigned int raveList;           // flat opaque yellow
unsigned int spiralList;         // flat yellow, alpha 0.35

// The model bank in load order; releaseModels frees the named models in the same order.
LwoObject **const namedModels[11] = {
    &sirppijavasaraModel, &gowestModel, &missileModel, &balalaikaModel, &samovarModel,
    &ripaskaLeftModel, &ripaskaRightModel, &ripaskaStillModel, &fuckguidelinesModel,
    &raveModel, &spiralModel,
};
const char *const namedModelPaths[11] = {
    "data/3d/sirppijavasara.lwo", "data/3d/gowest.lwo", "data/3d/missile.lwo",
    "data/3d/balalaika.lwo", "data/3d/samovar.lwo", "data/3d/ripaska_left.lwo",
    "data/3d/ripaska_right.lwo", "data/3d/ripaska_still.lwo", "data/3d/fuckguidelines.lwo",
    "data/3d/rave.lwo", "data/3d/spiral.lwo",
};

// Reads one model. A file the reader accepted but that holds nothing to draw would leave its
// scene as empty as a missing one, so it is reported as one is.
static LwoObject *loadModel(const char *path) {
    std::string file = dataPath(path);
    LwoObject *model = new (std::nothrow) LwoObject(file.c_str());
    if (!model)
        return nullptr;
    bool drawable = false;
    for (const LwoPolygon *p = model->polygons; p && !drawable; p = p->next)
        drawable = model->isDrawable(p);
    if (!drawable && !loadFailed(file))
        reportLoadFailure(file, "no triangles to draw");
    return model;
}

void loadModels() {
    for (int i = 0; i < 11; i++)
        *namedModels[i] = loadModel(namedModelPaths[i]);
    for (char c = 'a'; c <= 'z'; c++) {
        char path[64];
        snprintf(path, sizeof path, "data/3d/writer/%c.lwo", c);
        letterModels[c - 'a'] = loadModel(path);
    }

    // a missing object still gets its (empty) lists, so every scene can call them
    for (int k = 0; k < 6; k++)
        samovarLists[k] = samovarModel ? samovarModel->compileFlat(1, 1, 0, k / 6.0f * 0.5f) : 0;
    for (int k = 0; k < 6; k++)
        balalaikaLists[k] = balalaikaModel ? balalaikaModel->compileFlat(1, 1, 0, k / 6.0f * 0.5f) : 0;
    flashList = fuckguidelinesModel ? fuckguidelinesModel->compileFlat(0.7f, 0, 0, 0.5f) : 0;
    sirppijavasaraList = sirppijavasaraModel ? sirppijavasaraModel->compileFlat(1, 1, 0, 0.05f) : 0;
    raveList = raveModel ? raveModel->compileFlat(1, 1, 0, 1) : 0;
    spiralList = spiralModel ? spiralModel->compileFlat(1, 1, 0, 0.35f) : 0;
}

void loadTextures() {
    particleTexture = new (std::nothrow) Texture(dataPath("data/particle.tga").c_str());
    picture1Texture = new (std::nothrow) Texture(dataPath("data/textures/picture1.tga").c_str());
    picture2Texture = new (std::nothrow) Texture(dataPath("data/textures/picture2.tga").c_str());
    kaavio1Texture = new (std::nothrow) Texture(dataPath("data/textures/kaavio1.tga").c_str());
    kaavio2Texture = new (std::nothrow) Texture(dataPath("data/textures/kaavio2.tga").c_str());
    portrait6Texture = new (std::nothrow) Texture(dataPath("data/textures/portrait6.tga").c_str());
    portrait5Texture = new (std::nothrow) Texture(dataPath("data/textures/portrait5.tga").c_str());
    portrait4Texture = new (std::nothrow) Texture(dataPath("data/textures/portrait4.tga").c_str());
    portrait3Texture = new (std::nothrow) Texture(dataPath("data/textures/portrait3.tga").c_str());
    portrait2Texture = new (std::nothrow) Texture(dataPath("data/textures/portrait2.tga").c_str());
    portrait1Texture = new (std::nothrow) Texture(dataPath("data/textures/portrait1.tga").c_str());
}

void initEffects() {
    printf("Initializing effects...\n");
    glShadeModel(GL_SMOOTH);
    glClearColor(0.8f, 0.0f, 0.0f, 1.0f);
    const GLfloat specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat shininess[] = {50.0f};
    const GLfloat lightPosition[] = {0.0f, 0.0f, 5.0f, 0.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    // the modelview matrix is still the identity: the light stays fixed in eye space
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glEnable(GL_DEPTH_TEST);

    loadModels();
    loadTextures();
    // the scenes' initialisers, by their turns
    int scenes = 0;
    while (SceneTable[scenes].render)
        scenes++;
    for (int turn = 1; turn <= scenes; turn++)
        for (int i = 0; i < scenes; i++)
            if (SceneTable[i].init && SceneTable[i].initTurn == turn)
                SceneTable[i].init();
    fflush(stdout);
}

void deinitEffects() {
    // no scene holds a resource of its own
}

void releaseModels() {
    for (int i = 25; i >= 0; i--) {
        delete letterModels[i];
    }
    for (int i = 0; i < 11; i++)
        delete *namedModels[i];
}

void releaseTextures() {
    // portrait 5 goes before portrait 6, the reverse of their load order
    Texture *order[11] = {
        particleTexture, picture1Texture, picture2Texture, kaavio1Texture, kaavio2Texture,
        portrait5Texture, portrait6Texture, portrait4Texture, portrait3Texture,
        portrait2Texture, portrait1Texture,
    };
    for (Texture *t : order)
        delete t;
}
