// The motion kinds this player is built with, by the motion file's
// extension. InstallMotionKinds makes CreateMotionKind the maker that
// TVorqControl::AttachMotion uses; the player's start-up calls it through
// InstallPlayerModules.
#pragma once
#include "objects/object_kinds.h"
#include "objects/vorq_object.h"

#include <memory>
#include <string>

// The status of a motion file's extension (".vmt", compared without case).
TKindStatus MotionKindStatus(const std::string& extension);
// The motion of the file's kind for the target. Raises Exception for a file
// of a kind this player does not play.
std::unique_ptr<TControlMotion> CreateMotionKind(TVorqControl& target, const std::string& file_name);
void InstallMotionKinds();
