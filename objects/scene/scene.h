// What the display objects offer the player's commands and shell: the
// object registry and its event queue, the object base class with its
// property accessors, the host panel that the window shows, and the scene
// link that the interpreter uses, and the object and motion kinds the
// player installs (InstallPlayerModules). The shell includes this header and no
// other of objects/, so that what the scene offers stays stated in one
// place.
#pragma once
#include "objects/base_list.h"
#include "objects/basic/cabinet.h"
#include "objects/text/history.h"
#include "objects/host_panel.h"
#include "objects/text/mes.h"
#include "objects/scene/motion_kinds.h"
#include "objects/object_kinds.h"
#include "objects/effects/particle.h"
#include "objects/images/images.h"
#include "objects/basic/prop_motion.h"
#include "objects/property_access.h"
#include "objects/scene/registry_link.h"
#include "objects/text/scenario_text.h"
#include "objects/scene_link.h"
#include "objects/snapshot.h"
#include "objects/media/sound.h"
#include "objects/timer_list.h"
#include "objects/media/video.h"
#include "objects/vorq_object.h"
