// The still picture a screen switch leaves on the layer it leaves: a copy of
// that layer as it was shown, drawn over it while the controls that the
// switch carries to the other layer are gone from it. An internal control
// (named with two 0x01 bytes, so it sorts last and is never saved) that the
// pointer passes through.
#pragma once
#include "objects/vorq_object.h"

#include <memory>

class TVorqSnapshot : public TVorqControl {
public:
    // Copies the layer's picture as it stands and places itself on it.
    TVorqSnapshot(TVorqBaseList* registry, TVorqBase& layer);
    ~TVorqSnapshot() override;

    TCustomDIBX* GetOwnSurface() const override { return FPicture.get(); }
    void Draw() override;

private:
    std::unique_ptr<TCustomDIBX> FPicture;
};

// The name of the snapshot object.
extern const char kSnapshotName[];
