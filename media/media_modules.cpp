#include "media/media_modules.h"

#include "media/audio/sound_items.h"
#include "media/base/media_managers.h"

void InstallMediaManagers() {
    SetMediaManagerFactory(CreateMediaManager);
    InstallCompanionModule();
}
