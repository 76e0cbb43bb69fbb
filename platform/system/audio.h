// Sound output: one device at 44100 Hz, 16-bit, stereo, fed by a mixing
// bus. Sound sources register a callback that adds their samples into the
// bus's 32-bit mix buffer; the bus scales by its volume and clips to 16 bits.
// The SDL2 backend plays through SDL's audio device (the "dummy" driver in
// tests); the manual backend opens nothing and the caller pulls mixed
// samples with MixingBus::Mix.
#pragma once
#include <cstddef>
#include <cstdint>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int32_t AudioFrequency = 44100;
constexpr int32_t AudioChannels = 2;
constexpr int32_t AudioBitsPerSample = 16;

class MixingBus {
public:
    // Adds frames * 2 interleaved samples (left, right) into mix, each in the
    // 16-bit range; the buffer already holds what other sources added.
    // Returns false when the source has ended: the bus then drops it. It runs
    // on the audio thread and must not call back into the bus.
    using Source = std::function<bool(int32_t* mix, size_t frames)>;

    // Returns a handle above 0.
    int32_t AddSource(Source source);
    // After this returns the source's callback is not running and never runs
    // again. Unknown handles are ignored.
    void RemoveSource(int32_t handle);
    size_t SourceCount();

    // Linear gain 0..1 applied to the sum; values outside are clamped.
    void SetVolume(double volume);
    double Volume() const;
    // While paused the output is silence and sources are not asked for data,
    // so they resume where they stopped.
    void SetPaused(bool paused);
    bool Paused() const;

    // Produces frames stereo frames of 16-bit output.
    void Mix(int16_t* out, size_t frames);

    // For the device's own thread, before it mixes: once the bus has had
    // nothing to play (no source, or paused) for half a second, the thread
    // sleeps here until a source arrives, the bus resumes or Wake is called,
    // so a game waiting in silence costs no wake-ups. Short gaps between
    // sounds stay in the stream. Returns at the latest after limit.
    void WaitForWork(std::chrono::milliseconds limit);
    // Ends any sleep in WaitForWork, and every later one: the device is
    // about to close.
    void Wake();

private:
    bool idle() const { return paused_ || sources_.empty(); }

    mutable std::mutex mutex_;
    std::condition_variable work_;
    size_t idle_frames_ = 0;
    bool awake_ = false;
    std::vector<std::pair<int32_t, Source>> sources_;
    std::vector<int32_t> accum_;
    int32_t volume_q16_ = 65536;
    bool paused_ = false;
    int32_t next_handle_ = 1;
};

enum class AudioBackend { Auto, Sdl, Manual };

class AudioDevice {
public:
    // Auto and Sdl open SDL's default output device (raising Exception when
    // that fails, for the caller to carry on without sound); Manual opens
    // none. The device starts playing at once.
    static std::unique_ptr<AudioDevice> Open(AudioBackend backend = AudioBackend::Auto);
    ~AudioDevice();

    MixingBus& Bus() { return bus_; }
    // The format the device plays; SDL converts when the hardware differs.
    int32_t Frequency() const { return AudioFrequency; }
    int32_t Channels() const { return AudioChannels; }
    int32_t BitsPerSample() const { return AudioBitsPerSample; }
    bool IsManual() const { return device_ == 0; }
    // The name of SDL's audio driver, empty for the manual backend.
    std::string DriverName() const;

private:
    AudioDevice() = default;
    static void callback(void* self, uint8_t* stream, int len);

    MixingBus bus_;
    uint32_t device_ = 0;
};
