// The video scene: a short film the build makes from pictures and sound
// written here (video_frames.rgb, raw 24-bit frames, and video_sound.wav,
// encoded by ffmpeg into movie.wmv as the music is by oggenc) plays in a
// frame on a dark stage; its end event lights a lamp, and the page goes on
// about three and a half seconds after it began.
#include "files/vocab.h"
#include "platform/filesystem/stream.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 256, kHeight = 192, kRate = 25, kFrames = 3 * kRate;

// A sky that darkens from dusk to night while a sun sinks and a ball
// bounces along the ground.
void write_frames(const std::string& path) {
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 3);
    TFileStream out(path, fmCreate);
    for (int n = 0; n < kFrames; ++n) {
        const double t = double(n) / kFrames;
        const int sun_x = 40 + int(170 * t), sun_y = 40 + int(90 * t);
        const int ball_x = 20 + int(210 * t);
        const int ball_y = 150 - int(60 * std::fabs(std::sin(t * 3 * M_PI)));
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = &frame[(size_t(y) * kWidth + size_t(x)) * 3];
                int r, g, b;
                if (y >= 160) {
                    r = 30, g = 90 - int(40 * t), b = 30;  // ground
                } else {
                    const double up = 1.0 - y / 160.0;
                    r = int((1 - t) * (230 - 120 * up) + t * 20);
                    g = int((1 - t) * (120 - 40 * up) + t * 20);
                    b = int((1 - t) * (80 + 100 * up) + t * (60 + 60 * up));
                }
                const int dx = x - sun_x, dy = y - sun_y;
                if (dx * dx + dy * dy < 18 * 18 && y < 160) r = 255, g = 220 - int(80 * t), b = 80;
                const int bx = x - ball_x, by = y - ball_y;
                if (bx * bx + by * by < 10 * 10) r = 240, g = 240, b = 255;
                p[0] = uint8_t(r);
                p[1] = uint8_t(g);
                p[2] = uint8_t(b);
            }
        out.WriteBuffer(frame.data(), int64_t(frame.size()));
    }
}

// A soft bell at every bounce of the ball, stereo at 44100 Hz.
void write_sound(const std::string& path) {
    const int rate = 44100, frames = rate * kFrames / kRate;
    std::vector<int16_t> s(size_t(frames) * 2);
    for (int bounce = 0; bounce < 3; ++bounce) {
        const int start = rate * (bounce + 1) / 3 - rate / 30;
        const double f = 523.25 * std::pow(2.0, bounce * 4 / 12.0);
        for (int i = 0; i < rate / 2 && start + i < frames; ++i) {
            const double v = 0.2 * std::exp(-6.0 * i / rate) * std::sin(2 * M_PI * f * i / rate);
            s[2 * size_t(start + i)] += int16_t(v * 32767);
            s[2 * size_t(start + i) + 1] += int16_t(v * 0.7 * 32767);
        }
    }
    WriteWave(path, s, 2, rate);
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

void WriteVideoScene(const std::string& folder, const std::string& next) {
    write_frames(folder + "video_frames.rgb");
    write_sound(folder + "video_sound.wav");

    TPageWriter w;
    DemoBoxMasks(w);
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_SOURCE, PR_VOLUME, PR_OVERLAY, PR_ONPLAYEND})
        w.SetMask(opMovie, id);
    DemoBox(w, "vd_stage", kHidden, 0, 0, 640, 480, 0x101018, 255, 0, -1, -20);
    DemoBox(w, "vd_frame", kHidden, 184, 136, 272, 208, 0x305070, 255, 4, 0x80C0E0, -10);
    DemoBox(w, "vd_lamp", kHidden, 300, 380, 40, 24, 0x000040, 255, 2, 0xFFFFFF, -10);
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "400";
    flip.ClearOld = "1";
    w.Flip(flip);
    w.Component(opMovie, {{PR_NAME, quoted("vd_movie")},
                          {PR_PARENT, kShown},
                          {PR_LEFT, "192"},
                          {PR_TOP, "144"},
                          {PR_SOURCE, quoted("movie.wmv")},
                          {PR_VOLUME, "900"},
                          {PR_OVERLAY, "0"},
                          {PR_ONPLAYEND, quoted("video_end.vsb")}});
    w.Wait("3500");
    w.MovieStop(quoted("vd_movie"), "0");
    w.Jump(next);
    w.SaveToFile(folder + "video.vsb");

    // The end of the film lights the lamp.
    TPageWriter end;
    end.SetProp(quoted("vd_lamp"), std::to_string(PR_COLOR), "65280");
    end.Exit();
    end.SaveToFile(folder + "video_end.vsb");
}
