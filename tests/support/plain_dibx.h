// A drawing surface over a plain buffer, for tests and benchmarks: rows
// padded to 4 bytes as bitmaps store them, top-down or (like device-
// independent bitmaps) bottom-up with a negative pitch; 5-5-5 masks at 15
// bits, 5-6-5 at 16, 8-8-8 otherwise. Header-only so bench/ can use it too.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/custom_dibx.h"
#include "render/dib.h"

class TPlainDIBX : public TCustomDIBX {
public:
    TPlainDIBX() = default;
    TPlainDIBX(int32_t w, int32_t h, int32_t bits, bool bottomUp = false) : bottom_up_(bottomUp) {
        SetSize(w, h, bits);
    }

    int32_t BitCount() const override { return bits_; }
    uint32_t RedMask() const override { return bits_ == 15 ? 0x7C00 : bits_ == 16 ? 0xF800 : 0xFF0000; }
    uint32_t GreenMask() const override { return bits_ == 15 ? 0x03E0 : bits_ == 16 ? 0x07E0 : 0x00FF00; }
    uint32_t BlueMask() const override { return bits_ == 15 || bits_ == 16 ? 0x001F : 0x0000FF; }
    int32_t Pitch() const override { return bottom_up_ ? -pitch_ : pitch_; }
    int32_t BlueShift() const override { return 0; }
    int32_t GreenShift() const override { return bits_ == 15 || bits_ == 16 ? 5 : 8; }
    int32_t RedShift() const override { return bits_ == 15 ? 10 : bits_ == 16 ? 11 : 16; }
    int32_t StorageBitCount() const override { return bits_ == 15 ? 16 : bits_; }

    void SetSize(int32_t w, int32_t h, int32_t bits) override {
        // A size a real bitmap refuses is refused here too.
        if (w > 0 && h > 0) CheckDIBSize(w, h, bits == 15 ? 16 : bits);
        TCustomDIBX::SetSize(w, h, bits);
        bits_ = bits;
        pitch_ = ((Width() * StorageBitCount() + 31) / 32) * 4;
        pixels_.assign(size_t(pitch_) * size_t(Height()), 0);
    }
    void Clear() override {
        TCustomDIBX::Clear();
        pixels_.clear();
        pitch_ = 0;
    }
    uint8_t* Lock(int32_t x, int32_t y) override {
        if (pixels_.empty() || x < 0 || y < 0 || x >= Width() || y >= Height()) return nullptr;
        ++locks_;
        return Row(y) + int64_t(x) * StorageBitCount() / 8;
    }
    void Unlock() override { --locks_; }

    uint32_t GetPixel(int32_t x, int32_t y) const override {
        if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
        const uint8_t* p = pixels_.data() + size_t(bottom_up_ ? Height() - 1 - y : y) * pitch_;
        switch (StorageBitCount()) {
            case 1: return (p[x >> 3] >> (7 - (x & 7))) & 1;
            case 4: return (p[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
            case 8: return p[x];
            case 16: return uint32_t(p[2 * x]) | uint32_t(p[2 * x + 1]) << 8;
            case 24: return uint32_t(p[3 * x]) | uint32_t(p[3 * x + 1]) << 8 | uint32_t(p[3 * x + 2]) << 16;
            default: {
                uint32_t v;
                std::memcpy(&v, p + 4 * x, 4);
                return v;
            }
        }
    }
    void SetPixel(int32_t x, int32_t y, uint32_t v) override {
        if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
        uint8_t* p = Row(y);
        switch (StorageBitCount()) {
            case 1: {
                const uint8_t bit = uint8_t(0x80 >> (x & 7));
                p[x >> 3] = (v & 1) ? (p[x >> 3] | bit) : (p[x >> 3] & ~bit);
                break;
            }
            case 4: {
                const int sh = (x & 1) ? 0 : 4;
                p[x >> 1] = uint8_t((p[x >> 1] & ~(15 << sh)) | ((v & 15) << sh));
                break;
            }
            case 8: p[x] = uint8_t(v); break;
            case 16: p[2 * x] = uint8_t(v), p[2 * x + 1] = uint8_t(v >> 8); break;
            case 24: p[3 * x] = uint8_t(v), p[3 * x + 1] = uint8_t(v >> 8), p[3 * x + 2] = uint8_t(v >> 16); break;
            default: std::memcpy(p + 4 * x, &v, 4); break;
        }
    }
    int32_t ColorToPixel(int32_t color) const override { return PackColor(bits_, color); }

    uint8_t* Row(int32_t y) { return pixels_.data() + size_t(bottom_up_ ? Height() - 1 - y : y) * pitch_; }
    std::vector<uint8_t>& Bytes() { return pixels_; }
    // Lock calls not yet matched by Unlock.
    int OpenLocks() const { return locks_; }

private:
    bool bottom_up_ = false;
    int32_t bits_ = 0;
    int32_t pitch_ = 0;
    int locks_ = 0;
    std::vector<uint8_t> pixels_;
};
