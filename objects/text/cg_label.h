// TVorqCGLabel: text drawn with pictures of characters. SOURCE is a sheet
// cut into a grid of equal cells (GLYPHWIDTH x GLYPHHEIGHT, left to right,
// then top to bottom); MAPTEXT names the character of each cell in order.
// Each character of TEXT draws the cell of its place in MAPTEXT, so score
// counters and clocks can be drawn from artwork. The sheet may animate.
#pragma once
#include "objects/images/image_list.h"
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>
#include <vector>

// Cell indexes of each line of text: the character's place in map_text
// (counted in characters, a double-byte character as one) less one, -1
// when it is absent. Lines break at CR LF, LF or CR; a final break adds none.
std::vector<std::vector<int32_t>> CGLabelCells(const std::string& text, const std::string& map_text);

class TVorqCGLabel : public TVorqControl {
public:
    explicit TVorqCGLabel(TVorqBaseList* registry);
    ~TVorqCGLabel() override;

    uint8_t GetCompoType() const override { return LT_CGLABEL; }

    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    std::string GetText() const override { return FText; }
    void SetText(const std::string& v) override;
    std::string GetMapText() const override { return FMapText; }
    void SetMapText(const std::string& v) override;
    int32_t GetGlyphWidth() const override { return FGlyphWidth; }
    void SetGlyphWidth(int32_t v) override;
    int32_t GetGlyphHeight() const override { return FGlyphHeight; }
    void SetGlyphHeight(int32_t v) override;
    int32_t GetLineSpace() const override { return FLineSpace; }
    void SetLineSpace(int32_t v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    uint8_t GetHAlign() const override { return FHAlign; }
    void SetHAlign(uint8_t v) override;
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    int32_t GetOrigWidth() const override;
    int32_t GetOrigHeight() const override;
    bool GetPlaying() const override { return !GetPaused() && !GetAniPaused(); }

    void Draw() override;
    bool Update() override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    const std::vector<std::vector<int32_t>>& Lines() const { return FLines; }
    int32_t CurrentFrame() const { return FFrame; }

private:
    void build_lines() { FLines = CGLabelCells(FText, FMapText); }
    void resize();
    TVorqImageData* frame() const { return FSheet.GetItem(FFrame); }

    std::string FSource, FText, FMapText;
    int32_t FGlyphWidth = 1, FGlyphHeight = 1, FLineSpace = 0;
    uint8_t FPaused = 0, FHAlign = 0;
    int32_t FAlpha = 0;
    TVorqImageList FSheet;
    // The sheet's current frame; -1 without one.
    int32_t FFrame = -1;
    std::vector<std::vector<int32_t>> FLines;
    std::string FOnIdle;
};
