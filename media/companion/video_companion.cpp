#include "media/companion/video_companion.h"

#include "media/companion/companion.h"
#include "media/companion/handle_table.h"
#include "media/decode/video_decoder.h"
#include "platform/system/audio.h"
#include "platform/system/clock.h"
#include "platform/filesystem/stream.h"
#include "platform/display/video.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {
constexpr int64_t kRate = 44100;
// Decoded ahead: a few frames always; more while the sound runs short, up
// to a bound that keeps a large video's queue within some tens of MB.
constexpr size_t kFramesAhead = 4;
constexpr size_t kFramesMax = 24;
constexpr int64_t kSoundAhead = kRate / 2;
constexpr int64_t kRingFrames = kRate * 2;

int64_t ms_to_frames(int64_t ms) { return ms * kRate / 1000; }
int64_t frames_to_ms(int64_t f) { return f * 1000 / kRate; }

struct Frame {
    int64_t Ms = 0;
    std::vector<uint32_t> Pixels;
};

class VideoPlayer {
public:
    VideoPlayer(std::unique_ptr<TStream> stream, bool overlay)
        : FStream(std::move(stream)), FDecoder(*FStream, true), FOverlay(overlay),
          FRing(size_t(kRingFrames) * 2) {
        FCurrent.Pixels.assign(size_t(FDecoder.Width()) * size_t(FDecoder.Height()), 0xFF000000u);
        set_gains();
        if (FDecoder.DecodesAudio()) {
            if (AudioDevice* dev = CompanionSoundDevice()) {
                FBus = dev;
                FBusHandle = dev->Bus().AddSource([this](int32_t* mix, size_t frames) { return mix_into(mix, frames); });
            }
        }
        FThread = std::thread([this] { thread_main(); });
    }
    ~VideoPlayer() {
        if (FBus) FBus->Bus().RemoveSource(FBusHandle);
        {
            std::lock_guard l(FLock);
            FStop = true;
        }
        FWake.notify_all();
        FThread.join();
    }

    int32_t width() const { return FDecoder.Width(); }
    int32_t height() const { return FDecoder.Height(); }
    int32_t length_ms() const { return static_cast<int32_t>(std::min<int64_t>(FDecoder.LengthMs(), INT32_MAX)); }

    void play() {
        std::lock_guard l(FLock);
        poll();
        if (FPlaying && !FPaused) return;
        FWallBase = clock_ms();
        FWallStart = TimeGetTime();
        FPlaying = true;
        FPaused = false;
    }
    void pause() {
        std::lock_guard l(FLock);
        if (FPaused) return;
        FWallBase = clock_ms();
        FPaused = true;
    }
    bool playing() {
        std::lock_guard l(FLock);
        poll();
        return FPlaying && !FPaused && !ended();
    }
    bool paused() {
        std::lock_guard l(FLock);
        return FPaused;
    }
    bool is_end() {
        std::lock_guard l(FLock);
        poll();
        return ended();
    }
    int32_t position_ms() {
        std::lock_guard l(FLock);
        poll();
        const int64_t len = FDecoder.LengthMs();
        const int64_t at = clock_ms();
        return static_cast<int32_t>(std::clamp<int64_t>(len > 0 ? std::min(at, len) : at, 0, INT32_MAX));
    }
    void set_position(int32_t ms) {
        std::lock_guard d(FDecodeLock);
        std::lock_guard l(FLock);
        restart_at(std::max(ms, 0));
    }
    int32_t volume() const { return FVolume; }
    void set_volume(int32_t v) {
        FVolume = v;
        set_gains();
    }
    int32_t pan() const { return FPan; }
    void set_pan(int32_t p) {
        FPan = p;
        set_gains();
    }
    bool repeat() const { return FRepeat.load(); }
    void set_repeat(bool on) { FRepeat = on; }
    bool visible() const { return FVisible; }
    void set_visible(bool on) { FVisible = on; }
    void set_rect(const TRect& source, const TRect& dest) {
        FSource = source;
        FDest = dest;
    }

    bool need_paint() {
        if (FOverlay) return false;
        std::lock_guard l(FLock);
        poll();
        drop_superseded();
        return !FFrames.empty() && FFrames.front().Ms <= clock_ms();
    }
    const VideoPicture* take_picture() {
        {
            std::lock_guard l(FLock);
            poll();
            drop_superseded();
            if (!FFrames.empty() && FFrames.front().Ms <= clock_ms()) {
                std::swap(FCurrent, FFrames.front());
                FPool.push_back(std::move(FFrames.front()));
                FFrames.pop_front();
            }
        }
        FWake.notify_all();
        FPicture = VideoPicture{FCurrent.Pixels.data(), width(), height()};
        return &FPicture;
    }
    void paint_overlay(Video& window, TPoint origin) {
        if (!FOverlay || !FVisible || RectIsEmpty(FDest)) return;
        const VideoPicture* pic = take_picture();
        // The source part inside the picture; the scale maps it onto dest.
        const TRect src{std::clamp(FSource.Left, 0, pic->Width), std::clamp(FSource.Top, 0, pic->Height),
                        std::clamp(FSource.Right, 0, pic->Width), std::clamp(FSource.Bottom, 0, pic->Height)};
        if (RectIsEmpty(src)) return;
        const int32_t dw = FDest.Width(), dh = FDest.Height();
        FStaging.resize(size_t(dw) * size_t(dh));
        for (int32_t y = 0; y < dh; ++y) {
            const int32_t sy = src.Top + static_cast<int32_t>(int64_t{y} * src.Height() / dh);
            const uint32_t* row = pic->Pixels + size_t(sy) * size_t(pic->Width);
            uint32_t* out = FStaging.data() + size_t(y) * size_t(dw);
            for (int32_t x = 0; x < dw; ++x) out[x] = row[src.Left + static_cast<int32_t>(int64_t{x} * src.Width() / dw)];
        }
        window.Update(FStaging.data(), dw, dh, dw, origin.X + FDest.Left, origin.Y + FDest.Top);
    }

private:
    // The time of the picture, in ms from the start: the sound heard when
    // the sound plays through the device, else the system clock.
    int64_t clock_ms() const {
        if (FBus) return frames_to_ms(FClock);
        if (!FPlaying || FPaused) return FWallBase;
        return FWallBase + static_cast<uint32_t>(TimeGetTime() - FWallStart);
    }
    bool ended() const { return FFailed || (!FRepeat.load() && all_out()); }
    // Every frame and all the sound were given out.
    bool all_out() const {
        if (!FDone) return false;
        const int64_t now = clock_ms();
        const bool frames_out = FFrames.empty() || (FFrames.size() == 1 && FFrames.back().Ms <= now);
        const bool sound_out = !FBus || FClock >= FRingStart + FRingCount + int64_t(FPending.size() / 2);
        return frames_out && sound_out && now >= FLastFrameMs;
    }
    // A video that repeats starts over once all of it was shown.
    void poll() {
        if (FRepeat.load() && !FRestarting && !FFailed && all_out()) {
            FRestarting = true;
            FWake.notify_all();
        }
    }
    void restart_at(int64_t ms) {
        FDecoder.Seek(ms);
        for (Frame& f : FFrames) FPool.push_back(std::move(f));
        FFrames.clear();
        FPending.clear();
        FRingCount = 0;
        FClock = ms_to_frames(ms);
        FRingStart = FClock;
        FWallBase = ms;
        FWallStart = TimeGetTime();
        FDone = false;
        FFailed = false;
        FLastFrameMs = 0;
        FRestarting = false;
        FWake.notify_all();
    }
    // Frames whose successor is already due are never shown.
    void drop_superseded() {
        const int64_t now = clock_ms();
        while (FFrames.size() > 1 && FFrames[1].Ms <= now) {
            FPool.push_back(std::move(FFrames.front()));
            FFrames.pop_front();
        }
    }
    bool wants_more() const {
        if (FRestarting) return true;
        if (FDone) return false;
        const int64_t sound = FRingStart + FRingCount + int64_t(FPending.size() / 2) - FClock;
        if (FFrames.size() < kFramesAhead) return true;
        return FBus && sound < kSoundAhead && FFrames.size() < kFramesMax;
    }

    // Nothing may leave the decoding thread: when decoding raises (memory
    // ran short, the stream failed), the video ends as one that could not
    // be read; a later seek tries again.
    void thread_main() {
        for (;;) {
            try {
                decode_loop();
                return;
            } catch (...) {
                std::lock_guard l(FLock);
                FFailed = true;
                FDone = true;
                FRestarting = false;
            }
        }
    }
    void decode_loop() {
        std::unique_lock l(FLock);
        while (!FStop) {
            drop_superseded();
            move_sound();
            if (!wants_more()) {
                FWake.wait_for(l, std::chrono::milliseconds(5));
                continue;
            }
            l.unlock();
            std::unique_lock d(FDecodeLock);
            l.lock();
            if (FStop) break;
            if (FRestarting) {
                restart_at(0);
                continue;
            }
            if (FDone) continue;
            l.unlock();
            const VideoDecoder::Step step = FDecoder.Advance();
            Frame frame;
            if (step == VideoDecoder::Step::Frame) {
                l.lock();
                if (!FPool.empty()) {
                    frame = std::move(FPool.back());
                    FPool.pop_back();
                }
                l.unlock();
                frame.Pixels.assign(FDecoder.Pixels(), FDecoder.Pixels() + size_t(width()) * size_t(height()));
                frame.Ms = FDecoder.FrameTimeMs();
            }
            l.lock();
            if (step == VideoDecoder::Step::Frame && plausible(frame.Ms)) {
                FLastFrameMs = std::max(FLastFrameMs, frame.Ms);
                FFrames.push_back(std::move(frame));
            } else if (step == VideoDecoder::Step::End) {
                FDone = true;
            }
            if (!FDecoder.Sound().empty()) {
                if (FBus && plausible(frames_to_ms(FDecoder.SoundStart()))) take_sound();
                FDecoder.TakeSound();
            }
        }
    }
    // A damaged file may carry any time at all: what lies far beyond the
    // length (or far ahead of what came before) is dropped, so that the
    // end still comes when the rest has been shown.
    bool plausible(int64_t ms) const {
        const int64_t length = FDecoder.LengthMs();
        const int64_t last = std::max(FLastFrameMs, frames_to_ms(FPendingStart + int64_t(FPending.size() / 2)));
        return ms <= (length > 0 ? length + 1000 : last + 10000);
    }
    // The decoder's new sound joins what waits for the ring.
    void take_sound() {
        const std::vector<int16_t>& s = FDecoder.Sound();
        const int64_t start = FDecoder.SoundStart();
        const int64_t pending_end = FPendingStart + int64_t(FPending.size() / 2);
        if (FPending.empty() || start != pending_end) {
            // The first sound, or a jump in its times: it starts anew where it says.
            if (FPending.empty() && FRingCount == 0) FPendingStart = start;
            else if (start > pending_end || start < pending_end - kRate) {
                FPending.clear();
                FPendingStart = start;
            }
        }
        FPending.insert(FPending.end(), s.begin(), s.end());
        // Sound the listener can no longer hear in time is dropped.
        const int64_t max_pending = kRate * 4;
        if (int64_t(FPending.size() / 2) > max_pending) {
            const int64_t drop = int64_t(FPending.size() / 2) - max_pending;
            FPending.erase(FPending.begin(), FPending.begin() + drop * 2);
            FPendingStart += drop;
        }
    }
    // From the waiting sound into the ring the bus reads, as room allows.
    void move_sound() {
        if (FPending.empty()) return;
        if (FRingCount == 0) FRingStart = std::max(FPendingStart, FClock);
        const int64_t ring_end = FRingStart + FRingCount;
        // Skip what lies before the ring's end (late or overlapping).
        int64_t skip = std::max<int64_t>(0, ring_end - FPendingStart);
        skip = std::min<int64_t>(skip, int64_t(FPending.size() / 2));
        // A gap before the pending sound is filled with silence.
        int64_t gap = std::max<int64_t>(0, FPendingStart - ring_end);
        const int64_t room = kRingFrames - FRingCount;
        gap = std::min(gap, room);
        for (int64_t i = 0; i < gap; ++i) put(0, 0);
        const int64_t n = std::min<int64_t>(int64_t(FPending.size() / 2) - skip, kRingFrames - FRingCount);
        for (int64_t i = 0; i < n; ++i) put(FPending[size_t(2 * (skip + i))], FPending[size_t(2 * (skip + i) + 1)]);
        FPending.erase(FPending.begin(), FPending.begin() + (skip + n) * 2);
        FPendingStart += skip + n;
    }
    void put(int16_t l, int16_t r) {
        const size_t at = size_t((FRingHead + FRingCount) % kRingFrames);
        FRing[2 * at] = l;
        FRing[2 * at + 1] = r;
        ++FRingCount;
    }

    // The audio thread: the clock moves with what the device plays.
    bool mix_into(int32_t* mix, size_t frames) {
        std::lock_guard l(FLock);
        if (!FPlaying || FPaused) return true;
        const int64_t gl = FGainL.load(), gr = FGainR.load();
        for (size_t i = 0; i < frames; ++i) {
            const int64_t at = FClock + int64_t(i);
            while (FRingCount > 0 && FRingStart < at) drop_ring(1);
            if (FRingCount > 0 && FRingStart == at) {
                mix[2 * i] += static_cast<int32_t>((FRing[2 * FRingHead] * gl) >> 16);
                mix[2 * i + 1] += static_cast<int32_t>((FRing[2 * FRingHead + 1] * gr) >> 16);
                drop_ring(1);
            }
        }
        FClock += int64_t(frames);
        return true;
    }
    void drop_ring(int64_t n) {
        FRingHead = (FRingHead + n) % kRingFrames;
        FRingCount -= n;
        FRingStart += n;
    }
    void set_gains() {
        const ChannelGains g = GainsOf(FVolume, FPan);
        FGainL = g.Left;
        FGainR = g.Right;
    }

    std::unique_ptr<TStream> FStream;
    VideoDecoder FDecoder;
    const bool FOverlay;
    std::mutex FDecodeLock;  // the decoder: the thread while it steps, a seek
    std::mutex FLock;        // everything below, shared with the audio thread
    std::condition_variable FWake;
    std::thread FThread;
    bool FStop = false;
    bool FDone = false;
    bool FFailed = false;  // decoding raised
    bool FRestarting = false;
    bool FPlaying = false, FPaused = false;
    std::atomic<bool> FRepeat{false};
    int64_t FWallBase = 0;
    uint32_t FWallStart = 0;
    int64_t FLastFrameMs = 0;
    std::deque<Frame> FFrames;
    std::vector<Frame> FPool;
    Frame FCurrent;
    VideoPicture FPicture;
    std::vector<int16_t> FPending;
    int64_t FPendingStart = 0;
    std::vector<int16_t> FRing;
    int64_t FRingHead = 0, FRingCount = 0, FRingStart = 0;
    int64_t FClock = 0;  // 44100 Hz frames heard since the start
    AudioDevice* FBus = nullptr;
    int32_t FBusHandle = 0;
    std::atomic<int32_t> FGainL{65536}, FGainR{65536};
    int32_t FVolume = 0, FPan = 0;
    bool FVisible = false;
    TRect FSource{}, FDest{};
    std::vector<uint32_t> FStaging;
};

// Never destroyed: a process that ends through exit () with videos playing
// (its display went away) keeps its players and their threads to the end,
// and whatever still reaches the table there finds it whole.
std::mutex& table_lock = *new std::mutex;
std::map<uint32_t, std::shared_ptr<VideoPlayer>>& videos = *new std::map<uint32_t, std::shared_ptr<VideoPlayer>>;
uint32_t next_handle = 1;

std::shared_ptr<VideoPlayer> video(uint32_t h) {
    std::lock_guard l(table_lock);
    auto it = videos.find(h);
    return it == videos.end() ? nullptr : it->second;
}
}  // namespace

uint32_t vorqVidmanAdd(const char* /*name*/, void* stream, int32_t overlay) {
    auto p = std::make_shared<VideoPlayer>(CompanionStream(stream), overlay != 0);
    std::lock_guard l(table_lock);
    const uint32_t h = next_handle++;
    if (next_handle == 0) next_handle = 1;
    videos[h] = std::move(p);
    return h;
}

void vorqVidmanDel(uint32_t h) { take_entry(table_lock, videos, h); }

void vorqVidmanFinal() {
    std::map<uint32_t, std::shared_ptr<VideoPlayer>> all;
    {
        std::lock_guard l(table_lock);
        all.swap(videos);
    }
}

#define VIDEO_CALL(expr, none)                  \
    do {                                        \
        if (auto p = video(h)) return expr;     \
        return none;                            \
    } while (0)

void vorqVideoPlay(uint32_t h) { VIDEO_CALL(p->play(), void()); }
void vorqVideoPause(uint32_t h) { VIDEO_CALL(p->pause(), void()); }
int32_t vorqVideoIsPlaying(uint32_t h) { VIDEO_CALL(p->playing() ? -1 : 0, 0); }
int32_t vorqVideoIsPaused(uint32_t h) { VIDEO_CALL(p->paused() ? -1 : 0, 0); }
int32_t vorqVideoIsEnd(uint32_t h) { VIDEO_CALL(p->is_end() ? -1 : 0, 0); }
int32_t vorqVideoGetLen(uint32_t h) { VIDEO_CALL(p->length_ms(), 0); }
int32_t vorqVideoGetPosition(uint32_t h) { VIDEO_CALL(p->position_ms(), 0); }
void vorqVideoSetPosition(uint32_t h, int32_t ms) { VIDEO_CALL(p->set_position(ms), void()); }
int32_t vorqVideoGetVol(uint32_t h) { VIDEO_CALL(p->volume(), 0); }
void vorqVideoSetVol(uint32_t h, int32_t v) { VIDEO_CALL(p->set_volume(v), void()); }
int32_t vorqVideoGetPan(uint32_t h) { VIDEO_CALL(p->pan(), 0); }
void vorqVideoSetPan(uint32_t h, int32_t v) { VIDEO_CALL(p->set_pan(v), void()); }
int32_t vorqVideoGetAutoRepeat(uint32_t h) { VIDEO_CALL(p->repeat() ? -1 : 0, 0); }
void vorqVideoSetAutoRepeat(uint32_t h, int32_t on) { VIDEO_CALL(p->set_repeat(on != 0), void()); }
int32_t vorqVideoGetVisible(uint32_t h) { VIDEO_CALL(p->visible() ? -1 : 0, 0); }
void vorqVideoSetVisible(uint32_t h, int32_t on) { VIDEO_CALL(p->set_visible(on != 0), void()); }
void vorqVideoSetRect(uint32_t h, const TRect* source, const TRect* dest) {
    if (!source || !dest) return;
    VIDEO_CALL(p->set_rect(*source, *dest), void());
}
int32_t vorqVideoGetSourceWidth(uint32_t h) { VIDEO_CALL(p->width(), 0); }
int32_t vorqVideoGetSourceHeight(uint32_t h) { VIDEO_CALL(p->height(), 0); }
int32_t vorqVideoNeedPaint(uint32_t h) { VIDEO_CALL(p->need_paint() ? -1 : 0, 0); }
const VideoPicture* vorqVideoGetDC(uint32_t h) { VIDEO_CALL(p->take_picture(), nullptr); }
void vorqVideoPaintOverlay(uint32_t h, Video& window, TPoint view_origin) {
    VIDEO_CALL(p->paint_overlay(window, view_origin), void());
}
#undef VIDEO_CALL
