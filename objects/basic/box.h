// TVorqBox: a filled and optionally framed rectangle, drawn opaque,
// translucent or additive by its ALPHA code. It is also the usual carrier
// of a motion: a SOURCE ending in ".vmt" attaches that motion file, so a box
// can move and change without drawing anything itself.
#pragma once
#include "objects/film_target.h"
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>

class TVorqBox final : public TVorqControl, public TFilmTarget {
public:
    explicit TVorqBox(TVorqBaseList* registry);
    ~TVorqBox() override;

    uint8_t GetCompoType() const override { return LT_BOX; }

    int32_t GetBorderWidth() const override { return FBorderWidth; }
    void SetBorderWidth(int32_t v) override;
    int32_t GetBorderColor() const override { return FBorderColor; }
    void SetBorderColor(int32_t v) override;
    // 0 invisible, 1..254 translucent, 255 opaque, 256..511 additive.
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    bool GetRepeat() const override { return FRepeat != 0; }
    void SetRepeat(bool v) override;
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }

    // A box track's frame: every value at once, the old and the new area
    // redrawn once rather than once per property.
    bool ApplyFilmBox(const TFilmBoxFrame& f) override;

    void Draw() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

private:
    void TakeParentView(TFilmParentView& v) const;
    // Invalidate, with the parent's part from v.
    void InvalidateIn(const TFilmParentView& v);

    int32_t FBorderWidth = 0;
    int32_t FBorderColor = 0;
    int32_t FAlpha = 255;
    std::string FOnIdle, FSource;
    uint8_t FRepeat = 0, FAutoScrap = 0;
    std::string FOnPlayEnd;
    uint8_t FPaused = 0;
};

// The colour an additive box adds: each channel times (alpha - 256) / 256.
int32_t AdditiveBoxColor(int32_t color, int32_t alpha);
