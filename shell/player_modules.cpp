#include "shell/player_modules.h"

#include "engine/commands_text.h"
#include "engine/project.h"
#include "shell/sys_func_families.h"
#include "media/audio/sound_items.h"
#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "objects/scene/scene.h"
#include "platform/filesystem/filesys.h"

namespace {
// Sounds are looked for as the project looks for its files: a sound on
// another disc counts as missing rather than asking for the disc.
bool project_sound_exists(const std::string& name) {
    if (name.empty()) return false;
    if (IsPlainPath(name)) return FileExists(name);
    return Project && Project->FileExists(name);
}
}  // namespace

void InstallPlayerModules() {
    InstallObjectKinds();
    InstallMotionKinds();
    InstallMediaManagers();
    SoundFileExists = project_sound_exists;
    InstallSysFuncFamilies();
    InstallScenarioText();
}
