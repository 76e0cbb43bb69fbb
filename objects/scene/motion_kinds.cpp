#include "objects/scene/motion_kinds.h"

#include "objects/film/motion.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"

namespace {
// The one kind of motion file: a film of tracks that drive an existing
// object.
constexpr const char* kFilmMotion = ".vmt";
}  // namespace

TKindStatus MotionKindStatus(const std::string& extension) {
    if (AnsiLowerCase(extension) == kFilmMotion) return TKindStatus::Built;
    return TKindStatus::NoKind;
}

std::unique_ptr<TControlMotion> CreateMotionKind(TVorqControl& target, const std::string& file_name) {
    const std::string ext = ExtractFileExt(file_name);
    if (MotionKindStatus(ext) == TKindStatus::Built) {
        auto m = std::make_unique<TVorqMotion>(target);
        m->Load(file_name);
        return m;
    }
    throw Exception("not a motion file: " + file_name);
}

void InstallMotionKinds() { SetMotionMaker(CreateMotionKind); }
