// Writes films ("VorqCinema"/"VorqMotion" + 3 digits) field by field as the
// authoring editor does, so tests, the demo and the build can make films.
// Independent of the player's reader: it knows only the stored layout.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TFilmWriter {
public:
    explicit TFilmWriter(int version = 108, bool motion = false);

    // Header; relative/reference/loop start are written only from the
    // versions that have them.
    void Header(int32_t width, int32_t height, int32_t color, uint8_t relative = 0, int32_t ref_x = 0,
                int32_t ref_y = 0, int32_t loop_start = 0);
    // The track count that follows the header (may differ from the records
    // written, to make damaged files).
    void TrackCount(uint32_t n);

    // Common header of a track, after its kind byte.
    void Track(uint8_t kind, int32_t parent, int32_t length, int32_t start, int32_t period = 0,
               int32_t priority = 0, uint8_t flip_h = 0, uint8_t flip_v = 0, uint8_t other_layer = 0);

    struct ImageBlock {
        int32_t anchor_x = 0, anchor_y = 0, x_from = 0, y_from = 0, x_to = 0, y_to = 0;
        uint8_t x_kind = 0, y_kind = 0;
        int32_t angle_from = 0, angle_to = 0;
        double zoom_x_from = 1, zoom_x_to = 1;
        uint8_t zoom_x_kind = 0;
        int32_t alpha_from = 255, alpha_to = 255;
        uint8_t angle_kind = 0;
        int32_t clip[8] = {};  // origin from, size from, origin to, size to (x,y pairs)
        uint8_t clip_x_kind = 0, clip_y_kind = 0;
        double zoom_y_from = 1, zoom_y_to = 1;
        uint8_t zoom_y_kind = 0;
    };
    void Image(const ImageBlock& b, const std::string& file);
    void Tile(const ImageBlock& b, const std::string& file, const int32_t tile[8], uint8_t sx_kind, uint8_t sy_kind,
              int32_t dist_x, int32_t dist_y);
    void Label(const ImageBlock& b, const std::string& text, uint8_t antialias, const std::string& font,
               int32_t height, int32_t line_space, uint8_t style, int32_t color, uint8_t align);
    // values: x from, y from, x to, y to, alpha from, alpha to, w from, h from,
    // w to, h to, colour from, colour to, border width from/to, border colour from/to.
    void Box(const int32_t values[16], uint8_t x_kind = 0, uint8_t y_kind = 0);
    void Wipe(uint8_t kind, const std::string& mask, int32_t p0, int32_t p1, uint8_t mode);
    void Sound(const std::string& file, int32_t vol_from, int32_t vol_to, int32_t bal_from, int32_t bal_to,
               uint8_t vol_kind = 0, uint8_t bal_kind = 0);
    // A particle record with no file (ends after the name) and a fire record of zeros.
    void EmptyParticle();
    void Fire(int32_t power);
    // A particle record in stored order: intervals (minimum from, to, range
    // from, to), births (x min from, y min from, x min to, y min to, x range
    // from, y range from, x range to, y range to), their easing kinds,
    // PARAM1..3 from then to, the rect (x from, y from, x to, y to, width
    // from, height from, width to, height to; no clip) and the alphas.
    void Particle(const std::string& file, uint8_t part_motion, int32_t preroll, const std::array<int32_t, 4>& interval,
                  const std::array<int32_t, 8>& birth, const std::array<uint8_t, 2>& birth_kinds,
                  const std::array<double, 6>& params, const std::array<int32_t, 8>& rect, int32_t alpha_from,
                  int32_t alpha_to);

    void U8(uint8_t v) { bytes_.push_back(v); }
    void I32(int32_t v);
    void F64(double v);
    void Str(const std::string& s);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    int Version() const { return version_; }

private:
    void ImageFields(const ImageBlock& b);
    int version_;
    std::vector<uint8_t> bytes_;
};
