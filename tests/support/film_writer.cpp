#include "tests/support/film_writer.h"

#include <cstdio>
#include <cstring>

TFilmWriter::TFilmWriter(int version, bool motion) : version_(version) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%s%03d", motion ? "VorqMotion" : "VorqCinema", version % 1000);
    bytes_.insert(bytes_.end(), tag, tag + 13);
}

void TFilmWriter::I32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(u >> (8 * k)));
}

void TFilmWriter::F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int k = 0; k < 8; ++k) bytes_.push_back(static_cast<uint8_t>(u >> (8 * k)));
}

void TFilmWriter::Str(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
}

void TFilmWriter::Header(int32_t width, int32_t height, int32_t color, uint8_t relative, int32_t ref_x,
                         int32_t ref_y, int32_t loop_start) {
    I32(width);
    I32(height);
    I32(color);
    if (version_ >= 102) U8(relative);
    if (version_ >= 104) {
        I32(ref_x);
        I32(ref_y);
    }
    if (version_ >= 106) I32(loop_start);
}

void TFilmWriter::TrackCount(uint32_t n) { I32(static_cast<int32_t>(n)); }

void TFilmWriter::Track(uint8_t kind, int32_t parent, int32_t length, int32_t start, int32_t period,
                        int32_t priority, uint8_t flip_h, uint8_t flip_v, uint8_t other_layer) {
    U8(kind);
    I32(parent);
    I32(length);
    I32(0);
    I32(start);
    I32(period);
    I32(priority);
    U8(flip_h);
    U8(flip_v);
    U8(other_layer);
}

void TFilmWriter::ImageFields(const ImageBlock& b) {
    for (int32_t v : {b.anchor_x, b.anchor_y, b.x_from, b.y_from, b.x_to, b.y_to}) I32(v);
    U8(b.x_kind);
    U8(b.y_kind);
    I32(b.angle_from);
    I32(b.angle_to);
    F64(b.zoom_x_from);
    F64(b.zoom_x_to);
    U8(b.zoom_x_kind);
    I32(b.alpha_from);
    I32(b.alpha_to);
    U8(b.angle_kind);
    if (version_ >= 101) {
        for (int32_t v : b.clip) I32(v);
        U8(b.clip_x_kind);
        U8(b.clip_y_kind);
    }
    if (version_ >= 105) {
        F64(b.zoom_y_from);
        F64(b.zoom_y_to);
        U8(b.zoom_y_kind);
    }
}

void TFilmWriter::Image(const ImageBlock& b, const std::string& file) {
    ImageFields(b);
    Str(file);
}

void TFilmWriter::Tile(const ImageBlock& b, const std::string& file, const int32_t tile[8], uint8_t sx_kind,
                       uint8_t sy_kind, int32_t dist_x, int32_t dist_y) {
    Image(b, file);
    for (int k = 0; k < 8; ++k) I32(tile[k]);
    U8(sx_kind);
    U8(sy_kind);
    I32(dist_x);
    I32(dist_y);
    if (version_ >= 101) {
        for (int32_t v : b.clip) I32(v);
        U8(b.clip_x_kind);
        U8(b.clip_y_kind);
    }
}

void TFilmWriter::Label(const ImageBlock& b, const std::string& text, uint8_t antialias, const std::string& font,
                        int32_t height, int32_t line_space, uint8_t style, int32_t color, uint8_t align) {
    ImageFields(b);
    Str(text);
    U8(antialias);
    Str(font);
    I32(height);
    I32(version_ >= 103 ? line_space : 0);
    U8(style);
    I32(color);
    if (version_ >= 103) U8(align);
}

void TFilmWriter::Box(const int32_t v[16], uint8_t x_kind, uint8_t y_kind) {
    for (int k = 0; k < 4; ++k) I32(v[k]);
    U8(x_kind);
    U8(y_kind);
    for (int k = 4; k < 16; ++k) I32(v[k]);
    if (version_ >= 101) {
        for (int k = 0; k < 8; ++k) I32(0);
        U8(0);
        U8(0);
    }
}

void TFilmWriter::Wipe(uint8_t kind, const std::string& mask, int32_t p0, int32_t p1, uint8_t mode) {
    U8(kind);
    if (version_ >= 101) {
        Str(mask);
        I32(p0);
        I32(p1);
        U8(mode);
    }
}

void TFilmWriter::Sound(const std::string& file, int32_t vol_from, int32_t vol_to, int32_t bal_from, int32_t bal_to,
                        uint8_t vol_kind, uint8_t bal_kind) {
    Str(file);
    I32(vol_from);
    I32(vol_to);
    I32(bal_from);
    I32(bal_to);
    U8(vol_kind);
    U8(bal_kind);
}

void TFilmWriter::EmptyParticle() { Str(""); }

void TFilmWriter::Particle(const std::string& file, uint8_t part_motion, int32_t preroll,
                           const std::array<int32_t, 4>& interval, const std::array<int32_t, 8>& birth,
                           const std::array<uint8_t, 2>& birth_kinds, const std::array<double, 6>& params,
                           const std::array<int32_t, 8>& rect, int32_t alpha_from, int32_t alpha_to) {
    Str(file);
    U8(part_motion);
    I32(preroll);
    for (int32_t v : interval) I32(v);
    for (int32_t v : birth) I32(v);
    for (uint8_t v : birth_kinds) U8(v);
    for (double v : params) F64(v);
    for (int k = 0; k < 4; ++k) I32(rect[k]);
    U8(0);
    U8(0);
    for (int k = 4; k < 8; ++k) I32(rect[k]);
    for (int k = 0; k < 8; ++k) I32(0);  // clip
    U8(0);
    U8(0);
    I32(alpha_from);
    I32(alpha_to);
}

void TFilmWriter::Fire(int32_t power) {
    for (int k = 0; k < 8; ++k) I32(0);  // positions, sizes
    // The kinds come between the positions and the sizes.
    bytes_.insert(bytes_.end() - 16, 2, 0);
    for (int k = 0; k < 8; ++k) I32(0);  // clip
    U8(0);
    U8(0);
    for (int k = 0; k < 4; ++k) F64(1.0);
    U8(0);
    U8(0);
    I32(power);
}
