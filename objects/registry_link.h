// The scene link over the object registry: its event queue, look-up by
// name, scrapping, and the scene reset. The player installs one once the
// display objects exist (Scene = &link).
#pragma once
#include "objects/scene_link.h"

class TVorqBaseList;

class TRegistrySceneLink : public TSceneLink {
public:
    explicit TRegistrySceneLink(TVorqBaseList& registry) : registry_(registry) {}
    TTimerList& Events() override;
    bool ObjectExists(const std::string& name) override;
    bool ScrapObject(const std::string& name) override;
    void ResetScene() override;

private:
    TVorqBaseList& registry_;
};
