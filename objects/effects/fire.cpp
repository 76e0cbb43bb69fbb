#include "objects/effects/fire.h"

#include <algorithm>
#include <cmath>

#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/object_record.h"
#include "render/custom_dibx.h"

#include "files/number_text.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

namespace {
std::array<uint32_t, 256> make_palette() {
    struct Knot { int i, r, g, b; };
    static const Knot knots[] = {{0, 0, 0, 0},        {32, 102, 39, 3},    {112, 213, 97, 7},
                                 {160, 243, 157, 13}, {192, 255, 192, 55}, {255, 255, 230, 175}};
    std::array<uint32_t, 256> p{};
    for (int k = 0; k + 1 < 6; ++k) {
        const Knot& a = knots[k];
        const Knot& b = knots[k + 1];
        for (int i = a.i; i <= b.i; ++i) {
            const int span = b.i - a.i, t = i - a.i;
            const int r = a.r + (b.r - a.r) * t / span;
            const int g = a.g + (b.g - a.g) * t / span;
            const int bl = a.b + (b.b - a.b) * t / span;
            p[i] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(bl);
        }
    }
    // Entries the stored ramp holds one step above the straight line.
    p[113] = 214u << 16 | 98u << 8 | 7u;
    p[115] = 215u << 16 | 101u << 8 | 7u;
    p[118] = 217u << 16 | 104u << 8 | 8u;
    p[119] = 217u << 16 | 106u << 8 | 8u;
    p[123] = 220u << 16 | 110u << 8 | 8u;
    return p;
}
}  // namespace

const std::array<uint32_t, 256>& FirePalette32() {
    static const std::array<uint32_t, 256> palette = make_palette();
    return palette;
}

double BuildFireIntensityTable(double factor, std::array<uint8_t, 1024>& table) {
    if (factor <= 0) factor = 0.0001;
    for (int i = 0; i < 1024; ++i) {
        const double t = double(1023 - i) / 1023.0;
        const double t3 = t * t * t;
        const double d = factor - 0.05 * t3;
        const double v = std::nearbyint(double(i) / d);
        table[i] = v > 254 ? 254 : uint8_t(v);
    }
    return factor;
}

double FireHeatFactor(int32_t power) {
    return double(128 - power) / 128.0 * 1.2825 + 4.2175;
}

void FireField::Reset(int32_t width, int32_t height) {
    if (width < 0 || height < 0) throw Exception(Sjis("炎の大きさが負です"));
    width_ = width;
    height_ = height;
    const size_t cells = size_t(width) * size_t(height);
    heat_.assign(cells, 16);
    noise_.resize(cells);
    for (auto& n : noise_) n = uint8_t(RandomInt(9));
    col_wrap_.resize(size_t(width) * 2);
    for (size_t i = 0; i < col_wrap_.size(); ++i) col_wrap_[i] = uint32_t(i % size_t(width));
    row_wrap_.resize(size_t(height) * 2);
    for (size_t i = 0; i < row_wrap_.size(); ++i) row_wrap_[i] = uint32_t(i % size_t(height));
    col_offset_ = row_offset_ = 0;
}

void FireField::Step() {
    if (col_wrap_.empty() || row_wrap_.empty()) return;
    const uint32_t w = uint32_t(width_), h = uint32_t(height_);
    row_offset_ = row_wrap_[row_offset_ + 1];
    col_offset_ = col_wrap_[row_offset_ % 8 == 0 ? col_offset_ + 1 : col_offset_];
    uint8_t* p = heat_.data();
    for (uint32_t y = h >= 4 ? h - 4 : 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) p[y * w + x] = 254;
    if (w < 3 || h < 3) return;
    const uint32_t* cw = col_wrap_.data() + col_offset_;
    for (uint32_t y = 0; y + 2 < h; ++y) {
        uint8_t* row = p + y * w;
        const uint8_t* below = row + w;
        const uint8_t* below2 = row + 2 * w;
        const uint8_t* noise_row = noise_.data() + size_t(row_wrap_[row_offset_ + y + 1]) * w;
        for (uint32_t x = 1; x + 1 < w; ++x) {
            const unsigned s = unsigned(below[x - 1]) + below[x + 1] + row[x] + below2[x];
            const int v = int(intensity_[s]) - noise_row[cw[x]];
            row[x] = v < 16 ? 16 : uint8_t(v);
        }
    }
}

bool FirePixelTable(int32_t bits, std::array<uint32_t, 256>& table) {
    if (bits != 15 && bits != 16 && bits != 32) return false;
    const auto& rgb = FirePalette32();
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = rgb[i];
        // The ramp is 0x00RRGGBB; colours are 0x00BBGGRR.
        const int32_t color = int32_t((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
        table[i] = uint32_t(TCustomDIBX::PackColor(bits, color));
    }
    return true;
}

void DrawFireField(const FireField& field, TCustomDIBX& target, const TRect& dest) {
    std::array<uint32_t, 256> pix{};
    if (!FirePixelTable(target.BitCount(), pix)) return;
    const int64_t W = field.Width(), H = field.Height();
    const int64_t dw = int64_t(dest.Right) - dest.Left, dh = int64_t(dest.Bottom) - dest.Top;
    if (W <= 0 || H <= 0 || dw <= 0 || dh <= 0) return;
    const TRect clip = IntersectRects(target.DrawClip(), dest);
    if (RectIsEmpty(clip)) return;
    uint8_t* base = target.Lock(0, 0);
    if (!base) return;
    const int64_t pitch = target.Pitch();
    const bool wide = target.BitCount() == 32;
    const uint8_t* heat = field.Pixels();
    // Source column of each destination column, computed once per draw.
    std::vector<uint32_t> col(size_t(clip.Right - clip.Left));
    for (int32_t x = clip.Left; x < clip.Right; ++x) col[size_t(x - clip.Left)] = uint32_t((x - dest.Left) * W / dw);
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
        const uint8_t* src = heat + size_t((y - dest.Top) * H / dh) * size_t(W);
        uint8_t* row = base + y * pitch;
        if (wide) {
            uint32_t* d = reinterpret_cast<uint32_t*>(row) + clip.Left;
            for (size_t i = 0; i < col.size(); ++i) {
                const uint8_t h = src[col[i]];
                if (h != 16) d[i] = pix[h];
            }
        } else {
            uint16_t* d = reinterpret_cast<uint16_t*>(row) + clip.Left;
            for (size_t i = 0; i < col.size(); ++i) {
                const uint8_t h = src[col[i]];
                if (h != 16) d[i] = uint16_t(pix[h]);
            }
        }
    }
    target.Unlock();
}

TVorqFire::TVorqFire(TVorqBaseList* registry) : TVorqControl(registry) { FField.SetIntensity(FFactor); }

TVorqFire::~TVorqFire() { Invalidate(); }

void TVorqFire::SetPower(int32_t v) {
    if (v == FPower) return;
    FPower = std::clamp(v, 0, 255);
    FFactor = FireHeatFactor(FPower);
    FField.SetIntensity(FFactor);
}

void TVorqFire::Resize() {
    // Stored sizes and zooms come from scripts: the product is kept in 64 bits
    // and wraps like every other stored geometry.
    TVorqControl::SetWidth(int32_t(uint32_t(int64_t(FOrigWidth) * FZoomX / 256)));
    TVorqControl::SetHeight(int32_t(uint32_t(int64_t(FOrigHeight) * FZoomY / 256)));
}

void TVorqFire::ChangeOrig(int32_t& field, int32_t v) {
    // A negative size has no cells to simulate and a huge one would take all
    // memory at the next update: such writes are refused.
    if (v == field || v < 0 || v > kMaxFireSide) return;
    Invalidate();
    field = v;
    Resize();
    Invalidate();
    FSetup = 0;
}

void TVorqFire::ChangeZoom(int32_t& field, int32_t v) {
    if (v == field) return;
    Invalidate();
    field = v < 1 ? 1 : v;
    Resize();
    Invalidate();
}

void TVorqFire::SetOrigWidth(int32_t v) { ChangeOrig(FOrigWidth, v); }
void TVorqFire::SetOrigHeight(int32_t v) { ChangeOrig(FOrigHeight, v); }
void TVorqFire::SetZoomX(int32_t v) { ChangeZoom(FZoomX, v); }
void TVorqFire::SetZoomY(int32_t v) { ChangeZoom(FZoomY, v); }

bool TVorqFire::Update() {
    const bool done = TVorqControl::Update();
    if (FSetup == 0) {
        // Rebuilt even while paused, so a new size shows cold at once.
        FField.Reset(FOrigWidth, FOrigHeight);
        FSetup = 1;
        Invalidate();
    }
    if (GetAniPaused()) return done;
    FAccumulator = int32_t(uint32_t(FAccumulator) + FrameTime);
    // Slow frames lose steps rather than running several.
    if (FAccumulator >= 40) {
        FAccumulator %= 40;
        FField.Step();
        Invalidate();
    }
    return done;
}

void TVorqFire::Draw() {
    if (GetVisible()) {
        if (TCustomDIBX* target = GetSurface()) {
            const TRect dest = (FZoomX == 256 && FZoomY == 256)
                                   ? Bounds(GetScreenX(), GetScreenY(), FField.Width(), FField.Height())
                                   : GetRect();
            DrawFireField(FField, *target, dest);
        }
    }
    TVorqControl::Draw();
}

void TVorqFire::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamInteger(s, FPower);
    WriteStreamInteger(s, FOrigWidth);
    WriteStreamInteger(s, FOrigHeight);
    WriteStreamInteger(s, FZoomX);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FPaused);
    WriteStreamInteger(s, FZoomY);
}

void TVorqFire::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    SetPower(r.I32("power"));
    const int32_t w = r.I32("field width");
    const int32_t h = r.I32("field height");
    if (w < 0 || h < 0 || w > kMaxFireSide || h > kMaxFireSide) throw ECorruptData(ObjectRecordMessage());
    FOrigWidth = w;
    FOrigHeight = h;
    SetZoomX(r.I32("zoom x"));
    if (version >= 104) {
        FOnIdle = r.String("idle handler");
        FPaused = r.U8("paused");
        SetZoomY(r.I32("zoom y"));
    }
    Resize();
    // A loaded fire starts cold.
    FSetup = 0;
}

void TVorqFire::ApplyFilmFire(const TFilmFireFrame& f) {
    SetPriority(f.place.priority);
    if (f.place.motion) {
        Invalidate();
        SetMotionX(f.place.left);
        SetMotionY(f.place.top);
        Invalidate();
    } else {
        if (f.place.parent) SetParent(f.place.parent);
        SetLeft(f.place.left);
        SetTop(f.place.top);
    }
    SetOrigWidth(f.orig_width);
    SetOrigHeight(f.orig_height);
    SetZoomX(f.zoom_x);
    SetZoomY(f.zoom_y);
    SetPower(f.power);
    ApplyFilmClip(*this, f.place.clip);
}
