#include "objects/registry_link.h"

#include "objects/base_list.h"
#include "objects/history.h"
#include "objects/vorq_object.h"

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
