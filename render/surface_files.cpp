// Pictures with a mask come from and go to files by extension: TGA, icons
// and cursors through their own readers, everything else as a bitmap. The
// readers build on TDIBSurface, so the choice lives beside them.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/dib_surface.h"
#include "render/ico.h"
#include "render/tga.h"

void TDIBSurface::LoadFromFile(const std::string& sjisPath) {
    const std::string ext = LowerFileExt(sjisPath);
    if (ext == ".tga" || ext == ".ico" || ext == ".cur") {
        TFileStream f(sjisPath, fmOpenRead | fmShareDenyWrite);
        if (ext == ".tga") LoadTGA(*this, f, false);
        else LoadChosenIcon(*this, f);
        return;
    }
    TDIB::LoadFromFile(sjisPath);
    mask_.reset();
}

void TDIBSurface::SaveToFile(const std::string& sjisPath) {
    const std::string ext = LowerFileExt(sjisPath);
    if (ext == ".tga" || ext == ".ico" || ext == ".cur") {
        TFileStream f(sjisPath, fmCreate);
        if (ext == ".tga") SaveTGA(*this, f, true);
        else SaveIcon(*this, f, ext == ".cur");
        return;
    }
    TDIB::SaveToFile(sjisPath);
}
