#include "engine/player_modules.h"

#include "engine/sys_func_families.h"
#include "media/media_managers.h"
#include "objects/scene.h"

void InstallPlayerModules() {
    InstallObjectKinds();
    InstallMotionKinds();
    InstallMediaManagers();
    InstallSysFuncFamilies();
}
