// TDIB: the engine's in-memory device-independent bitmap of 1, 4, 8, 16,
// 24 or 32 bits per pixel with its colour table or bit-field masks. The
// pixel store is shared copy-on-write between TDIB objects, so assigning a
// bitmap is cheap and the first writer gets a private copy. Reads and
// writes BMP files (uncompressed, RLE8, RLE4, bit fields, 12-byte headers,
// top-down rows), converts between depths, and offers pixel access,
// inversion, greyscale and blur.
//
// Rows are kept top row first: ScanLine(y) is row y counted from the top and
// NextLine() is the (positive) step from one row to the next.
#pragma once
#include "files/field_reader.h"
#include "files/palette.h"
#include "platform/rect.h"
#include "platform/exception.h"

#include <array>
#include <cstring>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TStream;

// A bitmap file or stream that cannot be decoded.
class EInvalidGraphic : public ECorruptData { using ECorruptData::ECorruptData; };
// An operation on a bitmap that its state does not allow.
class EInvalidGraphicOperation : public Exception { using Exception::Exception; };

// Bit-field pixel format: masks, channel bit counts, the shifts that pack an
// 8-bit channel into its field (red and green shifted left, blue right) and
// the shifts (8 - bits) that widen a field back to 8 bits.
struct TBitFieldFormat {
    uint32_t RBitMask = 0, GBitMask = 0, BBitMask = 0;
    int RBitCount = 0, GBitCount = 0, BBitCount = 0;
    int RLeftShift = 0, GLeftShift = 0, BRightShift = 0;
    int RRightShift = 0, GRightShift = 0, BRightShift2 = 0;
    friend bool operator==(const TBitFieldFormat&, const TBitFieldFormat&) = default;

    uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) const {
        return ((r << RLeftShift) & RBitMask) | ((g << GLeftShift) & GBitMask) | ((b >> BRightShift) & BBitMask);
    }
    // Each field moved back to the top of a byte and or-ed with itself
    // shifted right by (8 - bits), so that full-scale fields read as 255.
    void Unpack(uint32_t pixel, uint8_t& r, uint8_t& g, uint8_t& b) const {
        const uint32_t rr = (pixel & RBitMask) >> RLeftShift;
        const uint32_t gg = (pixel & GBitMask) >> GLeftShift;
        const uint32_t bb = (pixel & BBitMask) << BRightShift;
        r = static_cast<uint8_t>(rr | (rr >> RBitCount));
        g = static_cast<uint8_t>(gg | (gg >> GBitCount));
        b = static_cast<uint8_t>(bb | (bb >> BBitCount));
    }
};

// From channel bit counts (red field above green above blue).
TBitFieldFormat MakeBitFieldFormat(int rBits, int gBits, int bBits);
// From three masks, counting the set bits of each.
TBitFieldFormat MakeBitFieldFormatFromMasks(uint32_t rMask, uint32_t gMask, uint32_t bMask);
// 8-8-8 fits 1, 4, 8, 24 and 32 bpp; 5-5-5 and 5-6-5 fit 16 bpp.
bool BitFieldFormatFits(const TBitFieldFormat& format, int bitCount);

// One pixel store: size, depth, format, colour table and rows (top first).
struct TDIBSharedImage {
    int Width = 0;
    int Height = 0;
    int BitCount = 0;
    int Stride = 0;  // ((Width * BitCount + 31) div 32) * 4
    TBitFieldFormat Format;
    std::array<TRGBQuad, 256> ColorTable{};
    int ColorCount = 0;  // 1 shl BitCount up to 8 bpp, else 0
    std::vector<uint8_t> Pixels;
};

enum class TProgressStage { Starting, Running, Ending };
// Progress of a long operation: stage, percentage, whether the caller should
// show the partial result now, the area concerned and the operation's name.
using TProgressEvent =
    std::function<void(TProgressStage stage, int percent, bool redrawNow, const TRect& rect, const std::string& name)>;

// Nearest colour-table entry of an RGB colour, remembered per colour: the
// one conversion of colours into palette indexes used everywhere a picture
// is put onto a palette bitmap.
class TColorMatcher {
public:
    TColorMatcher(const TRGBQuad* table, int count);
    uint8_t Index(uint8_t r, uint8_t g, uint8_t b);

private:
    std::vector<TPaletteEntry> entries_;
    std::unordered_map<uint32_t, uint8_t> cache_;
};

class TDIB {
public:
    TDIB();
    TDIB(const TDIB& other);
    TDIB& operator=(const TDIB& other);
    virtual ~TDIB();

    // nil clears; another bitmap shares its store.
    void Assign(const TDIB* source);
    virtual void Clear();
    bool Empty() const { return image_->Width == 0 || image_->Height == 0; }

    int Width() const { return image_->Width; }
    int Height() const { return image_->Height; }
    int BitCount() const { return image_->BitCount; }
    int WidthBytes() const { return image_->Stride; }
    int NextLine() const { return image_->Stride; }
    int64_t Size() const { return static_cast<int64_t>(image_->Stride) * image_->Height; }

    // The store's format; SetPixelFormat chooses the format of the next store
    // (SetSize, SetBitCount) when it fits that store's depth.
    const TBitFieldFormat& PixelFormat() const { return image_->Format; }
    void SetPixelFormat(const TBitFieldFormat& format) { format_ = format; }

    const TRGBQuad* ColorTable() const { return image_->ColorTable.data(); }
    int ColorCount() const { return image_->ColorCount; }
    // Replaces count entries from start; the store becomes private only when
    // an entry really changes.
    void SetColorTable(const TRGBQuad* entries, int start = 0, int count = 256);
    // The colour table as palette entries (ColorCount of them).
    TPalette Palette() const;
    void SetPalette(const TPalette& palette);

    // Nothing when size, depth and format are unchanged; w or h below 1
    // clears; else a new zeroed store keeping colour table and format.
    virtual void SetSize(int width, int height, int bitCount);
    void SetWidth(int width);
    void SetHeight(int height);
    // Converts the pixels to another depth; a 16-bit target takes the format
    // chosen with SetPixelFormat (5-5-5 when none fits). Uses TDIB's own
    // SetSize, whatever a derived class makes of it.
    void SetBitCount(int bitCount);

    // Row y (0 = top), made private first; raises outside 0..Height-1.
    uint8_t* ScanLine(int y);
    // Row y for reading only (no copy); raises outside 0..Height-1.
    const uint8_t* ScanLineReadOnly(int y) const;
    uint8_t* TopRow();
    const uint8_t* TopRowReadOnly() const { return image_->Pixels.data(); }

    // Raw values: palette index (most significant bits first), the 16-bit
    // word, blue | green << 8 | red << 16 at 24 bpp, the 32-bit word.
    // Outside the bitmap reads give 0 and writes do nothing.
    uint32_t GetPixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t value);

    // Row y as blue, green, red bytes (Width * 3).
    void ReadRowBGR(int y, uint8_t* bgr) const;
    // Writes blue, green, red bytes into row y from pixel x0 (count pixels,
    // -1: to the end); palette bitmaps take the nearest entries through
    // matcher (which must be made for this table), 16/32 bpp are packed
    // with the bit fields (low bits dropped).
    void WriteRowBGR(int y, const uint8_t* bgr, TColorMatcher* matcher, int x0 = 0, int count = -1);

    // A 32-bit bitmap whose fourth bytes are not all 0: they are its alpha.
    // Windows and most tools write 0 there in a picture without alpha, which
    // is opaque, not invisible.
    bool HasAlpha() const;

    void Negative();
    void Greyscale(int bitCount);
    void Blur(int bitCount, int radius);

    // BMP file: 14-byte file header, then the packed bitmap. A stream with no
    // bytes left leaves the bitmap unchanged.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    // Packed bitmap: info header, masks, colour table, pixels.
    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;
    virtual void LoadFromFile(const std::string& sjisPath);
    virtual void SaveToFile(const std::string& sjisPath);

    bool SharesStoreWith(const TDIB& other) const { return image_ == other.image_; }
    // Gives this bitmap a store of its own (a copy when it is shared), as
    // every writer does first; for callers about to write through pointers
    // they took earlier.
    void MakePrivate();

    TProgressEvent OnProgress;

protected:
    void ReadDataAt(TStream& stream, int64_t pixelOffset);
    void SetImage(std::shared_ptr<TDIBSharedImage> image);
    void Progress(TProgressStage stage, int percent, bool redraw, const char* name);

    std::shared_ptr<TDIBSharedImage> image_;
    TBitFieldFormat format_;

private:
    struct ProgressState;
    TDIB StartGreyOutput(int bitCount);
    void RunProgressRows(const char* name, int height, const std::function<void(int)>& row);
};

// Raw pixel x of a row at 1, 4, 8, 16, 24 or 32 bpp (packed pixels most
// significant bits first; 24 bpp as blue | green << 8 | red << 16).
inline uint32_t DIBGetRaw(const uint8_t* row, int x, int bpp) {
    switch (bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8: return row[x];
    case 16: return row[2 * x] | (row[2 * x + 1] << 8);
    case 24: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    default: {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return v;
    }
    }
}

inline void DIBSetRaw(uint8_t* row, int x, int bpp, uint32_t v) {
    switch (bpp) {
    case 1: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = (v & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
        break;
    }
    case 4:
        if (x & 1) row[x >> 1] = (row[x >> 1] & 0xF0) | (v & 0x0F);
        else row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
        break;
    case 8: row[x] = static_cast<uint8_t>(v); break;
    case 16:
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<uint8_t>(v);
        row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        break;
    default: std::memcpy(row + 4 * x, &v, 4); break;
    }
}

// EInvalidGraphic "不正な DIB です" / "不正なビット数です (n)": the readers of
// every bitmap-carrying format refuse bad data with these.
[[noreturn]] void RaiseInvalidDIB();
// The field reader of every bitmap-carrying format: a field cut short or a
// count beyond the data raises EInvalidGraphic "不正な DIB です (field)".
FieldReader PictureFields(TStream& stream);
[[noreturn]] void RaiseBadBitCount(int bitCount);
// Raises EInvalidGraphic unless a store of that size is sane to allocate.
void CheckDIBSize(int64_t width, int64_t height, int bitCount);
// The longest side such a store may have, and the most rows it may have
// at that width and depth.
int64_t MaxDIBSide();
int64_t MaxDIBRows(int64_t width, int bitCount);
