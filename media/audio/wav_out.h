// The software mixer of the wave path: when the sound device is not handed
// to the companion module (the "DirectSound" setting off), Ogg and wave
// sounds are decoded to PCM and played here. Every source (TWavBuffer)
// reads PCM from its stream, is widened to 44100 Hz 16-bit stereo, scaled
// by its volume and added with saturation into output blocks of the
// "DelayTime" length. A refill thread keeps at most two blocks queued; the
// audio callback only copies queued blocks into the device's bus.
#pragma once
#include "media/base/sound_device.h"
#include "platform/system/audio.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TStream;
class TWavOut;

// Bytes of one output block of block_ms milliseconds: an even number of
// whole stereo frames, so that every source format's share of a block is a
// whole number of its own frames.
int32_t WavBlockBytes(int32_t block_ms);

// One source of the mixer.
class TWavBuffer {
public:
    TWavBuffer(TWavOut& owner, const TWaveFormatEx& format, TStream* stream);
    TWavBuffer(const TWavBuffer&) = delete;
    TWavBuffer& operator=(const TWavBuffer&) = delete;

    // Adds this source's share of a block of bytes output bytes into block
    // (16-bit stereo) with signed saturation. False when it contributed
    // nothing (ended, paused, closed device, empty stream, format the mixer
    // does not take, a stream being placed). The stream is read without the
    // mixer's lock held; one thread mixes a source at a time.
    bool MixInto(int16_t* block, int32_t bytes);

    void Play();
    void Pause();
    void SetPosition(int32_t bytes);
    int32_t GetPosition();
    void SetVolume(int32_t volume);  // 0..256; 255 and up leave samples as they are
    int32_t GetVolume();
    bool GetAutoRepeat();
    void SetAutoRepeat(bool on);
    bool IsPlaying();
    bool IsPaused();
    // The position the listener hears, in source bytes.
    int32_t GetPlayPosition();
    // True when the device is closed, when the format cannot be mixed, and
    // once an exhausted source's last block had time to be heard.
    bool IsEnd();

    const TWaveFormatEx& Format() const { return FFormat; }
    // Whether the mixer takes this format (the eight PCM layouts at 44100
    // or 22050 Hz, 8 or 16 bits, mono or stereo).
    static bool Supported(const TWaveFormatEx& format);

private:
    friend class TWavOut;
    struct Read {
        int32_t Pos = 0;    // the stream's place after it
        int32_t Bytes = 0;  // into FBuffer
        bool Ended = false;
    };
    Read read_source(int32_t from, bool repeat, int32_t count);
    bool busy() const;

    TWavOut& FOwner;
    TWaveFormatEx FFormat;
    TStream* FStream;
    std::vector<uint8_t> FBuffer;
    bool FEnded = false;
    uint32_t FLastMix = 0;
    bool FMixedOnce = false;
    int32_t FReadPos = 0;
    int32_t FVolume = 256;
    bool FPlaying = false;
    bool FPaused = false;
    bool FAutoRepeat = false;
    uint64_t FPlaced = 0;  // counts SetPosition: a read from an older place is dropped
    std::function<bool()> FBusy;  // the stream is being placed: passed over, silent
    std::mutex FReadLock;         // FBuffer and the stream, while a mix reads them
};

class TWavOut {
public:
    struct Options {
        AudioBackend Backend = AudioBackend::Auto;
        // Off in tests that drive Fill themselves.
        bool RefillThread = true;
        std::function<uint32_t()> Clock;  // ms; TimeGetTime when unset
    };
    explicit TWavOut(int32_t block_ms);
    TWavOut(int32_t block_ms, Options options);
    ~TWavOut();
    TWavOut(const TWavOut&) = delete;
    TWavOut& operator=(const TWavOut&) = delete;

    // Opens the output when closed: true when it is open afterwards.
    bool Open();
    // Stops the refill thread, frees every source still registered and
    // closes the output.
    void Close();
    bool IsOpen() const { return FDevice != nullptr; }

    // busy, when given, tells when the stream is being placed (a decoder
    // decoding forward elsewhere): the source is then passed over, silent.
    TWavBuffer* AddBuffer(const TWaveFormatEx& format, TStream* stream, std::function<bool()> busy = {});
    void RemoveBuffer(TWavBuffer* buffer);

    // One refill step: drops the blocks the device has played and mixes new
    // ones while fewer than two are queued and a source plays.
    void Fill();
    // Clears block (BlockBytes bytes) and mixes every playing source into
    // it; true when one contributed.
    bool MixBlock(int16_t* block);

    int32_t BlockTime() const { return FBlockTime; }
    int32_t BlockBytes() const { return FBlockBytes; }
    size_t QueuedBlocks();
    AudioDevice* Device() const { return FDevice.get(); }
    uint32_t Now() const;

private:
    friend class TWavBuffer;
    struct Block {
        std::vector<int16_t> Samples;
        size_t Played = 0;  // samples taken by the device
    };
    bool play_queued(int32_t* mix, size_t frames);
    void thread_main();

    int32_t FBlockTime;
    int32_t FBlockBytes;
    Options FOptions;
    std::unique_ptr<AudioDevice> FDevice;
    int32_t FBusHandle = 0;

    // Guards the sources and their fields, never held across a stream
    // read: the game's thread takes it every frame.
    std::recursive_mutex FLock;
    std::vector<std::unique_ptr<TWavBuffer>> FSources;
    std::vector<TWavBuffer*> FPlayList;
    TWavBuffer* FMixing = nullptr;  // the source being mixed outside the lock
    std::condition_variable_any FMixDone;

    // Guards the queue the audio callback reads, so the callback never
    // waits for a stream.
    std::mutex FQueueLock;
    std::deque<Block> FQueue;
    std::vector<Block> FPool;

    std::thread FThread;
    std::mutex FWakeLock;
    std::condition_variable FWake;
    bool FTerminate = false;
};
