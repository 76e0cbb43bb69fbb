#include "engine/player_modules.h"

#include "engine/sys_func_families.h"
#include "media/media_managers.h"
#include "objects/motion_kinds.h"
#include "objects/object_kinds.h"

void InstallPlayerModules() {
    InstallObjectKinds();
    InstallMotionKinds();
    InstallMediaManagers();
    InstallSysFuncFamilies();
}
