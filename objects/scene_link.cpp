#include "objects/scene_link.h"

TSceneLink* Scene = nullptr;
