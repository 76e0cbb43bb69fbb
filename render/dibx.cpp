#include "render/dibx.h"

#include <algorithm>
#include <cstring>

#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"

namespace {
int32_t g_display_bits = 15;
bool g_device_surfaces = false;

bool HasExtension(const std::string& path, const char* ext) { return AnsiLowerCase(ExtractFileExt(path)) == ext; }

TBitFieldFormat FormatFor(int32_t bits) {
    if (bits == 15) return MakeBitFieldFormat(5, 5, 5);
    if (bits == 16) return MakeBitFieldFormat(5, 6, 5);
    return MakeBitFieldFormat(8, 8, 8);
}
}  // namespace

int32_t DisplayBitCount() { return g_display_bits; }

void SetDisplayBitCount(int32_t bits) {
    if (bits == 15 || bits == 16 || bits == 24 || bits == 32) g_display_bits = bits;
}

bool DeviceSurfacesAllowed() { return g_device_surfaces; }
void SetDeviceSurfacesAllowed(bool allowed) { g_device_surfaces = allowed; }

// ------------------------------------------------------------------ TDIBX

TDIBX::TDIBX() : surface_(new TDIBSurface) { SetSize(1, 1, 15); }

TDIBX::TDIBX(TDIBSurface& borrowed) : surface_(&borrowed), borrowed_(true) {
    TCustomDIBX::SetSize(borrowed.Width(), borrowed.Height(), borrowed.GetBitCount());
}

TDIBX::~TDIBX() {
    if (!borrowed_) delete surface_;
}

int32_t TDIBX::BitCount() const { return surface_->GetBitCount(); }

void TDIBX::SetBitCount(int32_t bits) {
    if (bits == BitCount()) return;
    surface_->SetPixelFormat(FormatFor(bits));
    surface_->SetBitCount(bits == 15 ? 16 : bits);
}

void TDIBX::SetSize(int32_t width, int32_t height, int32_t bits) {
    surface_->SetSize(width, height, bits);
    TCustomDIBX::SetSize(surface_->Width(), surface_->Height(), bits);
}

uint8_t* TDIBX::Lock(int32_t x, int32_t y) {
    if (surface_->Empty() || x < 0 || y < 0 || x >= surface_->Width() || y >= surface_->Height()) return nullptr;
    return surface_->ScanLine(y) + int64_t(x) * surface_->BitCount() / 8;
}

void TDIBX::Fill(uint32_t value) {
    const int32_t bits = BitCount();
    if (bits == 24) return FillRect(BoundsRect(), value);
    if (IsEmpty()) return;
    uint8_t* base = Lock(0, 0);
    if (!base) return;
    const int32_t pitch = Pitch();
    const size_t rowBytes = size_t(pitch < 0 ? -int64_t(pitch) : pitch);
    const uint8_t low = uint8_t(value);
    // A value whose pixel bytes are all alike (black, white) is a byte fill:
    // page-sized surfaces are cleared on every render.
    const bool bytes = (bits == 32 && value == low * 0x01010101u) ||
                       ((bits == 15 || bits == 16) && uint16_t(value) == low * 0x0101u);
    for (int32_t y = 0; y < Height(); ++y) {
        uint8_t* row = base + int64_t(pitch) * y;
        switch (bits) {
            case 1: std::memset(row, value ? 0xFF : 0, rowBytes); break;
            case 4: std::memset(row, uint8_t(low | low << 4), rowBytes); break;
            case 8: std::memset(row, low, rowBytes); break;
            case 15:
            case 16:
                if (bytes) std::memset(row, low, rowBytes);
                else std::fill_n(reinterpret_cast<uint16_t*>(row), rowBytes / 2, uint16_t(value));
                break;
            case 32:
                if (bytes) std::memset(row, low, rowBytes);
                else std::fill_n(reinterpret_cast<uint32_t*>(row), rowBytes / 4, value);
                break;
            default: break;
        }
    }
    Unlock();
}

void TDIBX::Clear() {
    TCustomDIBX::Clear();
    // The bitmap keeps a minimal image.
    surface_->SetSize(8, 8, surface_->GetBitCount() > 0 ? surface_->GetBitCount() : 15);
}

void TDIBX::GetPaletteEntries(uint8_t* entries, int32_t start, int32_t count) {
    if (start < 0 || count <= 0 || start >= 256) return;
    count = std::min(count, 256 - start);
    std::memcpy(entries, surface_->ColorTable() + start, size_t(count) * 4);
}

void TDIBX::SetPaletteEntries(const uint8_t* entries, int32_t start, int32_t count) {
    if (start < 0 || count <= 0 || start >= 256) return;
    count = std::min(count, 256 - start);
    std::vector<TRGBQuad> quads(static_cast<size_t>(count));
    std::memcpy(quads.data(), entries, size_t(count) * 4);
    surface_->SetColorTable(quads.data(), start, count);
}

// ------------------------------------------------------------------ TDxDIBX

TDxDIBX::TDxDIBX() {
    TDIBX::SetSize(0, 0, 0);
    std::fill(std::begin(cache_colors_), std::end(cache_colors_), -1);
}

void TDxDIBX::SetPixel(int32_t x, int32_t y, uint32_t value) {
    if (has_surface_) TDIBX::SetPixel(x, y, value);
}

void TDxDIBX::SetSize(int32_t width, int32_t height, int32_t bits) {
    ReleaseSurface();
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    TDIBX::SetSize(width, height, indexed ? bits : DisplayBitCount());
    has_surface_ = !Surface().Empty();
    if (indexed && has_surface_) {
        const TRGBQuad zero[256] = {};
        Surface().SetColorTable(zero);
    }
    std::fill(std::begin(cache_colors_), std::end(cache_colors_), -1);
    cache_next_ = 0;
    FWidth = width < 0 ? 0 : width;
    FHeight = height < 0 ? 0 : height;
}

int32_t TDxDIBX::ColorToPixel(int32_t color) const {
    if (color < 0) return -1;
    for (int i = 0; i < 16; ++i)
        if (cache_colors_[i] == color) return cache_pixels_[i];
    // The device's value of the colour: written at (0, 0) and read back,
    // the pixel there put back afterwards.
    TDxDIBX& self = const_cast<TDxDIBX&>(*this);
    const uint32_t kept = GetPixel(0, 0);
    const int32_t bits = BitCount();
    int32_t value = PackColor(bits, color);
    if (bits <= 8) {
        value = int32_t(Surface().RGBToPixel(uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16)));
    }
    if (has_surface_) {
        self.SetPixel(0, 0, uint32_t(value));
        value = int32_t(GetPixel(0, 0));
        self.SetPixel(0, 0, kept);
    }
    cache_colors_[cache_next_] = color;
    cache_pixels_[cache_next_] = value;
    cache_next_ = (cache_next_ + 1) % 16;
    return value;
}

void TDxDIBX::Clear() {
    TCustomDIBX::Clear();
    ReleaseSurface();
}

void TDxDIBX::ReleaseSurface() {
    if (!has_surface_) return;
    Surface().Clear();
    has_surface_ = false;
}

namespace {
int PaletteSize(int bits) { return bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0; }
}  // namespace

void TDxDIBX::GetPalette(uint8_t* entries) {
    const int n = has_surface_ ? PaletteSize(BitCount()) : 0;
    if (n > 0) TDIBX::GetPaletteEntries(entries, 0, n);
}

void TDxDIBX::GetPaletteEntries(uint8_t* entries, int32_t start, int32_t count) {
    const int n = has_surface_ ? PaletteSize(BitCount()) : 0;
    if (n > 0 && start >= 0 && count > 0 && start < n) TDIBX::GetPaletteEntries(entries, start, std::min(count, n - start));
}

void TDxDIBX::SetPalette(const uint8_t* entries) {
    const int n = has_surface_ ? PaletteSize(BitCount()) : 0;
    if (n > 0) TDIBX::SetPaletteEntries(entries, 0, n);
}

void TDxDIBX::SetPaletteEntries(const uint8_t* entries, int32_t start, int32_t count) {
    const int n = has_surface_ ? PaletteSize(BitCount()) : 0;
    if (n == 0 || start < 0 || count < 0 || int64_t(start) + count > n) {
        throw Exception("FPalette.SetEntries Failed");
    }
    TDIBX::SetPaletteEntries(entries, start, count);
}

// ------------------------------------------------------------------ TDIBXWave

void TDIBXWave::SetSize(int32_t width, int32_t height, int32_t bits) {
    TCustomDIBX::SetSize(width, height, bits);
    offsets_.assign(size_t(Height()), 0);
}

void TDIBXWave::ClearClipRect() {
    TCustomDIBX::ClearClipRect();
    if (target_) target_->ClearClipRect();
}

void TDIBXWave::AddClipRect(const TRect& r) {
    TRect c = r;
    c.Left = std::max(c.Left, left_);
    c.Top = std::max(c.Top, top_);
    c.Right = ClampToInt32(std::min<int64_t>(c.Right, int64_t(left_) + Width()));
    c.Bottom = ClampToInt32(std::min<int64_t>(c.Bottom, int64_t(top_) + Height()));
    if (RectIsEmpty(c)) return;
    FClipRect = FClipRect.Right != 0 ? UnionRects(FClipRect, c) : c;
    if (target_) target_->AddClipRect(FClipRect);
}

namespace {
// A row's shift moves far-off scripted positions by at most |AMP|: the sums
// stop at the ends of the 32-bit range instead of wrapping round.
int32_t ShiftBy(int32_t v, int32_t dx) { return ClampToInt32(int64_t(v) + dx); }
TRect Shift(const TRect& r, int32_t dx) { return TRect{ShiftBy(r.Left, dx), r.Top, ShiftBy(r.Right, dx), r.Bottom}; }
TRect RowsOf(const TRect& r, int32_t y, int32_t rows, int32_t dx) {
    return TRect{ShiftBy(r.Left, dx), y, ShiftBy(r.Right, dx), ShiftBy(y, rows)};
}
// The source rows of a run that starts rows below the draw's top.
TRect SourceRows(const TRect& s, int32_t from, int32_t rows) {
    const int32_t top = ShiftBy(s.Top, from);
    return TRect{s.Left, top, s.Right, ShiftBy(top, rows)};
}
}  // namespace

template <class Op>
void TDIBXWave::ForRuns(int64_t y0, int64_t y1, Op op) {
    if (!target_) return;
    // Only the rows of the offset table can be drawn: a fill of a scripted
    // rectangle two billion rows tall walks no row outside it.
    const int64_t hi = std::min(y1, TableEnd());
    for (int64_t y = std::max(y0, int64_t(top_)); y < hi;) {
        const int64_t i = y - top_;
        int64_t run = 1;
        while (y + run < hi && offsets_[size_t(i + run)] == offsets_[size_t(i)]) ++run;
        rows_walked_ += run;
        op(int32_t(y), int32_t(run), offsets_[size_t(i)]);
        y += run;
    }
}

template <class Op>
void TDIBXWave::ForSourceRuns(int32_t y, const TRect& srcRect, Op op) {
    ForRuns(y, int64_t(y) + srcRect.Height(), [&](int32_t row, int32_t rows, int32_t dx) {
        op(dx, row, SourceRows(srcRect, row - y, rows));
    });
}

template <class Op>
void TDIBXWave::ForClippedRows(const TRect& bounds, Op op) {
    if (!target_) return;
    const TRect c = IntersectRects(bounds, target_->GetClipRect());
    if (RectIsEmpty(c)) return;
    saved_clip_ = target_->GetClipRect();
    const TRect kept = saved_clip_;
    const int64_t hi = std::min(int64_t(c.Bottom), TableEnd());
    for (int64_t y = std::max(int64_t(c.Top), int64_t(top_)); y < hi; ++y) {
        ++rows_walked_;
        target_->SetClipRect(TRect{c.Left, int32_t(y), c.Right, int32_t(y + 1)});
        op(offsets_[size_t(y - top_)]);
    }
    target_->SetClipRect(kept);
}

template <class Op>
void TDIBXWave::ForStrips(int32_t y, int32_t strips, Op op) {
    if (!target_) return;
    const int64_t hi = std::min(int64_t(strips), TableEnd() - y);
    for (int64_t k = std::max<int64_t>(0, int64_t(top_) - y); k < hi; ++k) {
        ++rows_walked_;
        op(int32_t(k), offsets_[size_t(int64_t(y) + k - top_)]);
    }
}


void TDIBXWave::FillRect(const TRect& r, uint32_t value) {
    ForRuns(r.Top, r.Bottom, [&](int32_t y, int32_t rows, int32_t dx) { target_->FillRect(RowsOf(r, y, rows, dx), value); });
}

void TDIBXWave::FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha) {
    ForRuns(r.Top, r.Bottom,
            [&](int32_t y, int32_t rows, int32_t dx) { target_->FillRectAlpha(RowsOf(r, y, rows, dx), value, alpha); });
}

void TDIBXWave::FillRectAdd(const TRect& r, uint32_t value) {
    ForRuns(r.Top, r.Bottom, [&](int32_t y, int32_t rows, int32_t dx) { target_->FillRectAdd(RowsOf(r, y, rows, dx), value); });
}

void TDIBXWave::FillRectSub(const TRect& r, uint32_t value) {
    ForRuns(r.Top, r.Bottom, [&](int32_t y, int32_t rows, int32_t dx) { target_->FillRectSub(RowsOf(r, y, rows, dx), value); });
}

void TDIBXWave::FillPattern(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY, bool flipH,
                            bool flipV) {
    ForRuns(r.Top, r.Bottom, [&](int32_t y, int32_t rows, int32_t dx) {
        target_->FillPattern(RowsOf(r, y, rows, dx), pattern, offsetX, offsetY + (y - r.Top), flipH, flipV);
    });
}

void TDIBXWave::CopyFrom(TCustomDIBX& src) { Draw(0, 0, src, src.BoundsRect(), false, false, false); }

void TDIBXWave::Draw(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                     bool flipV) {
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->Draw(ShiftBy(x, dx), row, src, s, transparent, flipH, flipV);
    });
}

void TDIBXWave::DrawMask(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                         TCustomDIBX& mask) {
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->DrawMask(ShiftBy(x, dx), row, src, s, flipH, flipV, mask);
    });
}

void TDIBXWave::DrawAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                          bool flipH, bool flipV, int32_t alpha) {
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->DrawAlpha(ShiftBy(x, dx), row, src, s, transparent, flipH, flipV, alpha);
    });
}

void TDIBXWave::DrawMaskAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                              TCustomDIBX& mask, int32_t alpha) {
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->DrawMaskAlpha(ShiftBy(x, dx), row, src, s, flipH, flipV, mask, alpha);
    });
}

void TDIBXWave::DrawAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                        bool flipV, int32_t level) {
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->DrawAdd(ShiftBy(x, dx), row, src, s, transparent, flipH, flipV, level);
    });
}

void TDIBXWave::DrawMaskAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                            TCustomDIBX& mask, int32_t level) {
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->DrawMaskAdd(ShiftBy(x, dx), row, src, s, flipH, flipV, mask, level);
    });
}

void TDIBXWave::FillMask(int32_t x, int32_t y, TCustomDIBX& mask, const TRect& maskRect, bool flipH, bool flipV,
                         uint32_t value, int32_t alpha) {
    const TRect& srcRect = maskRect;
    ForSourceRuns(y, srcRect, [&](int32_t dx, int32_t row, const TRect& s) {
        target_->FillMask(ShiftBy(x, dx), row, mask, s, flipH, flipV, value, alpha);
    });
}

void TDIBXWave::DrawRotate(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                           const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle, bool transparent,
                           bool flipH, bool flipV, int32_t alphaCode) {
    if (!target_) return;
    const TRect b = target_->GetRotatedBounds(x, y, srcRect.Width(), srcRect.Height(), centerX, centerY, zoomX, zoomY,
                                              angle, flipH, flipV);
    ForClippedRows(b, [&](int32_t dx) {
        target_->DrawRotate(ShiftBy(x, dx), y, zoomX, zoomY, src, srcRect, centerX, centerY, angle, transparent, flipH, flipV,
                            alphaCode);
    });
}

void TDIBXWave::DrawRotateMask(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                               const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle, bool flipH,
                               bool flipV, TCustomDIBX& mask, int32_t alphaCode) {
    if (!target_) return;
    const TRect b = target_->GetRotatedBounds(x, y, srcRect.Width(), srcRect.Height(), centerX, centerY, zoomX, zoomY,
                                              angle, flipH, flipV);
    ForClippedRows(b, [&](int32_t dx) {
        target_->DrawRotateMask(ShiftBy(x, dx), y, zoomX, zoomY, src, srcRect, centerX, centerY, angle, flipH, flipV, mask,
                                alphaCode);
    });
}

void TDIBXWave::DrawStretch(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                            bool flipH, bool flipV, int32_t alpha) {
    ForClippedRows(dstRect, [&](int32_t dx) {
        target_->DrawStretch(Shift(dstRect, dx), src, srcRect, transparent, flipH, flipV, alpha);
    });
}

void TDIBXWave::DrawStretchMask(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                                TCustomDIBX& mask, int32_t alpha) {
    ForClippedRows(dstRect,
                   [&](int32_t dx) { target_->DrawStretchMask(Shift(dstRect, dx), src, srcRect, flipH, flipV, mask, alpha); });
}

void TDIBXWave::DrawStretchAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                               bool flipH, bool flipV, int32_t level) {
    ForClippedRows(dstRect, [&](int32_t dx) {
        target_->DrawStretchAdd(Shift(dstRect, dx), src, srcRect, transparent, flipH, flipV, level);
    });
}

void TDIBXWave::DrawStretchMaskAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                   bool flipV, TCustomDIBX& mask, int32_t level) {
    ForClippedRows(dstRect, [&](int32_t dx) {
        target_->DrawStretchMaskAdd(Shift(dstRect, dx), src, srcRect, flipH, flipV, mask, level);
    });
}

void TDIBXWave::FramePattern(const TRect& r, int32_t thickness, bool flipH, bool flipV, TCustomDIBX& pattern) {
    ForClippedRows(r, [&](int32_t dx) { target_->FramePattern(Shift(r, dx), thickness, flipH, flipV, pattern); });
}

void TDIBXWave::DrawStretchIndexed8Add(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                       bool flipV, int32_t level, const uint32_t colors[256], int32_t key) {
    ForClippedRows(dstRect, [&](int32_t dx) {
        target_->DrawStretchIndexed8Add(Shift(dstRect, dx), src, srcRect, flipH, flipV, level, colors, key);
    });
}

void TDIBXWave::FillPatternZoomed(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                  int32_t zoomX, int32_t zoomY, bool transparent, bool flipH, bool flipV,
                                  int32_t alphaCode) {
    ForClippedRows(r, [&](int32_t dx) {
        target_->FillPatternZoomed(Shift(r, dx), pattern, offsetX, offsetY, zoomX, zoomY, transparent, flipH, flipV,
                                   alphaCode);
    });
}

void TDIBXWave::FillPatternZoomedMask(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                      int32_t zoomX, int32_t zoomY, TCustomDIBX& mask, bool flipH, bool flipV,
                                      int32_t alphaCode) {
    ForClippedRows(r, [&](int32_t dx) {
        target_->FillPatternZoomedMask(Shift(r, dx), pattern, offsetX, offsetY, zoomX, zoomY, mask, flipH, flipV,
                                       alphaCode);
    });
}

void TDIBXWave::DrawReduce(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, uint32_t value, bool flipH,
                           bool flipV, int32_t alpha, int32_t factor) {
    if (factor < 1) return;
    const int32_t strips = int32_t((int64_t(srcRect.Height()) + factor - 1) / factor);
    ForStrips(y, strips, [&](int32_t k, int32_t dx) {
        const int64_t top = int64_t(srcRect.Top) + int64_t(k) * factor;
        const TRect s{srcRect.Left, ClampToInt32(top), srcRect.Right, ClampToInt32(std::min<int64_t>(srcRect.Bottom, top + factor))};
        target_->DrawReduce(ShiftBy(x, dx), y + k, src, s, value, flipH, flipV, alpha, factor);
    });
}

void TDIBXWave::DrawReduceClasses(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect,
                                  const uint32_t colors[3], bool flipH, bool flipV, int32_t alphaCode, int32_t factor) {
    if (factor < 1) return;
    const int32_t strips = int32_t((int64_t(srcRect.Height()) + factor - 1) / factor);
    ForStrips(y, strips, [&](int32_t k, int32_t dx) {
        const int64_t top = int64_t(srcRect.Top) + int64_t(k) * factor;
        const TRect s{srcRect.Left, ClampToInt32(top), srcRect.Right, ClampToInt32(std::min<int64_t>(srcRect.Bottom, top + factor))};
        target_->DrawReduceClasses(ShiftBy(x, dx), y + k, src, s, colors, flipH, flipV, alphaCode, factor);
    });
}

void TDIBXWave::DrawIndexed4(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                             int32_t alphaCode, const uint32_t colors[16]) {
    ForStrips(y, srcRect.Height(), [&](int32_t k, int32_t dx) {
        target_->DrawIndexed4(ShiftBy(x, dx), y + k, src, SourceRows(srcRect, k, 1), flipH, flipV, alphaCode, colors);
    });
}

void TDIBXWave::DrawIndexed8Add(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                                int32_t level, const uint32_t colors[256], int32_t key) {
    ForStrips(y, srcRect.Height(), [&](int32_t k, int32_t dx) {
        target_->DrawIndexed8Add(ShiftBy(x, dx), y + k, src, SourceRows(srcRect, k, 1), flipH, flipV, level, colors, key);
    });
}

// ------------------------------------------------------------------ loading

void CopyDIBToSurface(const TDIB& dib, TCustomDIBX& surface) {
    const int w = dib.Width(), h = dib.Height();
    surface.SetSize(w, h, surface.BitCount());
    const int dstore = surface.StorageBitCount(), sbpp = dib.BitCount();
    const bool sameFormat = sbpp > 8 && dstore == sbpp &&
                            (sbpp != 16 || dib.PixelFormat().GBitMask == surface.GreenMask());
    uint8_t* base = surface.Lock(0, 0);
    if (!base) return;
    const int64_t pitch = surface.Pitch();
    std::vector<uint8_t> bgr(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = dib.ScanLineReadOnly(y);
        uint8_t* d = base + pitch * y;
        if (dstore == 32 && (sbpp == 32 || sbpp == 24)) {
            const int step = sbpp / 8;
            for (int x = 0; x < w; ++x, s += step, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 0;
        } else if (sameFormat) {
            std::memcpy(d, s, size_t(w) * (dstore / 8));
        } else {
            dib.ReadRowBGR(y, bgr.data());
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = &bgr[size_t(x) * 3];
                surface.SetPixel(x, y, uint32_t(surface.ColorToPixel(p[2] | p[1] << 8 | p[0] << 16)));
            }
        }
    }
    surface.Unlock();
}

void LoadSurfaceFromFile(TCustomDIBX& surface, const std::string& sjisPath) {
    if (!HasExtension(sjisPath, ".bmp") || !FileExists(sjisPath)) return;
    TDIB dib;
    dib.LoadFromFile(sjisPath);
    if (!dib.Empty()) CopyDIBToSurface(dib, surface);
}

void SaveSurfaceToFile(TCustomDIBX& surface, const std::string& sjisPath) {
    if (!HasExtension(sjisPath, ".bmp")) return;
    TDIB dib;
    CopySurfaceToDIB24(surface, dib);
    dib.SaveToFile(sjisPath);
}

void CopySurfaceToDIB24(TCustomDIBX& surface, TDIB& dib) {
    dib.SetSize(surface.Width(), surface.Height(), 24);
    const int bits = surface.BitCount();
    uint8_t palette[1024] = {};
    if (bits <= 8) surface.GetPalette(palette);
    const TBitFieldFormat format = FormatFor(bits == 15 || bits == 16 ? bits : 16);
    for (int y = 0; y < surface.Height(); ++y) {
        uint8_t* d = dib.ScanLine(y);
        for (int x = 0; x < surface.Width(); ++x, d += 3) {
            const uint32_t v = surface.GetPixel(x, y);
            if (bits <= 8) {
                std::memcpy(d, palette + 4 * (v & 255), 3);
            } else if (bits == 15 || bits == 16) {
                format.Unpack(v, d[2], d[1], d[0]);
            } else {
                d[0] = uint8_t(v), d[1] = uint8_t(v >> 8), d[2] = uint8_t(v >> 16);
            }
        }
    }
}

void TCustomDIBX::LoadFromFile(const std::string& sjisPath) { LoadSurfaceFromFile(*this, sjisPath); }

void TCustomDIBX::SaveToFile(const std::string& sjisPath) { SaveSurfaceToFile(*this, sjisPath); }
