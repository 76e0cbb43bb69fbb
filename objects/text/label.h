// TVorqLabel: a few lines of plain text in one font and colour that size
// themselves. The text is rasterised once into a colour surface and an
// 8-bit coverage mask; colour-free changes (alpha, zoom, angle, mirroring)
// only redraw from them. SOURCE may name a motion file that moves the label.
#pragma once
#include "objects/film_target.h"
#include "objects/vorq_object.h"
#include "render/custom_dibx.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The text's lines: split at CR LF, LF or CR; a final break adds no line.
std::vector<std::string> SplitLabelLines(const std::string& text);
// The character codes of one Shift-JIS line (a double-byte character is
// one code; a lone lead byte at the end is a character of its own).
std::vector<uint16_t> LabelCharCodes(const std::string& line);

class TVorqLabel : public TVorqControl, public TFilmTarget {
public:
    explicit TVorqLabel(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqLabel() override;

    uint8_t GetCompoType() const override { return LT_LABEL; }

    std::string GetText() const override;
    void SetText(const std::string& v) override;
    std::string GetFontName() const override { return FFontName; }
    void SetFontName(const std::string& v) override;
    int32_t GetFontHeight() const override { return FFontHeight; }
    void SetFontHeight(int32_t v) override;
    int32_t GetLineSpace() const override { return FLineSpace; }
    void SetLineSpace(int32_t v) override;
    TFontStyles GetFontStyle() const override { return TFontStyles{FFontStyle}; }
    void SetFontStyle(TFontStyles v) override;
    int32_t GetFontColor() const override { return FFontColor; }
    void SetFontColor(int32_t v) override;
    uint8_t GetHAlign() const override { return FHAlign; }
    void SetHAlign(uint8_t v) override;
    bool GetAntialias() const override { return FAntialias != 0; }
    void SetAntialias(bool v) override;
    // 0 hides; 1..254 translucent; 255 opaque; 256 and above additive.
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    bool GetFlipH() const override { return FFlipH != 0; }
    void SetFlipH(bool v) override;
    bool GetFlipV() const override { return FFlipV != 0; }
    void SetFlipV(bool v) override;
    int32_t GetAngle() const override { return FAngle; }
    void SetAngle(int32_t v) override;
    int32_t GetZoomX() const override { return FZoomX; }
    void SetZoomX(int32_t v) override;
    int32_t GetZoomY() const override { return FZoomY; }
    void SetZoomY(int32_t v) override;
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

    TRect GetRect() const override;
    void Draw() override;
    TVorqObject* HitTest(const TPoint& p, uint32_t mask) override;
    void RestoreSurfaces() override;
    void ReleaseSurfaces() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    // One frame of a film's label track.
    void ApplyFilmLabel(const TFilmLabelFrame& f) override;

    // The size of the text at zoom 256, and the covered box of each
    // non-empty line in the mask.
    int32_t NaturalWidth() const { return FNaturalWidth; }
    int32_t NaturalHeight() const { return FNaturalHeight; }
    const std::vector<TRect>& LineRects() const { return FLineRects; }
    TCustomDIBX* MaskSurface() const { return FMask.get(); }

private:
    void render();
    void resize_to_zoom();
    bool rotated() const { return (FAngle & 0xFF) != 0; }
    void rotation(TPoint& anchor, TPoint& pivot) const;

    std::vector<std::string> FLines;
    std::string FFontName;
    int32_t FFontHeight = 12;
    int32_t FLineSpace = 0;
    uint8_t FFontStyle = 0;
    std::unique_ptr<TCustomDIBX> FSurface;
    std::unique_ptr<TCustomDIBX> FMask;
    int32_t FAlpha = 255;
    int32_t FFontColor = 0;
    uint8_t FHAlign = 0, FAntialias = 0, FFlipH = 0, FFlipV = 0;
    int32_t FAngle = 0;
    int32_t FNaturalWidth = 0, FNaturalHeight = 0;
    int32_t FZoomX = 256, FZoomY = 256;
    std::string FOnIdle, FSource;
    uint8_t FRepeat = 0, FAutoScrap = 0;
    std::string FOnPlayEnd;
    uint8_t FPaused = 0;
    std::vector<TRect> FLineRects;
};
