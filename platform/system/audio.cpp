#include "platform/system/audio.h"
#include "platform/exception.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

int32_t MixingBus::AddSource(Source source) {
    std::lock_guard lock(mutex_);
    int32_t handle = next_handle_++;
    sources_.emplace_back(handle, std::move(source));
    work_.notify_all();
    return handle;
}

void MixingBus::RemoveSource(int32_t handle) {
    std::lock_guard lock(mutex_);
    std::erase_if(sources_, [handle](const auto& s) { return s.first == handle; });
}

size_t MixingBus::SourceCount() {
    std::lock_guard lock(mutex_);
    return sources_.size();
}

void MixingBus::SetVolume(double volume) {
    std::lock_guard lock(mutex_);
    volume_q16_ = static_cast<int32_t>(std::clamp(volume, 0.0, 1.0) * 65536.0 + 0.5);
}

double MixingBus::Volume() const {
    std::lock_guard lock(mutex_);
    return volume_q16_ / 65536.0;
}

void MixingBus::SetPaused(bool paused) {
    std::lock_guard lock(mutex_);
    paused_ = paused;
    if (!paused) work_.notify_all();
}

bool MixingBus::Paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

void MixingBus::Mix(int16_t* out, size_t frames) {
    const size_t samples = frames * AudioChannels;
    std::lock_guard lock(mutex_);
    if (idle()) {
        idle_frames_ += frames;
        std::memset(out, 0, samples * sizeof(int16_t));
        return;
    }
    idle_frames_ = 0;
    if (accum_.size() < samples) accum_.resize(samples);
    int32_t* mix = accum_.data();
    std::memset(mix, 0, samples * sizeof(int32_t));
    std::erase_if(sources_, [mix, frames](auto& s) { return !s.second(mix, frames); });
    const int64_t vol = volume_q16_;
    for (size_t i = 0; i < samples; ++i) {
        int64_t v = (mix[i] * vol) >> 16;
        out[i] = static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
    }
}

void MixingBus::WaitForWork(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (idle_frames_ < AudioFrequency / 2) return;
    work_.wait_for(lock, limit, [this] { return awake_ || !idle(); });
}

void MixingBus::Wake() {
    std::lock_guard lock(mutex_);
    awake_ = true;
    work_.notify_all();
}

std::unique_ptr<AudioDevice> AudioDevice::Open(AudioBackend backend) {
    std::unique_ptr<AudioDevice> dev(new AudioDevice);
    if (backend == AudioBackend::Manual) return dev;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) throw Exception(std::string("SDL audio: ") + SDL_GetError());
    SDL_AudioSpec want{};
    want.freq = AudioFrequency;
    want.format = AUDIO_S16SYS;
    want.channels = AudioChannels;
    want.samples = 1024;
    want.callback = &AudioDevice::callback;
    want.userdata = dev.get();
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware takes.
    dev->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (dev->device_ == 0) {
        std::string message = std::string("SDL audio device: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        throw Exception(message);
    }
    SDL_PauseAudioDevice(dev->device_, 0);
    return dev;
}

AudioDevice::~AudioDevice() {
    if (device_ == 0) return;
    // SDL takes its mixer lock to close, which the sleeping callback holds.
    bus_.Wake();
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::string AudioDevice::DriverName() const {
    if (device_ == 0) return {};
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? name : "";
}

void AudioDevice::callback(void* self, uint8_t* stream, int len) {
    auto* dev = static_cast<AudioDevice*>(self);
    // A bounded sleep: should anything else take SDL's lock on the device,
    // it waits at most this long.
    dev->bus_.WaitForWork(std::chrono::seconds(1));
    dev->bus_.Mix(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len) / (AudioChannels * sizeof(int16_t)));
}
