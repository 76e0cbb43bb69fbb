#include "objects/snapshot.h"

#include "objects/base_list.h"
#include "render/dibx.h"

const char kSnapshotName[] = "\x01\x01";

TVorqSnapshot::TVorqSnapshot(TVorqBaseList* registry, TVorqBase& layer)
    : TVorqControl(registry, kCreateRegister), FPicture(std::make_unique<TDIBX>()) {
    StoreName(kSnapshotName);
    const int32_t w = registry ? registry->GetWidth() : 0, h = registry ? registry->GetHeight() : 0;
    if (w > 0 && h > 0) {
        FPicture->SetSize(w, h, registry->CurrentSurfaceBits());
        if (TCustomDIBX* shown = layer.GetOwnSurface()) {
            FPicture->ClearClipRect();
            FPicture->CopyFrom(*shown);
        }
    }
    FPicture->SetTransparentColor(-1);
    SetRect(0, 0, FPicture->Width(), FPicture->Height());
    SetIgnoreMouse(IM_ALL);
    SetParent(&layer);
}

TVorqSnapshot::~TVorqSnapshot() { Invalidate(); }

void TVorqSnapshot::Draw() {
    TCustomDIBX* s = GetSurface();
    if (s && GetVisible() && !FPicture->IsEmpty())
        s->Draw(GetScreenX(), GetScreenY(), *FPicture, FPicture->BoundsRect(), false, false, false);
    TVorqControl::Draw();
}
