// TVorqTile fills its rectangle with copies of an animated picture, edge to
// edge or at a pitch (DISTANCEX, DISTANCEY) that leaves gaps or overlaps,
// shifted by a scroll origin (SCROLLX, SCROLLY), so that scenarios and
// films move a repeating background by changing two numbers. Its size is
// always the one set; the zoom scales the pattern; its frames always loop.
#pragma once
#include "objects/film_target.h"
#include "objects/images/images.h"

#include <string>
#include <vector>

class TVorqTile : public TVorqCustomImages, public TFilmTarget {
public:
    explicit TVorqTile(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqTile() override;

    uint8_t GetCompoType() const override { return LT_TILE; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    // The parent's position less its scroll, plus LEFT / TOP (or the motion's
    // position); the anchor offsets and POSZOOMED play no part.
    int32_t GetScreenX() const override;
    int32_t GetScreenY() const override;
    int32_t GetLocalX() const override;
    int32_t GetLocalY() const override;
    int32_t GetDistanceX() const override { return FDistanceX; }
    void SetDistanceX(int32_t v) override;
    int32_t GetDistanceY() const override { return FDistanceY; }
    void SetDistanceY(int32_t v) override;
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    bool GetRepeat() const override { return true; }
    int32_t GetScrollX() const override { return FScrollX; }
    void SetScrollX(int32_t v) override;
    int32_t GetScrollY() const override { return FScrollY; }
    void SetScrollY(int32_t v) override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    void DrawImage() override;
    bool IsSizedByImage() const override { return false; }
    TVorqImageList* GetCurrentList() const override { return FList.get(); }
    // A film tile track's frame; in motion mode the position goes to the
    // motion position and the parent stays.
    void ApplyFilmTile(const TFilmTileFrame& f) override;

private:
    int32_t Axis(bool horizontal, bool local) const;
    void DrawPieces(TCustomDIBX& target, TCustomDIBX& picture, const TRect& r, int64_t stepX, int64_t stepY,
                    const std::vector<TRect>& pieces);
    void ChangeStored(int32_t& field, int32_t v);

    std::unique_ptr<TVorqImageList> FList;
    std::string FSource;
    int32_t FScrollX = 0, FScrollY = 0;
    std::string FOnIdle;
    int32_t FDistanceX = 0, FDistanceY = 0;
};
