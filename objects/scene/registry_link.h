// The scene link over the object registry: its event queue, look-up by
// name, scrapping, and the scene reset. The player installs one once the
// display objects exist (Scene = &link).
//
// InitDisplayObjects makes the main registry with its scene link; the
// link lives here, above the object kinds, because a scene reset also
// empties the backlog of the message windows.
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

class TBasePanel;
class TTeskSource;
// host: the panel that shows the picture (its window takes the cursors);
// images: where the decoded-image cache finds pictures (the cache is made
// only with one). DoneDisplayObjects frees the registry, then the cache.
void InitDisplayObjects(TBasePanel* host, TTeskSource* images = nullptr);
void DoneDisplayObjects();
