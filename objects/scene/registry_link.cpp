#include "objects/scene/registry_link.h"

#include "objects/base_list.h"
#include "objects/host_panel.h"
#include "objects/text/history.h"
#include "objects/vorq_object.h"
#include "render/tesk_collection.h"
#include "script/param_collection.h"

#include <memory>

TTimerList& TRegistrySceneLink::Events() { return registry_.Events; }

bool TRegistrySceneLink::ObjectExists(const std::string& name) { return registry_.FindObject(name) != nullptr; }

bool TRegistrySceneLink::ScrapObject(const std::string& name) {
    TVorqObject* obj = registry_.FindObject(name);
    if (!obj) return false;
    obj->Scrap();
    return true;
}

void TRegistrySceneLink::ResetScene() {
    registry_.ResetScene();
    History().Clear();
    History().MaxCount = 0;
}

namespace {
// The interpreter reaches the main registry by names only.
std::unique_ptr<TRegistrySceneLink> registry_link;
}  // namespace

void InitDisplayObjects(TBasePanel* host, TTeskSource* images) {
    DoneDisplayObjects();
    VorqBaseList = new TVorqBaseList(nullptr);
    if (images) TeskCollection = new TTeskCollection(images);
    if (host) VorqBaseList->CursorView = &host->View();
    // An object without a cursor of its own shows the game's default one.
    VorqBaseList->DefaultCursor = [] { return Params ? Params->cursor_name : std::string(); };
    VorqBaseList->HostPanel = host;
    registry_link = std::make_unique<TRegistrySceneLink>(*VorqBaseList);
    Scene = registry_link.get();
}

void DoneDisplayObjects() {
    if (registry_link && Scene == registry_link.get()) Scene = nullptr;
    registry_link.reset();
    delete VorqBaseList;
    VorqBaseList = nullptr;
    delete TeskCollection;
    TeskCollection = nullptr;
}
