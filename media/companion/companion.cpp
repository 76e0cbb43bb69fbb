#include "media/companion/companion.h"
#include "media/companion/handle_table.h"

#include "media/decode/pcm_decoder.h"
#include "media/decode/work_pool.h"
#include "media/companion/video_companion.h"
#include "platform/system/audio.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {
struct Callbacks {
    StreamGetSizeFn size = nullptr;
    StreamReadFn read = nullptr;
    StreamGetPositionFn position = nullptr;
    StreamSeekFn seek = nullptr;
} cb;
AudioDevice** sound_cell = nullptr;

// The player's stream, reached only through the callbacks.
class CallbackStream : public TStream {
public:
    explicit CallbackStream(void* s) : FS(s) {}
    int64_t Read(void* buffer, int64_t count) override {
        if (!cb.read || count <= 0) return 0;
        int64_t done = 0;
        while (done < count) {
            const int32_t ask = static_cast<int32_t>(std::min<int64_t>(count - done, 1 << 30));
            const int32_t got = cb.read(FS, static_cast<uint8_t*>(buffer) + done, ask);
            if (got <= 0) break;
            done += got;
            if (got < ask) break;
        }
        return done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        if (!cb.seek || !cb.position) return 0;
        int64_t base = 0;
        if (origin == SeekOrigin::Current) base = cb.position(FS);
        else if (origin == SeekOrigin::End) base = GetSize();
        const int64_t target = std::clamp<int64_t>(base + offset, 0, INT32_MAX);
        if (origin == SeekOrigin::Current && offset == 0) return base;
        return cb.seek(FS, static_cast<int32_t>(target));
    }
    int64_t GetSize() override { return cb.size ? cb.size(FS) : 0; }

private:
    void* FS;
};

std::unique_ptr<PcmDecoder> open_decoder(TStream& s, bool is_ogg) {
    return is_ogg ? OpenVorbisDecoder(s) : OpenWaveDecoder(s);
}

void wake_worker();
std::atomic<bool> use_thread{false};

// Milliseconds of PCM bytes, bounded to what a length can hold.
int32_t ms_of_bytes(int64_t bytes, const TWaveFormatEx& f) {
    if (f.nAvgBytesPerSec == 0 || bytes <= 0) return 0;
    const int64_t rate = f.nAvgBytesPerSec;
    if (bytes / rate > INT32_MAX / 1000) return INT32_MAX;
    return static_cast<int32_t>(std::min<int64_t>(bytes / rate * 1000 + bytes % rate * 1000 / rate, INT32_MAX));
}

constexpr size_t kRingFrames = 44100 / 2;
constexpr size_t kChunkFrames = 4096;

// Runs a decoder's slow work (decoding forward to a place, waiting for the
// look at an Ogg's pages) on the shared threads, holding the decoder's
// lock, so that no thread that fills rings or mixes ever waits for it:
// from the moment it is asked for until it ends, its decoder is busy and
// passed over. Once closed (the medium is being freed) it starts no more
// work and drops what has not begun, so that none runs on a decoder let go.
class Placer {
public:
    bool Busy() const { return FBusy.load(); }
    // Only when not busy; the caller may hold lock, which the work takes.
    // False, and nothing started, once closed.
    template <class Work, class Failed>
    bool Start(std::mutex& lock, Work work, Failed failed) {
        FBusy = true;
        const bool queued = FSlot.Submit([this, &lock, work = std::move(work), failed = std::move(failed)]() mutable {
            {
                std::lock_guard l(lock);
                // Nothing may leave the work: a failure is its medium's.
                try {
                    work();
                } catch (...) {
                    failed();
                }
            }
            FBusy = false;
            wake_worker();
        });
        if (!queued) FBusy = false;
        return queued;
    }
    // Starts nothing more and waits for the work under way, which must be
    // able to take lock (the caller holds none of the work's locks).
    void Close() { FSlot.Close(); }

private:
    std::atomic<bool> FBusy{false};
    WorkSlot FSlot{WorkSlot::Kind::Place};
};

// One medium played by the module.
class Player {
public:
    Player(std::unique_ptr<TStream> own, std::unique_ptr<PcmDecoder> dec)
        : FStream(std::move(own)), FDecoder(std::move(dec)), FFormat(FDecoder->Format()), FConverter(FFormat),
          FRing(kRingFrames * 2) {
        set_gains();
    }
    ~Player() {
        disconnect();
        if (FDecoder) FDecoder->Cancel();
        FPlacer.Close();
    }

    void connect() {
        if (FBus || !sound_cell || !*sound_cell) return;
        FBus = *sound_cell;
        FHandle = FBus->Bus().AddSource([this](int32_t* mix, size_t frames) { return mix_into(mix, frames); });
    }
    void disconnect() {
        if (FBus) FBus->Bus().RemoveSource(FHandle);
        FBus = nullptr;
    }

    // The decoding thread's step: true when it moved samples on. Whatever
    // the ring cannot take yet waits for the next step: a sound below the
    // device's rate grows several times over, and none of it may be lost.
    // A new position is taken here, off the game's thread; one that needs
    // decoding forward (a damaged file) or the look at a large file's
    // pages is taken by the player's placer, and so is that look when the
    // first link ends before it: meanwhile this player is passed over, its
    // ring silent, and every other one goes on.
    bool decode_step() {
        if (FPlacer.Busy()) return false;
        std::lock_guard d(FDecodeLock);
        if (!FDecoder) return false;
        uint64_t generation = 0;
        int64_t seek_to = -1;
        {
            std::lock_guard r(FRingLock);
            generation = FGeneration;
            if (FSeekPending) {
                seek_to = FSeekTo;
                FSeekPending = false;
            } else if (FDecoderDone || kRingFrames - FCount < kChunkFrames * 2) {
                return false;
            }
        }
        // Without the module's thread the caller of vorqOggmanUpdate has
        // taken on all decoding, this work too.
        if (seek_to >= 0) {
            if (use_thread && !FDecoder->SeekIsQuick(seek_to)) {
                FPlacer.Start(FDecodeLock, [this, seek_to] { place(seek_to); }, [this] { fail(); });
                return false;
            }
            place(seek_to);
        }
        if (FDecoder->Waiting()) {
            if (!use_thread) {
                FDecoder->Settle();
            } else {
                FPlacer.Start(FDecodeLock, [this] { FDecoder->Settle(); }, [this] { fail(); });
                return false;
            }
        }
        if (FSourceDone && FRepeat.load()) {
            // Repeat came on after the resampler gave up its tail: it
            // starts afresh and the loop goes on.
            FConverter.Reset();
            FSourceDone = false;
        }
        if (FPendingAt == FConverted.size() && !FSourceDone) convert_chunk();
        push_pending(generation);
        return true;
    }
    // Freed by the game: the decoding thread stops using it (a step under
    // way ends first) and the stream it reads is let go. The placer is
    // closed before the decoder goes: a step that starts one meanwhile
    // finds it closed, and work already started ends first.
    void retire() {
        disconnect();
        if (FDecoder) FDecoder->Cancel();
        FPlacer.Close();
        std::lock_guard d(FDecodeLock);
        FDecoder.reset();
        FStream.reset();
    }

    // Let go by the game: silent at once, its work asked to give up; it is
    // retired later.
    void cancel() {
        disconnect();
        if (FDecoder) FDecoder->Cancel();
    }

    // Decoding raised (memory ran short, the stream failed): the medium
    // ends at once, as one that could not be read.
    void fail() {
        std::lock_guard r(FRingLock);
        FDecoderDone = true;
        FHead = FCount = 0;
        FEnded = true;
        FPlaying = false;
    }

    bool mix_into(int32_t* mix, size_t frames) {
        if (!FPlaying.load() || FPaused.load()) return true;
        const int64_t gl = FGainL.load(), gr = FGainR.load();
        std::lock_guard r(FRingLock);
        const size_t n = std::min(frames, FCount);
        for (size_t i = 0; i < n; ++i) {
            const size_t at = (FHead + i) % kRingFrames;
            mix[2 * i] += static_cast<int32_t>((FRing[2 * at] * gl) >> 16);
            mix[2 * i + 1] += static_cast<int32_t>((FRing[2 * at + 1] * gr) >> 16);
        }
        const bool was_full = kRingFrames - FCount < kChunkFrames * 2;
        FHead = (FHead + n) % kRingFrames;
        FCount -= n;
        FPlayed += n;
        if (was_full && kRingFrames - FCount >= kChunkFrames * 2 && !FDecoderDone.load()) wake_worker();
        // Played out: it stays started, so that a new position (a repeat
        // switched on after the end, a rewind) plays on from there.
        if (FCount == 0 && FDecoderDone.load()) FEnded = true;
        return true;
    }

    void play() {
        connect();
        if (!FBus) {
            // Nowhere to play: the medium ends at once, so nothing waits on it.
            FEnded = true;
            return;
        }
        FPaused = false;
        FPlaying = true;
    }
    void pause() { FPaused = true; }
    bool playing() const { return FPlaying.load() && !FEnded.load(); }
    bool paused() const { return FPaused.load(); }
    bool ended() const { return FEnded.load(); }

    int32_t length_ms() const { return ms_of_bytes(FDecoder->TotalBytes(), FFormat); }
    bool length_settled() const { return FDecoder->LengthSettled(); }
    // Within the sound: on repeat, the frames played count on past its end.
    int32_t position_ms() {
        std::lock_guard r(FRingLock);
        const size_t loop = FLoopFrames.load();
        const size_t played = loop > 0 ? FPlayed % loop : FPlayed;
        return static_cast<int32_t>(played * 1000 / 44100);
    }
    // The decoding thread goes there at its next step; what the ring held
    // is dropped at once.
    void set_position(int32_t ms) {
        const int64_t frame = int64_t{std::max(ms, 0)} * FFormat.nSamplesPerSec / 1000;
        std::lock_guard r(FRingLock);
        ++FGeneration;
        FSeekTo = frame * FFormat.nBlockAlign;
        FSeekPending = true;
        FHead = FCount = 0;
        FPlayed = static_cast<size_t>(int64_t{std::max(ms, 0)} * 44100 / 1000);
        FDecoderDone = false;
        FEnded = false;
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
    void set_repeat(bool on) {
        FRepeat = on;
        // A medium whose decoding stopped at the end, not yet played out,
        // goes on with the loop.
        std::lock_guard r(FRingLock);
        if (on && FDecoderDone && !FEnded.load()) FDecoderDone = false;
    }

private:
    // Takes a new place. One the decoder refuses (past the end) is the
    // end: the decoder stays where it was, and a repeat starts over.
    void place(int64_t seek_to) {
        FPastEnd = !FDecoder->Seek(seek_to);
        FConverter.Reset();
        FConverted.clear();
        FPendingAt = 0;
        FSourceDone = false;
    }
    // Converts the next piece of the source, as much as makes about one
    // chunk at the device's rate. At the end (without repeat) the resampler
    // gives up the frames it still holds, so the sound ends on its last.
    void convert_chunk() {
        const TWaveFormatEx& f = FDecoder->Format();
        const int64_t frames = std::max<int64_t>(1, int64_t{kChunkFrames} * f.nSamplesPerSec / 44100);
        FRaw.resize(size_t(frames) * f.nBlockAlign);
        int64_t got = FPastEnd ? 0 : FDecoder->Read(FRaw.data(), static_cast<int64_t>(FRaw.size()));
        FConverted.clear();
        FPendingAt = 0;
        // Not the end: the placer takes the wait at the next step.
        if (got <= 0 && FDecoder->Waiting()) return;
        if (got <= 0 && FRepeat.load()) {
            // The loop point: start over without a gap. The sound's length
            // is where it ended.
            const int64_t end = FDecoder->Position() / std::max<int64_t>(f.nBlockAlign, 1);
            if (end > 0 && !FPastEnd)
                FLoopFrames = static_cast<size_t>(end * 44100 / std::max<int64_t>(f.nSamplesPerSec, 1));
            if (FDecoder->Seek(0)) {
                FPastEnd = false;
                got = FDecoder->Read(FRaw.data(), static_cast<int64_t>(FRaw.size()));
            }
        }
        if (got > 0) {
            FConverter.Convert(FRaw.data(), got, FConverted);
            return;
        }
        FConverter.Flush(FConverted);
        FSourceDone = true;
    }
    // Moves what the ring has room for; decoding is done once the source
    // ended and nothing waits.
    void push_pending(uint64_t generation) {
        std::lock_guard r(FRingLock);
        // A new position came meanwhile: these samples are not heard.
        if (generation != FGeneration) return;
        const size_t frames = std::min((FConverted.size() - FPendingAt) / 2, kRingFrames - FCount);
        for (size_t i = 0; i < frames; ++i) {
            const size_t at = (FHead + FCount + i) % kRingFrames;
            FRing[2 * at] = FConverted[FPendingAt + 2 * i];
            FRing[2 * at + 1] = FConverted[FPendingAt + 2 * i + 1];
        }
        FCount += frames;
        FPendingAt += 2 * frames;
        if (FSourceDone && FPendingAt == FConverted.size()) FDecoderDone = true;
    }
    void set_gains() {
        const ChannelGains g = GainsOf(FVolume, FPan);
        FGainL = g.Left;
        FGainR = g.Right;
    }

    std::unique_ptr<TStream> FStream;
    std::unique_ptr<PcmDecoder> FDecoder;  // null once retired
    const TWaveFormatEx FFormat;           // the decoder's
    PcmConverter FConverter;
    std::vector<uint8_t> FRaw;
    std::vector<int16_t> FConverted;  // converted samples, those from FPendingAt not yet in the ring
    size_t FPendingAt = 0;
    bool FSourceDone = false;  // the source ended and the resampler was flushed
    bool FPastEnd = false;     // a place past the end was asked for
    std::mutex FDecodeLock;
    Placer FPlacer;  // after what its work uses, so it ends first
    std::mutex FRingLock;
    std::vector<int16_t> FRing;
    size_t FHead = 0, FCount = 0, FPlayed = 0;
    uint64_t FGeneration = 0;  // of the position: a new one drops what was decoded for the old
    int64_t FSeekTo = 0;       // bytes of the decoder's PCM
    bool FSeekPending = false;
    std::atomic<size_t> FLoopFrames{0};  // the device frames of one pass, once a loop has been made
    std::atomic<bool> FDecoderDone{false};
    std::atomic<bool> FPlaying{false}, FPaused{false}, FEnded{false}, FRepeat{false};
    std::atomic<int32_t> FGainL{65536}, FGainR{65536};
    int32_t FVolume = 0, FPan = 0;
    AudioDevice* FBus = nullptr;
    int32_t FHandle = 0;
};

// A decoded stream of the software mixer. Its reads and places come from
// the mixer's refill thread, which must never wait: a place that needs
// decoding forward, or the look at a large file's pages, is taken by its
// placer, and meanwhile it is busy and reads give nothing.
struct DecodedStream {
    std::unique_ptr<TStream> stream;
    std::unique_ptr<PcmDecoder> decoder;
    std::mutex lock;  // the decoder, between the refill thread and the placer
    // Where the mixer stands: the place being taken while busy, a place
    // past the end (refused) until another is asked for.
    std::atomic<int64_t> at{0};
    std::atomic<bool> past_end{false};
    // A place asked for while busy: the placer takes it after its own, or
    // the next read does once it is not busy.
    std::atomic<int64_t> pending{-1};
    Placer placer;
    ~DecodedStream() {
        if (decoder) decoder->Cancel();
        placer.Close();
    }
    // Under lock and not busy: takes the place at once when it is quick,
    // else starts the placer on it.
    void ask(int64_t pos) {
        past_end = false;
        if (decoder->SeekIsQuick(pos)) return place(pos);
        at = pos;
        placer.Start(lock, [this, pos] {
            for (int64_t to = pos; to >= 0; to = pending.exchange(-1)) place(to);
        }, [this] { past_end = true; });
    }
    void place(int64_t pos) {
        past_end = !decoder->Seek(pos);
        at = past_end ? pos : decoder->Position();
    }
};

// What the decoding thread uses is made once and never destroyed: a
// process that ends through exit () without vorqFinal (its display went
// away, say) runs the static destructors while the thread may still wait
// on wake or decode from the tables, and destroying a condition variable
// that a thread waits on never returns.
std::recursive_mutex& media_lock = *new std::recursive_mutex;  // the tables
std::map<uint32_t, std::shared_ptr<Player>>& players = *new std::map<uint32_t, std::shared_ptr<Player>>;
std::map<uint32_t, std::unique_ptr<DecodedStream>>& decoded = *new std::map<uint32_t, std::unique_ptr<DecodedStream>>;
// Cancelled and not yet freed: out of the game's reach (no call restarts
// or reconnects them) and of the decoding thread's; work of theirs under
// way ends at its next page.
std::map<uint32_t, std::shared_ptr<Player>>& cancelled = *new std::map<uint32_t, std::shared_ptr<Player>>;
uint32_t next_handle = 1;
std::thread& worker = *new std::thread;
std::mutex& wake_lock = *new std::mutex;
std::condition_variable& wake = *new std::condition_variable;
bool stop_worker = false;

bool decode_all() {
    // Stepped outside the table lock, so that the game's calls never wait
    // on a decoding step (a seek decoding forward may take long); a player
    // freed meanwhile was retired, and its step does nothing.
    std::vector<std::shared_ptr<Player>> now;
    {
        std::lock_guard l(media_lock);
        for (auto& [h, p] : players) now.push_back(p);
    }
    bool any = false;
    for (auto& p : now) {
        // Nothing may leave the decoding thread: a failure is its medium's.
        try {
            any |= p->decode_step();
        } catch (...) {
            p->fail();
        }
    }
    return any;
}

std::atomic<bool> work_pending{false};

// A player was added, started, moved or set to repeat, or the sound device
// drained a ring enough to take more.
void wake_worker() {
    work_pending = true;
    { std::lock_guard w(wake_lock); }
    wake.notify_all();
}

void worker_main() {
    std::unique_lock w(wake_lock);
    while (!stop_worker) {
        work_pending = false;
        w.unlock();
        const bool busy = decode_all();
        w.lock();
        // With nothing to decode the thread sleeps until there is.
        if (!busy) wake.wait(w, [] { return stop_worker || work_pending.load(); });
    }
}

void stop_thread() {
    if (!worker.joinable()) return;
    {
        std::lock_guard w(wake_lock);
        stop_worker = true;
    }
    wake.notify_all();
    worker.join();
}

Player* player(uint32_t h) {
    std::lock_guard l(media_lock);
    auto it = players.find(h);
    return it == players.end() ? nullptr : it->second.get();
}

uint32_t add_player(std::unique_ptr<TStream> own, std::unique_ptr<PcmDecoder> dec) {
    auto p = std::make_shared<Player>(std::move(own), std::move(dec));
    p->connect();
    std::lock_guard l(media_lock);
    const uint32_t h = next_handle++;
    players[h] = std::move(p);
    wake_worker();
    return h;
}

void cancel_player(uint32_t h) {
    std::shared_ptr<Player> p = take_entry(media_lock, players, h);
    if (!p) return;
    p->cancel();
    std::lock_guard l(media_lock);
    cancelled[h] = std::move(p);
}

void del_player(uint32_t h) {
    std::shared_ptr<Player> gone = take_entry(media_lock, players, h);
    if (!gone) gone = take_entry(media_lock, cancelled, h);
    if (!gone) return;
    // Retired outside the table lock: its bus source is removed first, so
    // the audio callback never sees it again, and the stream the caller
    // frees next is read no more.
    gone->retire();
}

void restore_players() {
    std::lock_guard l(media_lock);
    for (auto& [h, p] : players) {
        p->disconnect();
        p->connect();
    }
}

DecodedStream* decoded_stream(uint32_t h) {
    std::lock_guard l(media_lock);
    auto it = decoded.find(h);
    return it == decoded.end() ? nullptr : it->second.get();
}
}  // namespace

ChannelGains GainsOf(int32_t volume, int32_t pan) {
    auto gain = [](int32_t att) -> int32_t {
        if (att <= -10000) return 0;
        if (att >= 0) return 65536;
        return static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, att / 2000.0)));
    };
    const int32_t v = std::clamp(volume, -10000, 0);
    const int32_t p = std::clamp(pan, -10000, 10000);
    const int64_t base = gain(v);
    const int64_t left = p > 0 ? gain(-p) : 65536;
    const int64_t right = p < 0 ? gain(p) : 65536;
    return {static_cast<int32_t>(base * left >> 16), static_cast<int32_t>(base * right >> 16)};
}

int32_t vorqVersion() { return kCompanionVersion; }

void vorqInit(Video**, Video**, void*, AudioDevice** cell, StreamGetSizeFn size, StreamReadFn read,
              StreamGetPositionFn position, StreamSeekFn seek, FpuControlFn, FpuControlFn, int32_t) {
    sound_cell = cell;
    cb = Callbacks{size, read, position, seek};
}

std::unique_ptr<TStream> CompanionStream(void* stream) { return std::make_unique<CallbackStream>(stream); }

AudioDevice* CompanionSoundDevice() { return sound_cell ? *sound_cell : nullptr; }

void vorqFinal() {
    vorqVidmanFinal();
    stop_thread();
    use_thread = false;
    std::lock_guard l(media_lock);
    players.clear();
    cancelled.clear();
    decoded.clear();
    sound_cell = nullptr;
}

void vorqOggmanSetUseThread(int32_t on) {
    use_thread = on != 0;
    if (use_thread && !worker.joinable()) {
        stop_worker = false;
        worker = std::thread(worker_main);
    } else if (!use_thread) {
        stop_thread();
    }
}

void vorqOggmanUpdate() {
    if (!use_thread) decode_all();
}

uint32_t vorqOggmanAdd(void* stream, int32_t is_ogg) {
    auto s = std::make_unique<CallbackStream>(stream);
    auto dec = open_decoder(*s, is_ogg != 0);
    return add_player(std::move(s), std::move(dec));
}
void vorqOggmanDel(uint32_t h) { del_player(h); }
void vorqOggmanCancel(uint32_t h) { cancel_player(h); }
void vorqOggmanRestore() { restore_players(); }

uint32_t vorqWmpmanAdd(const void* data, int32_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(p, p + std::max(size, 0));
    return add_player(nullptr, OpenMediaDecoder(std::move(copy)));
}
void vorqWmpmanDel(uint32_t h) { del_player(h); }
void vorqWmpmanRestore() { restore_players(); }

#define VORQ_PLAYER_GROUP_BODY(G)                                                             \
    void vorq##G##Play(uint32_t h) {                                                          \
        if (Player* p = player(h)) p->play();                                                 \
        wake_worker();                                                                        \
    }                                                                                         \
    void vorq##G##Pause(uint32_t h) {                                                         \
        if (Player* p = player(h)) p->pause();                                                \
    }                                                                                         \
    int32_t vorq##G##IsPlaying(uint32_t h) {                                                  \
        Player* p = player(h);                                                                \
        return p && p->playing() ? -1 : 0;                                                    \
    }                                                                                         \
    int32_t vorq##G##IsPaused(uint32_t h) {                                                   \
        Player* p = player(h);                                                                \
        return p && p->paused() ? -1 : 0;                                                     \
    }                                                                                         \
    int32_t vorq##G##IsEnd(uint32_t h) {                                                      \
        Player* p = player(h);                                                                \
        return p && p->ended() ? -1 : 0;                                                      \
    }                                                                                         \
    int32_t vorq##G##GetLen(uint32_t h) {                                                     \
        Player* p = player(h);                                                                \
        return p ? p->length_ms() : 0;                                                        \
    }                                                                                         \
    int32_t vorq##G##IsLenSettled(uint32_t h) {                                               \
        Player* p = player(h);                                                                \
        return p && p->length_settled() ? -1 : 0;                                             \
    }                                                                                         \
    int32_t vorq##G##GetPosition(uint32_t h) {                                                \
        Player* p = player(h);                                                                \
        return p ? p->position_ms() : 0;                                                      \
    }                                                                                         \
    void vorq##G##SetPosition(uint32_t h, int32_t ms) {                                       \
        if (Player* p = player(h)) p->set_position(ms);                                       \
        wake_worker();                                                                        \
    }                                                                                         \
    int32_t vorq##G##GetVol(uint32_t h) {                                                     \
        Player* p = player(h);                                                                \
        return p ? p->volume() : 0;                                                           \
    }                                                                                         \
    void vorq##G##SetVol(uint32_t h, int32_t v) {                                             \
        if (Player* p = player(h)) p->set_volume(v);                                          \
    }                                                                                         \
    int32_t vorq##G##GetPan(uint32_t h) {                                                     \
        Player* p = player(h);                                                                \
        return p ? p->pan() : 0;                                                              \
    }                                                                                         \
    void vorq##G##SetPan(uint32_t h, int32_t v) {                                             \
        if (Player* p = player(h)) p->set_pan(v);                                             \
    }                                                                                         \
    int32_t vorq##G##GetAutoRepeat(uint32_t h) {                                              \
        Player* p = player(h);                                                                \
        return p && p->repeat() ? -1 : 0;                                                     \
    }                                                                                         \
    void vorq##G##SetAutoRepeat(uint32_t h, int32_t on) {                                     \
        if (Player* p = player(h)) p->set_repeat(on != 0);                                    \
        wake_worker();                                                                        \
    }
VORQ_PLAYER_GROUP_BODY(Ogg)
VORQ_PLAYER_GROUP_BODY(Wmp)
#undef VORQ_PLAYER_GROUP_BODY

uint32_t vorqOggStrmanAdd(void* stream, int32_t is_ogg) {
    auto d = std::make_unique<DecodedStream>();
    d->stream = std::make_unique<CallbackStream>(stream);
    d->decoder = open_decoder(*d->stream, is_ogg != 0);
    // The software mixer widens only these rates, sample for sample; a
    // sound at any other is handed to it at the device's rate.
    const uint32_t rate = d->decoder->Format().nSamplesPerSec;
    if (rate != 44100 && rate != 22050) d->decoder = ConvertToDeviceFormat(std::move(d->decoder));
    std::lock_guard l(media_lock);
    const uint32_t h = next_handle++;
    decoded[h] = std::move(d);
    return h;
}

void vorqOggStrmanDel(uint32_t h) {
    // Waits for its own place and page check to end, outside the table lock.
    take_entry(media_lock, decoded, h);
}

void vorqOggStrmanCancel(uint32_t h) {
    if (DecodedStream* d = decoded_stream(h)) d->decoder->Cancel();
}

int32_t vorqOggStrGetFormat(uint32_t h, void* format16) {
    DecodedStream* d = decoded_stream(h);
    if (!d || !format16) return 0;
    const TWaveFormatEx& f = d->decoder->Format();
    auto* b = static_cast<uint8_t*>(format16);
    std::memcpy(b + 0, &f.wFormatTag, 2);
    std::memcpy(b + 2, &f.nChannels, 2);
    std::memcpy(b + 4, &f.nSamplesPerSec, 4);
    std::memcpy(b + 8, &f.nAvgBytesPerSec, 4);
    std::memcpy(b + 12, &f.nBlockAlign, 2);
    std::memcpy(b + 14, &f.wBitsPerSample, 2);
    return 1;
}

int32_t vorqOggStrRead(uint32_t h, void* buffer, int32_t count) {
    DecodedStream* d = decoded_stream(h);
    if (!d || count <= 0 || d->placer.Busy()) return 0;
    std::lock_guard l(d->lock);
    if (const int64_t to = d->pending.exchange(-1); to >= 0) {
        d->ask(to);
        if (d->placer.Busy()) return 0;
    }
    if (d->past_end) return 0;
    const int64_t got = d->decoder->Read(static_cast<uint8_t*>(buffer), count);
    d->at = d->decoder->Position();
    if (got <= 0 && d->decoder->Waiting())
        d->placer.Start(d->lock, [d] { d->decoder->Settle(); }, [d] { d->past_end = true; });
    return static_cast<int32_t>(got);
}

int32_t vorqOggStrGetPos(uint32_t h) {
    DecodedStream* d = decoded_stream(h);
    return d ? static_cast<int32_t>(std::min<int64_t>(d->at.load(), INT32_MAX)) : 0;
}

int32_t vorqOggStrGetSize(uint32_t h) {
    DecodedStream* d = decoded_stream(h);
    if (!d) return 0;
    // The software mixer reads no paused sound: its length is learnt on
    // its own. The module's decoding thread reads every medium at once.
    d->decoder->LearnLength();
    // A length known only from damaged pages may grow or shrink once read
    // through: until then the stream is read to its end, not to a size.
    if (!d->decoder->LengthSettled()) return INT32_MAX;
    return static_cast<int32_t>(std::min<int64_t>(d->decoder->TotalBytes(), INT32_MAX));
}

int32_t vorqOggStrSetPos(uint32_t h, int32_t pos) {
    DecodedStream* d = decoded_stream(h);
    if (!d) return 0;
    if (d->placer.Busy()) {
        d->at = pos;
        d->pending = pos;
        return pos;
    }
    std::lock_guard l(d->lock);
    d->pending = -1;
    d->ask(pos);
    return static_cast<int32_t>(std::min<int64_t>(d->at.load(), INT32_MAX));
}

int32_t vorqOggStrIsBusy(uint32_t h) {
    DecodedStream* d = decoded_stream(h);
    return d && d->placer.Busy() ? -1 : 0;
}

int32_t vorqOggStrGetLen(uint32_t h) {
    DecodedStream* d = decoded_stream(h);
    if (!d) return 0;
    d->decoder->LearnLength();
    return ms_of_bytes(d->decoder->TotalBytes(), d->decoder->Format());
}
