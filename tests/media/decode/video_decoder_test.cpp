#include "media/decode/video_decoder.h"

#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

std::vector<uint8_t> load(const std::string& name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/video/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct Rgb {
    int r, g, b;
};
Rgb at(const VideoDecoder& d, int x, int y) {
    const uint32_t p = d.Pixels()[size_t(y) * size_t(d.Width()) + size_t(x)];
    return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

// Decodes up to frame n (0-based); false when the clip ends before.
bool seek_frame(VideoDecoder& d, int n) {
    for (int i = 0; i <= n; ++i)
        if (!d.NextFrame()) return false;
    return true;
}

std::string message_of(const std::vector<uint8_t>& data) {
    try {
        VideoDecoder d(data);
    } catch (const ECorruptData& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(VideoDecoder, ShapeFrameCountAndTimesMatchTheContainer) {
    VideoDecoder d(load("bars.wmv"));
    EXPECT_EQ(d.Width(), 160);
    EXPECT_EQ(d.Height(), 120);
    EXPECT_TRUE(d.HasAudio());
    EXPECT_NEAR(double(d.LengthMs()), 2000.0, 120.0);
    const int expected = std::atoi(reinterpret_cast<const char*>(load("bars.frames").data()));
    int frames = 0;
    int64_t last = -1;
    while (d.NextFrame()) {
        EXPECT_GT(d.FrameTimeMs(), last) << "frame " << frames;
        EXPECT_NEAR(double(d.FrameTimeMs()), frames * 100.0, 5.0) << "frame " << frames;
        last = d.FrameTimeMs();
        ++frames;
    }
    EXPECT_EQ(frames, expected);  // ffprobe's count
    EXPECT_FALSE(d.NextFrame());  // stays ended
}

TEST(VideoDecoder, FrameColoursAtSamplePoints) {
    // 75% colour bars in the first second, pure blue in the second.
    struct Case {
        int frame, x, y;
        Rgb want;
    };
    const int bar = 24;  // (width + 6) / 7, rounded up to whole chroma samples
    const Case cases[] = {
        {5, bar * 0 + bar / 2, 30, {191, 191, 191}}, {5, bar * 1 + bar / 2, 30, {191, 191, 0}},
        {5, bar * 2 + bar / 2, 30, {0, 191, 191}},   {5, bar * 3 + bar / 2, 30, {0, 191, 0}},
        {5, bar * 4 + bar / 2, 30, {191, 0, 191}},   {5, bar * 5 + bar / 2, 30, {191, 0, 0}},
        {5, 152, 30, {0, 0, 191}},     {15, 80, 60, {0, 0, 255}},
        {15, 5, 5, {0, 0, 255}},
    };
    for (const Case& c : cases) {
        VideoDecoder d(load("bars.wmv"));
        ASSERT_TRUE(seek_frame(d, c.frame));
        const Rgb got = at(d, c.x, c.y);
        SCOPED_TRACE("frame " + std::to_string(c.frame) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_NEAR(got.r, c.want.r, 24);
        EXPECT_NEAR(got.g, c.want.g, 24);
        EXPECT_NEAR(got.b, c.want.b, 24);
    }
}

TEST(VideoDecoder, WholeFramesMatchFfmpegsOwnDecoding) {
    const auto ref = load("bars_5_15.bgra");
    const size_t frame_bytes = 160 * 120 * 4;
    ASSERT_EQ(ref.size(), 2 * frame_bytes);
    const int frames[] = {5, 15};
    for (int k = 0; k < 2; ++k) {
        VideoDecoder d(load("bars.wmv"));
        ASSERT_TRUE(seek_frame(d, frames[k]));
        const auto* ours = reinterpret_cast<const uint8_t*>(d.Pixels());
        long total = 0;
        int worst = 0;
        for (size_t i = 0; i < frame_bytes; ++i) {
            if (i % 4 == 3) continue;  // alpha
            const int diff = std::abs(int(ours[i]) - int(ref[k * frame_bytes + i]));
            total += diff;
            worst = std::max(worst, diff);
        }
        // Scalers differ only in how they interpolate chroma at edges.
        EXPECT_LT(double(total) / (frame_bytes * 3 / 4), 2.0) << "frame " << frames[k];
        EXPECT_LT(worst, 96) << "frame " << frames[k];
    }
}

TEST(VideoDecoder, RefusesWhatIsNoVideo) {
    const std::string corrupt = Sjis(kVideoDataCorrupt);
    const std::string unsupported = Sjis(kVideoFormatUnsupported);
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        std::string want;
    };
    const Case cases[] = {
        {"empty", {}, corrupt},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'v', 'i', 'd', 'e', 'o'}, corrupt},
        {"sound only", load("tone.wma"), unsupported},
    };
    for (const Case& c : cases) EXPECT_EQ(message_of(c.data), c.want) << c.name;
}

// Every prefix and bytes replaced: either refused with our error, or decoded
// to an end; never a crash or a hang.
TEST(VideoDecoder, DamagedFilesEndOrAreRefused) {
    const auto good = load("bars.wmv");
    auto run = [](const std::vector<uint8_t>& data) {
        try {
            VideoDecoder d(data);
            int n = 0;
            while (d.NextFrame()) ASSERT_LT(++n, 1000);
        } catch (const ECorruptData&) {
        }
    };
    for (size_t len = 0; len < good.size(); len += std::max<size_t>(1, len / 8 + 1)) {
        SCOPED_TRACE("prefix " + std::to_string(len));
        run(std::vector<uint8_t>(good.begin(), good.begin() + long(len)));
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 40; ++round) {
        auto bad = good;
        for (int k = 0; k < 16; ++k) {
            seed = seed * 1664525u + 1013904223u;
            bad[seed % bad.size()] = uint8_t(seed >> 24);
        }
        SCOPED_TRACE("round " + std::to_string(round));
        run(bad);
    }
}

// Frames of every width from 16 to 400 in steps of 11, which meet every
// residue mod 32: WMV2 and MPEG-1 (whose coded widths are even: the width
// rounded down) and MJPEG (any width), made at test time by ffmpeg and
// compared with ffmpeg's own decoding. No write past the picture (the
// sanitizer build sees one), no column lost at the right edge.
TEST(VideoDecoder, EveryWidthConvertsAsFfmpegDecodesIt) {
    const std::string dir = ::testing::TempDir() + "video_widths_" + std::to_string(getpid());
    const struct {
        const char *codec, *ext;
        bool even;
    } codecs[] = {{"wmv2", "wmv", true}, {"mpeg1video", "mpg", true}, {"mjpeg", "avi", false}};
    const int kinds = 3;
    std::vector<int> widths;
    for (int w = 16; w <= 400; w += 11) widths.push_back(w);
    auto coded = [&](int w, int k) { return codecs[k].even ? w & ~1 : w; };
    auto base = [&](int w, int k) { return dir + "/v" + std::to_string(w) + "_" + codecs[k].codec; };
    // One ffmpeg makes every clip, one more decodes them all.
    std::string make = "mkdir -p " + dir +
                       " && ffmpeg -v error -y -f lavfi -i testsrc2=size=400x96:rate=25 -filter_complex '[0]split=" +
                       std::to_string(widths.size() * kinds);
    std::string maps, decode = "ffmpeg -v error -y", outputs;
    int n = 0;
    for (int w : widths)
        for (int k = 0; k < kinds; ++k, ++n) {
            make += "[s" + std::to_string(n) + "]";
            maps += ";[s" + std::to_string(n) + "]scale=" + std::to_string(coded(w, k)) + ":96[o" + std::to_string(n) + "]";
            outputs += " -map '[o" + std::to_string(n) + "]' -frames:v 3 -c:v " + codecs[k].codec + " " + base(w, k) +
                       "." + codecs[k].ext;
            decode += " -i " + base(w, k) + "." + codecs[k].ext;
        }
    make += maps + "'" + outputs;
    for (int i = 0; i < n; ++i)
        decode += " -map " + std::to_string(i) + ":v -f rawvideo -pix_fmt bgra " +
                  base(widths[size_t(i / kinds)], i % kinds) + ".bgra";
    ASSERT_EQ(std::system((make + " && " + decode).c_str()), 0);
    for (int w : widths)
        for (int k = 0; k < kinds; ++k) {
            SCOPED_TRACE(base(w, k));
            auto bytes = [](const std::string& path) {
                std::ifstream f(path, std::ios::binary);
                return std::vector<uint8_t>{std::istreambuf_iterator<char>(f), {}};
            };
            VideoDecoder d(bytes(base(w, k) + "." + codecs[k].ext));
            ASSERT_EQ(d.Width(), coded(w, k));
            const auto ref = bytes(base(w, k) + ".bgra");
            const size_t frame_bytes = size_t(d.Width()) * 96 * 4;
            size_t frames = 0;
            for (; d.NextFrame(); ++frames) {
                ASSERT_LE((frames + 1) * frame_bytes, ref.size());
                const auto* ours = reinterpret_cast<const uint8_t*>(d.Pixels());
                const uint8_t* want = ref.data() + frames * frame_bytes;
                // Column by column, so that a lost edge column shows however wide the picture.
                for (int x = 0; x < d.Width(); ++x) {
                    long total = 0;
                    for (int y = 0; y < 96; ++y)
                        for (int ch = 0; ch < 3; ++ch) {
                            const size_t i = (size_t(y) * size_t(d.Width()) + size_t(x)) * 4 + size_t(ch);
                            total += std::abs(int(ours[i]) - int(want[i]));
                        }
                    ASSERT_LT(double(total) / (96 * 3), 12.0) << "frame " << frames << " column " << x;
                }
            }
            EXPECT_EQ(frames * frame_bytes, ref.size());
        }
    std::system(("rm -rf " + dir).c_str());
}
