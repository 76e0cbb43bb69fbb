#include "objects/motion_kinds.h"

#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/filesys.h"

namespace {
// The one kind of motion file: a film of tracks that drive an existing
// object (the motion object is not built yet).
constexpr const char* kFilmMotion = ".vmt";
}  // namespace

TKindStatus MotionKindStatus(const std::string& extension) {
    if (AnsiLowerCase(extension) == kFilmMotion) return TKindStatus::NotBuilt;
    return TKindStatus::NoKind;
}

std::unique_ptr<TControlMotion> CreateMotionKind(TVorqControl& /*target*/, const std::string& file_name) {
    const std::string ext = ExtractFileExt(file_name);
    // A built kind returns its motion here.
    if (MotionKindStatus(ext) == TKindStatus::NotBuilt)
        throw Exception("motion files " + ext + " are not available in this player");
    throw Exception("not a motion file: " + file_name);
}

void InstallMotionKinds() { SetMotionMaker(CreateMotionKind); }
