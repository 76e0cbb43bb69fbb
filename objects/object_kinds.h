// The object kinds this player is built with, by component type id. The
// table is fixed when the player is compiled; InstallObjectKinds hands it to
// the registry's factory (CreateObjectByType), and the player's start-up
// calls that through InstallPlayerModules.
#pragma once
#include "objects/base_list.h"

#include <cstdint>

enum class TKindStatus : uint8_t {
    NoKind,    // the id stands for nothing: no stored scene or script may name it
    NotBuilt,  // a kind of the table that this player does not make yet
    Built,     // made by ObjectKindMaker
};

// The status of a component type id (the high bit ignored, as stored scenes
// may carry it).
TKindStatus ObjectKindStatus(int32_t type_id);
// The maker of a built kind, else null.
TComponentMaker ObjectKindMaker(int32_t type_id);
// Makes ObjectKindMaker the registry's factory.
void InstallObjectKinds();
