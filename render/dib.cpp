#include "render/dib.h"

#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// A picture larger than this is refused before anything is allocated: far
// beyond any game screen, small enough that a hostile header cannot exhaust
// memory.
constexpr int64_t kMaxDimension = 65535;
constexpr int64_t kMaxImageBytes = int64_t{1} << 28;

[[noreturn]] void BadDIB() { RaiseInvalidDIB(); }

bool ValidBitCount(int b) { return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32; }

TBitFieldFormat DefaultFormat(int bitCount) {
    return bitCount == 16 ? MakeBitFieldFormat(5, 5, 5) : MakeBitFieldFormat(8, 8, 8);
}

const std::shared_ptr<TDIBSharedImage>& EmptyImage() {
    static const std::shared_ptr<TDIBSharedImage> empty = [] {
        auto img = std::make_shared<TDIBSharedImage>();
        img->Format = MakeBitFieldFormat(8, 8, 8);
        return img;
    }();
    return empty;
}

std::shared_ptr<TDIBSharedImage> NewImage(int w, int h, int bpp, const TBitFieldFormat& format,
                                          const std::array<TRGBQuad, 256>& table) {
    CheckDIBSize(w, h, bpp);
    auto img = std::make_shared<TDIBSharedImage>();
    img->Width = w;
    img->Height = h;
    img->BitCount = bpp;
    img->Stride = ((w * bpp + 31) / 32) * 4;
    img->Format = format;
    img->ColorTable = table;
    img->ColorCount = bpp <= 8 ? 1 << bpp : 0;
    img->Pixels.assign(static_cast<size_t>(img->Stride) * h, 0);
    return img;
}

// Colour cube with r-g-b bits per channel, as the table of a palette bitmap
// that a deeper picture is converted into.
void MakeColorCube(std::array<TRGBQuad, 256>& table, int rBits, int gBits, int bBits) {
    const int rm = (1 << rBits) - 1, gm = (1 << gBits) - 1, bm = (1 << bBits) - 1;
    for (int i = 0; i < (1 << (rBits + gBits + bBits)); ++i) {
        table[i].rgbRed = static_cast<uint8_t>(((i >> (gBits + bBits)) & rm) * 255 / rm);
        table[i].rgbGreen = static_cast<uint8_t>(((i >> bBits) & gm) * 255 / gm);
        table[i].rgbBlue = static_cast<uint8_t>((i & bm) * 255 / bm);
        table[i].rgbReserved = 0;
    }
}

// Grey ramp of Greyscale and Blur: level = i shl (8 - bpp), or-ed with
// itself shifted right by bpp.
void MakeGreyRamp(std::array<TRGBQuad, 256>& table, int bpp) {
    for (int i = 0; i < (1 << bpp); ++i) {
        const int l = i << (8 - bpp);
        const uint8_t v = static_cast<uint8_t>(l | (l >> bpp));
        table[i] = {v, v, v, 0};
    }
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// RLE8 / RLE4 pixel data into a zeroed store. A run or literal may reach
// into the row's padding (encoders pad odd rows to an even pixel count) but
// not beyond the stored row; runs, literals and deltas past that, and rows
// past the last, are refused. Data ending without an end-of-bitmap mark
// leaves the rest as it is.
void DecodeRLE(const uint8_t* d, size_t n, TDIBSharedImage& img, bool rle4) {
    const int w = img.Width, h = img.Height, bpp = rle4 ? 4 : 8;
    const int limit = img.Stride * 8 / bpp;
    int x = 0, y = 0;  // y counts from the bottom row, as the file does
    size_t p = 0;
    auto row = [&](int yy) { return img.Pixels.data() + static_cast<size_t>(h - 1 - yy) * img.Stride; };
    while (p + 2 <= n) {
        const int count = d[p], value = d[p + 1];
        p += 2;
        if (count != 0) {
            if (y >= h || count > limit - x) BadDIB();
            uint8_t* r = row(y);
            const int end = std::min(x + count, w);
            if (!rle4) std::memset(r + x, value, std::max(end - x, 0));
            else
                for (int i = x; i < end; ++i) DIBSetRaw(r, i, 4, ((i - x) & 1) ? value & 0x0F : value >> 4);
            x += count;
            continue;
        }
        switch (value) {
        case 0:
            x = 0;
            if (++y > h) BadDIB();
            break;
        case 1: return;
        case 2: {
            if (p + 2 > n) BadDIB();
            const int dx = d[p], dy = d[p + 1];
            p += 2;
            if (dx > w - x || dy > h - y) BadDIB();
            x += dx;
            y += dy;
            break;
        }
        default: {
            const size_t bytes = rle4 ? (value + 1) / 2 : value;
            if (p + bytes > n || y >= h || value > limit - x) BadDIB();
            uint8_t* r = row(y);
            const int count = std::min(value, w - x);
            for (int i = 0; i < count; ++i) {
                const uint32_t v = rle4 ? ((i & 1) ? d[p + i / 2] & 0x0F : d[p + i / 2] >> 4) : d[p + i];
                DIBSetRaw(r, x + i, bpp, v);
            }
            x += value;
            p += bytes + (bytes & 1);
            break;
        }
        }
    }
}

}  // namespace

void RaiseInvalidDIB() { throw EInvalidGraphic(Sjis("不正な DIB です")); }

namespace {
[[noreturn]] void RaiseGraphic(const std::string& message) { throw EInvalidGraphic(message); }
}  // namespace

FieldReader PictureFields(TStream& stream) { return FieldReader(stream, Sjis("不正な DIB です"), RaiseGraphic); }

void RaiseBadBitCount(int bitCount) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " (%d)", bitCount);
    throw EInvalidGraphic(Sjis("不正なビット数です") + buf);
}

TBitFieldFormat MakeBitFieldFormat(int rBits, int gBits, int bBits) {
    TBitFieldFormat f;
    f.RBitCount = rBits;
    f.GBitCount = gBits;
    f.BBitCount = bBits;
    // In 64 bits: a channel of all 32 bits must not shift a 32-bit value by 32.
    auto ones = [](int n) { return (uint64_t{1} << n) - 1; };
    f.BBitMask = static_cast<uint32_t>(ones(bBits));
    f.GBitMask = static_cast<uint32_t>(ones(gBits) << bBits);
    f.RBitMask = static_cast<uint32_t>(ones(rBits) << (gBits + bBits));
    f.RLeftShift = gBits + bBits - (8 - rBits);
    f.GLeftShift = bBits - (8 - gBits);
    f.BRightShift = 8 - bBits;
    f.RRightShift = 8 - rBits;
    f.GRightShift = 8 - gBits;
    f.BRightShift2 = 8 - bBits;
    return f;
}

TBitFieldFormat MakeBitFieldFormatFromMasks(uint32_t rMask, uint32_t gMask, uint32_t bMask) {
    TBitFieldFormat f = MakeBitFieldFormat(__builtin_popcount(rMask), __builtin_popcount(gMask), __builtin_popcount(bMask));
    // The masks themselves are kept, so a layout other than red above green
    // above blue does not pass BitFieldFormatFits.
    f.RBitMask = rMask;
    f.GBitMask = gMask;
    f.BBitMask = bMask;
    return f;
}

bool BitFieldFormatFits(const TBitFieldFormat& f, int bitCount) {
    if (bitCount == 16) return f == MakeBitFieldFormat(5, 5, 5) || f == MakeBitFieldFormat(5, 6, 5);
    return f == MakeBitFieldFormat(8, 8, 8);
}

void CheckDIBSize(int64_t width, int64_t height, int bitCount) {
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) BadDIB();
    if (((width * bitCount + 31) / 32) * 4 * height > kMaxImageBytes) BadDIB();
}

int64_t MaxDIBSide() { return kMaxDimension; }

int64_t MaxDIBRows(int64_t width, int bitCount) {
    const int64_t row = ((std::max<int64_t>(width, 1) * bitCount + 31) / 32) * 4;
    return std::min(kMaxDimension, kMaxImageBytes / row);
}

TColorMatcher::TColorMatcher(const TRGBQuad* table, int count) {
    for (int i = 0; i < count; ++i) entries_.push_back({table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0});
}

uint8_t TColorMatcher::Index(uint8_t r, uint8_t g, uint8_t b) {
    const uint32_t c = r | (g << 8) | (b << 16);
    auto it = cache_.find(c);
    if (it != cache_.end()) return it->second;
    const uint8_t i = static_cast<uint8_t>(NearestColorIndex(entries_.data(), static_cast<int32_t>(c),
                                                             static_cast<int>(entries_.size())));
    cache_.emplace(c, i);
    return i;
}

// ---------------------------------------------------------------- TDIB

TDIB::TDIB() : image_(EmptyImage()), format_(MakeBitFieldFormat(8, 8, 8)) {}
TDIB::TDIB(const TDIB& other) : image_(other.image_), format_(other.format_) {}
TDIB& TDIB::operator=(const TDIB& other) {
    Assign(&other);
    return *this;
}
TDIB::~TDIB() = default;

void TDIB::Assign(const TDIB* source) {
    if (!source) {
        Clear();
        return;
    }
    image_ = source->image_;
    format_ = source->format_;
}

void TDIB::Clear() { SetImage(EmptyImage()); }

void TDIB::SetImage(std::shared_ptr<TDIBSharedImage> image) {
    image_ = std::move(image);
    format_ = image_->Format;
}

void TDIB::MakePrivate() {
    if (image_.use_count() > 1 || image_ == EmptyImage()) image_ = std::make_shared<TDIBSharedImage>(*image_);
}

void TDIB::SetColorTable(const TRGBQuad* entries, int start, int count) {
    if (start < 0 || count <= 0 || start >= 256) return;
    count = std::min(count, 256 - start);
    if (std::equal(entries, entries + count, image_->ColorTable.begin() + start)) return;
    MakePrivate();
    std::copy(entries, entries + count, image_->ColorTable.begin() + start);
}

TPalette TDIB::Palette() const { return CreatePaletteFromQuads(image_->ColorTable.data(), image_->ColorCount); }

void TDIB::SetPalette(const TPalette& palette) {
    std::array<TRGBQuad, 256> quads = image_->ColorTable;
    const int n = PaletteToQuads(palette, quads.data());
    SetColorTable(quads.data(), 0, n);
}

void TDIB::SetSize(int width, int height, int bitCount) {
    if (width < 1 || height < 1) {
        Clear();
        return;
    }
    if (!ValidBitCount(bitCount)) RaiseBadBitCount(bitCount);
    const TBitFieldFormat format = BitFieldFormatFits(format_, bitCount) ? format_ : DefaultFormat(bitCount);
    if (width == Width() && height == Height() && bitCount == BitCount() && format == image_->Format) return;
    SetImage(NewImage(width, height, bitCount, format, image_->ColorTable));
}

void TDIB::SetWidth(int width) {
    if (width < 1) Clear();
    else if (Empty()) SetSize(width, std::max(Height(), 1), 8);
    else SetSize(width, Height(), BitCount());
}

void TDIB::SetHeight(int height) {
    if (height < 1) Clear();
    else if (Empty()) SetSize(std::max(Width(), 1), height, 8);
    else SetSize(Width(), height, BitCount());
}

void TDIB::SetBitCount(int bitCount) {
    if (bitCount < 1) {
        Clear();
        return;
    }
    if (Empty()) {
        TDIB::SetSize(std::max(Width(), 1), std::max(Height(), 1), bitCount);
        return;
    }
    const TDIB old(*this);
    TDIB::SetSize(Width(), Height(), bitCount);
    if (SharesStoreWith(old)) return;
    const int w = Width(), h = Height(), oldBpp = old.BitCount();
    if (oldBpp <= 8 && bitCount <= 8 && bitCount >= oldBpp) {
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = old.ScanLineReadOnly(y);
            uint8_t* d = ScanLine(y);
            for (int x = 0; x < w; ++x) DIBSetRaw(d, x, bitCount, DIBGetRaw(s, x, oldBpp));
        }
        return;
    }
    if (bitCount <= 8) {
        std::array<TRGBQuad, 256> table{};
        if (bitCount == 1) table[1] = {255, 255, 255, 0};
        else if (bitCount == 4) MakeColorCube(table, 1, 2, 1);
        else MakeColorCube(table, 3, 3, 2);
        MakePrivate();
        image_->ColorTable = table;
    }
    TColorMatcher matcher(ColorTable(), ColorCount());
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        old.ReadRowBGR(y, bgr.data());
        WriteRowBGR(y, bgr.data(), &matcher);
    }
}

[[noreturn]] static void BadScanLine(int y) {
    char buf[32];
    std::snprintf(buf, sizeof buf, " (%d)", y);
    throw EInvalidGraphicOperation(Sjis("スキャンラインのインデックスが範囲を越えました") + buf);
}

uint8_t* TDIB::ScanLine(int y) {
    if (y < 0 || y >= Height()) BadScanLine(y);
    MakePrivate();
    return image_->Pixels.data() + static_cast<size_t>(y) * image_->Stride;
}

const uint8_t* TDIB::ScanLineReadOnly(int y) const {
    if (y < 0 || y >= Height()) BadScanLine(y);
    return image_->Pixels.data() + static_cast<size_t>(y) * image_->Stride;
}

uint8_t* TDIB::TopRow() {
    if (Empty()) return nullptr;
    MakePrivate();
    return image_->Pixels.data();
}

bool TDIB::HasAlpha() const {
    if (BitCount() != 32) return false;
    for (int y = 0; y < Height(); ++y) {
        const uint8_t* row = ScanLineReadOnly(y);
        for (int x = 0; x < Width(); ++x)
            if (row[4 * x + 3] != 0) return true;
    }
    return false;
}

uint32_t TDIB::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    return DIBGetRaw(image_->Pixels.data() + static_cast<size_t>(y) * image_->Stride, x, BitCount());
}

void TDIB::SetPixel(int x, int y, uint32_t value) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    DIBSetRaw(ScanLine(y), x, BitCount(), value);
}

void TDIB::ReadRowBGR(int y, uint8_t* bgr) const {
    const uint8_t* s = ScanLineReadOnly(y);
    const int w = Width(), bpp = BitCount();
    const TDIBSharedImage& img = *image_;
    switch (bpp) {
    case 24: std::memcpy(bgr, s, static_cast<size_t>(w) * 3); break;
    case 32:
        for (int x = 0; x < w; ++x, s += 4, bgr += 3) bgr[0] = s[0], bgr[1] = s[1], bgr[2] = s[2];
        break;
    case 16:
        for (int x = 0; x < w; ++x, bgr += 3) img.Format.Unpack(s[2 * x] | (s[2 * x + 1] << 8), bgr[2], bgr[1], bgr[0]);
        break;
    default:
        for (int x = 0; x < w; ++x, bgr += 3) {
            const TRGBQuad& q = img.ColorTable[DIBGetRaw(s, x, bpp)];
            bgr[0] = q.rgbBlue, bgr[1] = q.rgbGreen, bgr[2] = q.rgbRed;
        }
        break;
    }
}

void TDIB::WriteRowBGR(int y, const uint8_t* bgr, TColorMatcher* matcher, int x0, int count) {
    const int bpp = BitCount();
    const int w = count < 0 ? Width() - x0 : count;
    uint8_t* d = ScanLine(y);
    if (bpp >= 8) d += static_cast<size_t>(x0) * (bpp / 8);
    else if (x0 != 0) {
        // Packed pixels: written one by one at their own positions.
        for (int x = 0; x < w; ++x, bgr += 3) DIBSetRaw(d, x0 + x, bpp, matcher->Index(bgr[2], bgr[1], bgr[0]));
        return;
    }
    switch (bpp) {
    case 24: std::memcpy(d, bgr, static_cast<size_t>(w) * 3); break;
    case 32:
        for (int x = 0; x < w; ++x, d += 4, bgr += 3) d[0] = bgr[0], d[1] = bgr[1], d[2] = bgr[2], d[3] = 0;
        break;
    case 16: {
        const TBitFieldFormat& f = image_->Format;
        for (int x = 0; x < w; ++x, bgr += 3) DIBSetRaw(d, x, 16, f.Pack(bgr[2], bgr[1], bgr[0]));
        break;
    }
    default:
        for (int x = 0; x < w; ++x, bgr += 3) DIBSetRaw(d, x, bpp, matcher->Index(bgr[2], bgr[1], bgr[0]));
        break;
    }
}

void TDIB::Negative() {
    if (Empty()) return;
    MakePrivate();
    if (BitCount() > 8) {
        for (uint8_t& b : image_->Pixels) b = static_cast<uint8_t>(~b);
    } else {
        for (TRGBQuad& q : image_->ColorTable) {
            q.rgbRed = static_cast<uint8_t>(~q.rgbRed);
            q.rgbGreen = static_cast<uint8_t>(~q.rgbGreen);
            q.rgbBlue = static_cast<uint8_t>(~q.rgbBlue);
        }
    }
}

// ---------------------------------------------------------------- progress

struct TDIB::ProgressState {
    uint32_t lastRedraw = 0;
    int lastRedrawRow = 0;
    bool redrawn = false;
    int lastPercent = -1;
};

void TDIB::Progress(TProgressStage stage, int percent, bool redraw, const char* name) {
    if (OnProgress) OnProgress(stage, percent, redraw, TRect{0, 0, Width(), Height()}, name);
}

void TDIB::RunProgressRows(const char* name, int height, const std::function<void(int)>& row) {
    ProgressState st;
    st.lastRedraw = TimeGetTime();
    Progress(TProgressStage::Starting, 0, false, name);
    for (int y = 0; y < height; ++y) {
        row(y);
        if (!OnProgress) continue;
        const int percent = static_cast<int>(static_cast<int64_t>(y) * 100 / height);
        const uint32_t now = TimeGetTime();
        const bool redraw = now - st.lastRedraw > 200 && y - st.lastRedrawRow > 32 && (st.redrawn || y < height / 3);
        if (redraw) {
            st.lastRedraw = now;
            st.lastRedrawRow = y;
            st.redrawn = true;
        }
        if (percent != st.lastPercent || redraw) Progress(TProgressStage::Running, percent, redraw, name);
        st.lastPercent = percent;
    }
    Progress(TProgressStage::Ending, 100, true, name);
}

// ---------------------------------------------------------------- greyscale and blur

// Greyscale and Blur read the old pixels from a copy and write into a new
// store of the wanted depth, with the grey ramp at 8 bpp or less.
TDIB TDIB::StartGreyOutput(int bitCount) {
    const TDIB old(*this);
    TDIB::SetSize(Width(), Height(), bitCount);
    if (bitCount <= 8) {
        std::array<TRGBQuad, 256> table = image_->ColorTable;
        MakeGreyRamp(table, bitCount);
        SetColorTable(table.data());
    }
    return old;
}

void TDIB::Greyscale(int bitCount) {
    if (Empty()) return;
    const TDIB old = StartGreyOutput(bitCount);
    const int w = Width(), h = Height();
    int tr[256], tg[256], tb[256];
    for (int v = 0; v < 256; ++v) {
        tr[v] = static_cast<int>(v * 0.3588);
        tg[v] = static_cast<int>(v * 0.402);
        tb[v] = static_cast<int>(v * 0.2392);
    }
    const TBitFieldFormat format = PixelFormat();
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * 3);
    RunProgressRows("Greyscale", h, [&](int y) {
        old.ReadRowBGR(y, bgr.data());
        uint8_t* d = ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint32_t g = tr[bgr[3 * x + 2]] + tg[bgr[3 * x + 1]] + tb[bgr[3 * x]];
            switch (bitCount) {
            case 24: d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = static_cast<uint8_t>(g); break;
            case 16:
            case 32: DIBSetRaw(d, x, bitCount, format.Pack(g, g, g)); break;
            case 8: d[x] = static_cast<uint8_t>(g); break;
            case 4: DIBSetRaw(d, x, 4, g >> 4); break;
            default: DIBSetRaw(d, x, 1, g >= 128 ? 1 : 0); break;
            }
        }
    });
}

void TDIB::Blur(int bitCount, int radius) {
    radius = radius < 0 ? -radius : radius;
    if (Empty() || radius == 0) return;
    const TDIB old = StartGreyOutput(bitCount);
    const int w = Width(), h = Height();
    // The source once as 24-bit rows, then per-column sums of the rows
    // y - radius .. y + radius moved down one row at a time.
    std::vector<uint8_t> src(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) old.ReadRowBGR(y, &src[static_cast<size_t>(y) * w * 3]);
    std::vector<int64_t> colB(w, 0), colG(w, 0), colR(w, 0);
    int rows = 0;
    auto addRow = [&](int y, int sign) {
        const uint8_t* s = &src[static_cast<size_t>(y) * w * 3];
        for (int x = 0; x < w; ++x) colB[x] += sign * s[3 * x], colG[x] += sign * s[3 * x + 1], colR[x] += sign * s[3 * x + 2];
        rows += sign;
    };
    for (int y = 0; y < std::min(radius, h); ++y) addRow(y, 1);
    const TBitFieldFormat format = PixelFormat();
    RunProgressRows("Blur", h, [&](int y) {
        if (y + radius < h) addRow(y + radius, 1);
        if (y - radius - 1 >= 0) addRow(y - radius - 1, -1);
        uint8_t* d = ScanLine(y);
        int64_t sb = 0, sg = 0, sr = 0;
        int cols = 0;
        for (int x = 0; x < std::min(radius, w); ++x) sb += colB[x], sg += colG[x], sr += colR[x], ++cols;
        for (int x = 0; x < w; ++x) {
            if (x + radius < w) sb += colB[x + radius], sg += colG[x + radius], sr += colR[x + radius], ++cols;
            if (x - radius - 1 >= 0) {
                const int o = x - radius - 1;
                sb -= colB[o], sg -= colG[o], sr -= colR[o], --cols;
            }
            const int64_t n = static_cast<int64_t>(cols) * rows;
            const uint32_t b = static_cast<uint32_t>(sb / n), g = static_cast<uint32_t>(sg / n),
                           r = static_cast<uint32_t>(sr / n);
            switch (bitCount) {
            case 24: d[3 * x] = static_cast<uint8_t>(b), d[3 * x + 1] = static_cast<uint8_t>(g), d[3 * x + 2] = static_cast<uint8_t>(r); break;
            case 16:
            case 32: DIBSetRaw(d, x, bitCount, format.Pack(r, g, b)); break;
            default: {
                const uint32_t grey = static_cast<uint32_t>((sb + sg + sr) / n / 3);
                DIBSetRaw(d, x, bitCount, bitCount == 8 ? grey : bitCount == 4 ? grey >> 4 : (grey > 127 ? 1 : 0));
                break;
            }
            }
        }
    });
}

// ---------------------------------------------------------------- BMP

void TDIB::LoadFromStream(TStream& stream) {
    const int64_t start = stream.GetPosition();
    FieldReader r = PictureFields(stream);
    // An empty stream holds no picture.
    if (r.AtEnd()) return;
    if (r.Fixed(2, "signature") != "BM") r.Fail("signature");
    r.U32("file size");
    r.U32("reserved");
    const uint32_t offBits = r.U32("pixel offset");
    ReadDataAt(stream, offBits == 0 ? -1 : start + offBits);
}

void TDIB::ReadData(TStream& stream) { ReadDataAt(stream, -1); }

// pixelOffset: absolute position of the pixels (from the file header), or
// -1 when they follow the colour table.
void TDIB::ReadDataAt(TStream& s, int64_t pixelOffset) {
    FieldReader r = PictureFields(s);
    if (r.AtEnd()) {
        Clear();
        return;
    }
    const uint32_t headerSize = r.U32("header size");
    if (headerSize != 12 && headerSize != 40) r.Fail("header size");
    int64_t width, height;
    int bitCount;
    uint32_t compression = 0, sizeImage = 0, colorsUsed = 0;
    if (headerSize == 12) {
        width = r.U16("width");
        height = r.U16("height");
        r.U16("planes");
        bitCount = r.U16("bit count");
    } else {
        width = r.I32("width");
        height = r.I32("height");
        r.U16("planes");
        bitCount = r.U16("bit count");
        compression = r.U32("compression");
        sizeImage = r.U32("image size");
        r.U32("horizontal resolution");
        r.U32("vertical resolution");
        colorsUsed = r.U32("colours used");
        r.U32("important colours");
    }
    TBitFieldFormat format;
    if (compression == 3) {
        const uint32_t red = r.U32("red mask"), green = r.U32("green mask"), blue = r.U32("blue mask");
        // Channels of more than 32 bits together cannot be laid out in a pixel.
        if (__builtin_popcount(red) + __builtin_popcount(green) + __builtin_popcount(blue) > 32) r.Fail("colour masks");
        format = MakeBitFieldFormatFromMasks(red, green, blue);
    } else {
        format = DefaultFormat(bitCount);
    }
    if (!ValidBitCount(bitCount)) RaiseBadBitCount(bitCount);
    if (!BitFieldFormatFits(format, bitCount)) throw EInvalidGraphic(Sjis("不正なピクセルフォーマットです"));
    const bool rle = compression == 1 || compression == 2;
    if (compression > 3 || (compression == 1 && bitCount != 8) || (compression == 2 && bitCount != 4)) BadDIB();
    const bool topDown = height < 0;
    if (topDown) height = -height;
    // RLE data is bottom-up by definition.
    if (topDown && rle) BadDIB();
    CheckDIBSize(width, height, bitCount);

    uint32_t colors = colorsUsed;
    if (colors == 0 && bitCount <= 8) colors = 1u << bitCount;
    const int entrySize = headerSize == 12 ? 3 : 4;
    r.CheckCount(colors, entrySize, UINT32_MAX, "colour table");
    std::array<TRGBQuad, 256> table{};
    for (uint32_t i = 0; i < colors; ++i) {
        uint8_t e[4];
        r.Bytes(e, entrySize, "colour table");
        if (i < 256) table[i] = {e[0], e[1], e[2], 0};
    }
    if (pixelOffset >= 0) {
        // The file header's pixel offset wins over what follows the table,
        // but it may not point back into the headers or past the end.
        if (pixelOffset < s.GetPosition() || pixelOffset > s.GetSize()) r.Fail("pixel offset");
        s.SetPosition(pixelOffset);
    }
    int64_t rleSize = 0;
    if (rle) {
        rleSize = sizeImage ? sizeImage : r.Remaining();
        r.Need(rleSize, "image size");
        // Pixels the codes never reach stay zero, but a few bytes may not
        // declare a huge picture: no code covers more per byte than a delta
        // (4 bytes, at most 255 columns by 255 rows); a run covers at most
        // 255 pixels in 2. The row the data ends in may be left whole.
        if (width * height > (rleSize / 4 + 1) * 255 * 255 + width) r.Fail("pixels");
    }
    auto img = NewImage(static_cast<int>(width), static_cast<int>(height), bitCount, format, table);
    const int64_t imageBytes = static_cast<int64_t>(img->Stride) * img->Height;
    if (rle) {
        std::vector<uint8_t> data(static_cast<size_t>(rleSize));
        r.Bytes(data.data(), data.size(), "pixels");
        DecodeRLE(data.data(), data.size(), *img, compression == 2);
    } else {
        r.Need(imageBytes, "pixels");
        if (topDown) {
            r.Bytes(img->Pixels.data(), static_cast<size_t>(imageBytes), "pixels");
        } else {
            for (int y = img->Height - 1; y >= 0; --y)
                r.Bytes(img->Pixels.data() + static_cast<size_t>(y) * img->Stride, img->Stride, "pixels");
        }
    }
    SetImage(std::move(img));
}

void TDIB::SaveToStream(TStream& stream) const {
    if (Empty()) return;
    const bool fields = BitCount() == 16 || BitCount() == 32;
    const uint32_t infoSize = 40 + (fields ? 12 : 0) + ColorCount() * 4;
    std::vector<uint8_t> fh;
    fh.push_back('B');
    fh.push_back('M');
    PutU32(fh, static_cast<uint32_t>(Size()) + 14 + infoSize);
    PutU32(fh, 0);
    PutU32(fh, 14 + infoSize);
    stream.WriteBuffer(fh.data(), static_cast<int64_t>(fh.size()));
    WriteData(stream);
}

void TDIB::WriteData(TStream& stream) const {
    if (Empty()) return;
    const bool fields = BitCount() == 16 || BitCount() == 32;
    std::vector<uint8_t> h;
    PutU32(h, 40);
    PutU32(h, static_cast<uint32_t>(Width()));
    PutU32(h, static_cast<uint32_t>(Height()));
    PutU16(h, 1);
    PutU16(h, static_cast<uint16_t>(BitCount()));
    PutU32(h, fields ? 3 : 0);
    PutU32(h, static_cast<uint32_t>(Size()));
    PutU32(h, 0);
    PutU32(h, 0);
    PutU32(h, static_cast<uint32_t>(ColorCount()));
    PutU32(h, 0);
    if (fields) {
        PutU32(h, image_->Format.RBitMask);
        PutU32(h, image_->Format.GBitMask);
        PutU32(h, image_->Format.BBitMask);
    }
    for (int i = 0; i < ColorCount(); ++i) {
        const TRGBQuad& q = image_->ColorTable[i];
        h.insert(h.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
    }
    stream.WriteBuffer(h.data(), static_cast<int64_t>(h.size()));
    for (int y = Height() - 1; y >= 0; --y) stream.WriteBuffer(ScanLineReadOnly(y), WidthBytes());
}

void TDIB::LoadFromFile(const std::string& sjisPath) {
    TFileStream f(sjisPath, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TDIB::SaveToFile(const std::string& sjisPath) {
    TFileStream f(sjisPath, fmCreate);
    SaveToStream(f);
}
