#include "objects/text/label.h"

#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/images/image_list.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "render/dibx.h"
#include "render/font_pixel.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr long double kPi = 3.14159265358979323846264338327950288L;
// A label is a few lines on the game's screen: a font or a text surface
// beyond these fits no screen, and would only make the glyph cache and the
// surfaces allocate without bound.
constexpr int32_t kMaxFontHeight = 2048;
constexpr int64_t kMaxTextSide = 16384;

bool is_motion_file(const std::string& name) { return AnsiLowerCase(ExtractFileExt(name)) == ".vmt"; }

int32_t clamp_i32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}
}  // namespace

std::vector<std::string> SplitLabelLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<uint16_t> LabelCharCodes(const std::string& line) {
    std::vector<uint16_t> codes;
    codes.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(line[i]);
        if (IsDBCSLeadByte(b) && i + 1 < line.size()) {
            codes.push_back(static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(line[i + 1])));
            ++i;
        } else {
            codes.push_back(b);
        }
    }
    return codes;
}

TVorqLabel::TVorqLabel(TVorqBaseList* registry, int create_flags)
    : TVorqControl(registry, create_flags), FFontName(Sjis("ＭＳ Ｐゴシック")) {}

TVorqLabel::~TVorqLabel() { Invalidate(); }

std::string TVorqLabel::GetText() const {
    std::string s;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (i) s += "\r\n";
        s += FLines[i];
    }
    return s;
}

void TVorqLabel::SetText(const std::string& v) {
    std::vector<std::string> lines = SplitLabelLines(v);
    if (lines == FLines) return;
    FLines = std::move(lines);
    render();
}

void TVorqLabel::SetFontName(const std::string& v) {
    if (v == FFontName) return;
    FFontName = v;
    render();
}

// Heights and spacings are clamped to what can be drawn (beyond them the
// label shows nothing), which is also what a saved label may hold.
void TVorqLabel::SetFontHeight(int32_t v) {
    v = std::clamp(v, 0, kMaxFontHeight);
    if (v == FFontHeight) return;
    FFontHeight = v;
    render();
}

void TVorqLabel::SetLineSpace(int32_t v) {
    v = std::clamp<int32_t>(v, -kMaxFontHeight, kMaxTextSide);
    if (v == FLineSpace) return;
    FLineSpace = v;
    render();
}

void TVorqLabel::SetFontStyle(TFontStyles v) {
    if (v.Bits == FFontStyle) return;
    FFontStyle = v.Bits;
    render();
}

void TVorqLabel::SetFontColor(int32_t v) {
    if (v == FFontColor) return;
    FFontColor = v;
    render();
    Invalidate();
}

void TVorqLabel::SetHAlign(uint8_t v) {
    if (v == FHAlign) return;
    FHAlign = v;
    render();
}

void TVorqLabel::SetAntialias(bool v) {
    if (v == (FAntialias != 0)) return;
    FAntialias = v;
    render();
}

void TVorqLabel::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

void TVorqLabel::SetFlipH(bool v) {
    if (v == (FFlipH != 0)) return;
    FFlipH = v;
    Invalidate();
}

void TVorqLabel::SetFlipV(bool v) {
    if (v == (FFlipV != 0)) return;
    FFlipV = v;
    Invalidate();
}

void TVorqLabel::SetAngle(int32_t v) {
    if (v == FAngle) return;
    Invalidate();
    FAngle = v;
    Invalidate();
}

void TVorqLabel::SetZoomX(int32_t v) {
    if (v == FZoomX) return;
    Invalidate();
    FZoomX = std::max(1, v);
    FWidth = clamp_i32(int64_t(FNaturalWidth) * FZoomX / 256);
    Invalidate();
}

void TVorqLabel::SetZoomY(int32_t v) {
    if (v == FZoomY) return;
    Invalidate();
    FZoomY = std::max(1, v);
    FHeight = clamp_i32(int64_t(FNaturalHeight) * FZoomY / 256);
    Invalidate();
}

void TVorqLabel::resize_to_zoom() {
    SetRect(FLeft, FTop, clamp_i32(int64_t(FNaturalWidth) * FZoomX / 256),
            clamp_i32(int64_t(FNaturalHeight) * FZoomY / 256));
}

void TVorqLabel::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    if (is_motion_file(v)) {
        AttachMotion(v);
    } else if (FMotion) {
        FMotion->ClearTarget();
        FMotion.reset();
    }
}

void TVorqLabel::SetRepeat(bool v) {
    if (v == (FRepeat != 0)) return;
    FRepeat = v;
    if (v && FMotion && FMotion->Ended()) RestartMotion();
}

void TVorqLabel::render() {
    TFontPixelManager& glyphs = FontPixelManager();
    glyphs.SetQuality(FAntialias ? 3 : 0);
    const bool drawable = FFontHeight >= 1 && FFontHeight <= kMaxFontHeight;

    // Measure: a character advances by its glyph's width and both spacings.
    std::vector<std::vector<uint16_t>> codes;
    std::vector<std::vector<int32_t>> advances;
    std::vector<int64_t> widths;
    int64_t natural_w = 0;
    for (const std::string& line : FLines) {
        codes.push_back(LabelCharCodes(line));
        advances.emplace_back();
        int64_t w = 0;
        if (drawable)
            for (uint16_t code : codes.back()) {
                const TFontPixel* g = glyphs.RenderGlyph(code, FFontName, FFontHeight, FFontStyle);
                const int32_t a = g->Left + g->GetWidth() + g->ExtraAdvance;
                advances.back().push_back(a);
                w += a;
            }
        widths.push_back(w);
        natural_w = std::max(natural_w, w);
    }
    const int64_t natural_h = (int64_t(FFontHeight) + FLineSpace) * int64_t(FLines.size());
    const bool fits = drawable && natural_w <= kMaxTextSide && natural_h >= 0 && natural_h <= kMaxTextSide;
    FNaturalWidth = fits ? static_cast<int32_t>(natural_w) : 0;
    FNaturalHeight = fits ? static_cast<int32_t>(natural_h) : 0;
    resize_to_zoom();
    // Rectangles of an earlier text must not draw through a mask that is
    // not made again.
    FLineRects.clear();
    if (FNaturalWidth == 0 || FNaturalHeight == 0) return;

    const int32_t bits = FRegistry ? FRegistry->CurrentSurfaceBits() : DisplayBitCount();
    if (!FSurface || !FMask || FSurface->Width() != FNaturalWidth || FSurface->Height() != FNaturalHeight ||
        FSurface->BitCount() != bits) {
        if (DeviceSurfacesAllowed()) FSurface = std::make_unique<TDxDIBX>();
        else FSurface = std::make_unique<TDIBX>();
        FSurface->SetSize(FNaturalWidth, FNaturalHeight, bits);
        FMask = std::make_unique<TDIBX>();
        FMask->SetSize(FNaturalWidth, FNaturalHeight, 8);
    }
    FMask->Fill(0);
    const uint32_t fill = static_cast<uint32_t>(FSurface->ColorToPixel(FFontColor));
    const TRect bounds = FMask->BoundsRect();
    int32_t y = 0;
    for (size_t i = 0; i < FLines.size(); ++i) {
        int32_t x = 0;
        const int32_t room = FNaturalWidth - static_cast<int32_t>(widths[i]);
        if (FHAlign == 1) x = room / 2;
        else if (FHAlign != 0) x = room;
        TRect covered{};
        for (size_t k = 0; k < codes[i].size(); ++k) {
            // The glyph is used before the next request, which may evict it.
            const TFontPixel* g = glyphs.RenderGlyph(codes[i][k], FFontName, FFontHeight, FFontStyle);
            TRect out;
            g->DrawTo(*FSurface, *FMask, Bounds(x, y, advances[i][k], FFontHeight), 0, 0, false, false, fill, 0, 0,
                      out, false);
            if (!RectIsEmpty(out)) covered = RectIsEmpty(covered) ? out : UnionRects(covered, out);
            x += advances[i][k];
        }
        covered = IntersectRects(covered, bounds);
        if (!RectIsEmpty(covered)) FLineRects.push_back(covered);
        y += FFontHeight + FLineSpace;
    }
    Invalidate();
}

void TVorqLabel::rotation(TPoint& anchor, TPoint& pivot) const {
    anchor = GetDrawPos();
    pivot = TPoint{FOffsetX, FOffsetY};
    if (FFlipH) pivot.X = WrapSub(FNaturalWidth - 1, pivot.X);
    if (FFlipV) pivot.Y = WrapSub(FNaturalHeight - 1, pivot.Y);
}

TRect TVorqLabel::GetRect() const {
    if (!rotated() || !FSurface) return TVorqControl::GetRect();
    TPoint anchor, pivot;
    rotation(anchor, pivot);
    return FSurface->GetRotatedBounds(anchor.X, anchor.Y, FNaturalWidth, FNaturalHeight, pivot.X, pivot.Y, FZoomX,
                                      FZoomY, FAngle & 0xFF, FFlipH != 0, FFlipV != 0);
}

void TVorqLabel::Draw() {
    if (FLines.empty() || FAlpha == 0) return;
    TCustomDIBX* target = GetSurface();
    if (target && FSurface && FMask && FAlpha > 0 && FNaturalWidth > 0 && FNaturalHeight > 0) {
        const bool flipH = FFlipH != 0, flipV = FFlipV != 0;
        if (rotated()) {
            TPoint anchor, pivot;
            rotation(anchor, pivot);
            RotateByCode(*target, anchor, FZoomX, FZoomY, *FSurface, FMask.get(), pivot, FAngle, flipH, flipV,
                         FAlpha);
        } else if (FWidth == FNaturalWidth && FHeight == FNaturalHeight) {
            const int32_t x = GetScreenX(), y = GetScreenY();
            if (FAlpha <= 255 && !flipH && !flipV) {
                // Only the covered boxes are touched: the colour through the mask.
                const uint32_t pixel = static_cast<uint32_t>(target->ColorToPixel(FFontColor));
                for (const TRect& r : FLineRects)
                    target->FillMask(WrapAdd(x, r.Left), WrapAdd(y, r.Top), *FMask, r, false, false, pixel, FAlpha);
            } else {
                // Additive codes and mirroring take the rendered text as a picture.
                DrawByCode(*target, x, y, *FSurface, FMask.get(), FSurface->BoundsRect(), flipH, flipV, FAlpha);
            }
        } else if (FWidth > 0 && FHeight > 0) {
            StretchByCode(*target, Bounds(GetScreenX(), GetScreenY(), FWidth, FHeight), *FSurface, FMask.get(), flipH,
                          flipV, FAlpha);
        }
    }
    TVorqControl::Draw();
}

TVorqObject* TVorqLabel::HitTest(const TPoint& p, uint32_t mask) {
    if (!GetVisible()) return nullptr;
    bool inside;
    if (!rotated()) {
        inside = PointInRect(p, TVorqControl::GetRect());
    } else {
        // The point is turned back about the draw position into the label's
        // unturned rectangle.
        const TPoint c = GetDrawPos();
        const long double t = -static_cast<long double>(FAngle & 0xFF) * 2.0L * kPi / 256.0L;
        const long double dx = static_cast<long double>(p.X) - c.X, dy = static_cast<long double>(p.Y) - c.Y;
        const long double xr = std::nearbyint(dx * std::cos(t) - dy * std::sin(t) + c.X);
        const long double yr = std::nearbyint(dx * std::sin(t) + dy * std::cos(t) + c.Y);
        const TRect r = TVorqControl::GetRect();
        inside = xr >= r.Left && xr < r.Right && yr >= r.Top && yr < r.Bottom;
    }
    TVorqObject* candidate = nullptr;
    const uint8_t m = GetIgnoreMouse();
    if (inside && m < 8 && ((mask >> m) & 1)) candidate = this;
    for (size_t i = FChildren.size(); i-- > 0;)
        if (TVorqObject* hit = FChildren[i]->HitTest(p, mask)) return hit;
    return candidate;
}

void TVorqLabel::ApplyFilmLabel(const TFilmLabelFrame& f) {
    if (!f.place.motion && f.place.parent && f.place.parent != FParent) SetParent(f.place.parent);
    SetFontName(f.font_name);
    SetFontHeight(f.font_height);
    SetLineSpace(f.line_space);
    SetFontColor(f.font_color);
    SetFontStyle(TFontStyles{f.font_style});
    SetAntialias(f.antialias != 0);
    SetHAlign(f.align);
    SetFlipH(f.flip_h);
    SetFlipV(f.flip_v);
    SetText(f.text);
    SetPriority(f.place.priority);
    ApplyFilmPosition(*this, f.place);
    SetOffsetX(f.offset_x);
    SetOffsetY(f.offset_y);
    SetAlpha(f.alpha);
    SetAngle(f.angle);
    SetZoomX(f.zoom_x);
    SetZoomY(f.zoom_y);
    const TRect& c = f.place.clip;
    const bool clipped = !RectIsEmpty(c);
    SetClipLeft(clipped ? c.Left : 0);
    SetClipTop(clipped ? c.Top : 0);
    SetClipWidth(clipped ? WrapSub(c.Right, c.Left) : 0);
    SetClipHeight(clipped ? WrapSub(c.Bottom, c.Top) : 0);
}

void TVorqLabel::ReleaseSurfaces() {
    FSurface.reset();
    FMask.reset();
    TVorqControl::ReleaseSurfaces();
}

void TVorqLabel::RestoreSurfaces() {
    render();
    TVorqControl::RestoreSurfaces();
}

void TVorqLabel::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FFontName);
    WriteStreamInteger(s, FFontHeight);
    WriteStreamInteger(s, FLineSpace);
    WriteStreamByte(s, FFontStyle);
    WriteStreamInteger(s, FAlpha);
    WriteStreamInteger(s, FFontColor);
    WriteStreamByte(s, FHAlign);
    WriteStreamByte(s, FAntialias);
    WriteStreamByte(s, FFlipH);
    WriteStreamByte(s, FFlipV);
    WriteStreamInteger(s, FAngle);
    WriteStreamInteger(s, FZoomX);
    WriteStreamString(s, GetText());
    WriteStreamString(s, FOnIdle);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FRepeat);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamString(s, FOnPlayEnd);
    WriteStreamByte(s, FPaused);
    WriteStreamInteger(s, FZoomY);
}

void TVorqLabel::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FFontName = r.String("font name");
    FFontHeight = r.I32("font height");
    if (FFontHeight < 0 || FFontHeight > kMaxFontHeight) r.Fail("font height");
    FLineSpace = r.I32("line space");
    if (FLineSpace < -kMaxFontHeight || FLineSpace > kMaxTextSide) r.Fail("line space");
    FFontStyle = r.U8("font style");
    FAlpha = r.I32("alpha");
    FFontColor = r.I32("font colour");
    FHAlign = r.U8("alignment");
    FAntialias = r.U8("antialias");
    FFlipH = r.U8("flip h");
    FFlipV = r.U8("flip v");
    FAngle = r.I32("angle");
    // Zooms below 1 are stored as 1, as the setters do.
    FZoomX = std::max(1, r.I32("zoom x"));
    const std::string text = r.String("text");
    std::string source;
    if (version >= 104) {
        FOnIdle = r.String("idle handler");
        source = r.String("source");
        FRepeat = r.U8("repeat");
        FAutoScrap = r.U8("auto scrap");
        FOnPlayEnd = r.String("play-end handler");
        FPaused = r.U8("paused");
        FZoomY = std::max(1, r.I32("zoom y"));
    }
    // Rendered once every field is in, so that the height follows the
    // loaded vertical zoom as well.
    FLines = SplitLabelLines(text);
    render();
    SetSource(source);
}
