// The companion media module: an in-process module with the call surface
// the media items use. It decodes Ogg Vorbis (libvorbisfile), wave files
// (our RIFF reader) and Windows Media audio (FFmpeg) on a thread of its
// own into ring buffers, and plays them into the sound device handed to it
// through its cell; the device's audio callback only mixes. It reads the
// player's streams only through the four stream callbacks it was given.
// Handles are never 0; an unknown handle is ignored (getters give 0).
// Volume is attenuation in 1/100 dB (0 .. -10000), pan -10000 .. 10000
// attenuating the opposite channel by |pan|/100 dB; positions and lengths
// in ms. Booleans passed in are 0 / -1, those returned non-zero for true.
#pragma once
#include "media/base/sound_device.h"

#include <cstdint>
#include <memory>

class Video;

constexpr int32_t kCompanionVersion = 108;

using StreamGetSizeFn = int32_t (*)(void* stream);
using StreamReadFn = int32_t (*)(void* stream, void* buffer, int32_t count);
using StreamGetPositionFn = int32_t (*)(void* stream);
using StreamSeekFn = int32_t (*)(void* stream, int32_t position);
using FpuControlFn = void (*)();

int32_t vorqVersion();
// The cells are read whenever the module needs what they hold, so the
// player may fill or replace them later. use_own_window: false here.
void vorqInit(Video** main_window_cell, Video** drawing_window_cell, void* module, AudioDevice** sound_cell,
              StreamGetSizeFn size, StreamReadFn read, StreamGetPositionFn position, StreamSeekFn seek,
              FpuControlFn save_fpu, FpuControlFn restore_fpu, int32_t use_own_window);
// Frees every medium still added and stops the decoding thread.
void vorqFinal();

// Ogg (and wave when is_ogg is 0) played by the module. GetLen is the
// length as far as it is known, never waiting; IsLenSettled is non-zero
// once it can no longer change.
uint32_t vorqOggmanAdd(void* stream, int32_t is_ogg);
// Frees the medium: waits for its work under way (a place, the look at an
// Ogg's pages), which gives up at its next page, so that its stream is
// read no more once it returns.
void vorqOggmanDel(uint32_t h);
// Silences the medium at once and asks its work to give up, without
// waiting for it: the handle then names nothing but vorqOggmanDel's
// medium, and its stream may still be read until that returns.
void vorqOggmanCancel(uint32_t h);
// On: the module's own thread decodes; off: vorqOggmanUpdate does it.
void vorqOggmanSetUseThread(int32_t on);
void vorqOggmanUpdate();
// The sound device came back: playing media are connected to it again.
void vorqOggmanRestore();

// Windows Media audio, from a copy of the file's bytes.
uint32_t vorqWmpmanAdd(const void* data, int32_t size);
void vorqWmpmanDel(uint32_t h);
void vorqWmpmanRestore();

#define VORQ_PLAYER_GROUP(G)                       \
    void vorq##G##Play(uint32_t h);                \
    void vorq##G##Pause(uint32_t h);               \
    int32_t vorq##G##IsPlaying(uint32_t h);        \
    int32_t vorq##G##IsPaused(uint32_t h);         \
    int32_t vorq##G##IsEnd(uint32_t h);            \
    int32_t vorq##G##GetLen(uint32_t h);           \
    int32_t vorq##G##IsLenSettled(uint32_t h);     \
    int32_t vorq##G##GetPosition(uint32_t h);      \
    void vorq##G##SetPosition(uint32_t h, int32_t ms); \
    int32_t vorq##G##GetVol(uint32_t h);           \
    void vorq##G##SetVol(uint32_t h, int32_t v);   \
    int32_t vorq##G##GetPan(uint32_t h);           \
    void vorq##G##SetPan(uint32_t h, int32_t v);   \
    int32_t vorq##G##GetAutoRepeat(uint32_t h);    \
    void vorq##G##SetAutoRepeat(uint32_t h, int32_t on);
VORQ_PLAYER_GROUP(Ogg)
VORQ_PLAYER_GROUP(Wmp)
#undef VORQ_PLAYER_GROUP

// Ogg (or wave) decoded for the player's own mixer.
uint32_t vorqOggStrmanAdd(void* stream, int32_t is_ogg);
// As vorqOggmanDel and vorqOggmanCancel; a cancelled stream's reads give
// what its decoder still gives.
void vorqOggStrmanDel(uint32_t h);
void vorqOggStrmanCancel(uint32_t h);
// The 16-byte PCM record: tag, channels, rate, bytes per second, block
// align, bits. Non-zero on success.
int32_t vorqOggStrGetFormat(uint32_t h, void* format16);
int32_t vorqOggStrRead(uint32_t h, void* buffer, int32_t count);
int32_t vorqOggStrGetPos(uint32_t h);
int32_t vorqOggStrGetSize(uint32_t h);
// Returns at once: a place that needs decoding forward, or the look at a
// large file's pages, is taken by a thread of the stream's own, and till
// then the stream is busy. A place past the end is the end.
int32_t vorqOggStrSetPos(uint32_t h, int32_t pos);
// Being placed: reads give nothing now, and more later.
int32_t vorqOggStrIsBusy(uint32_t h);
// The length as far as it is known, never waiting; the size is INT32_MAX
// while that length may still change.
int32_t vorqOggStrGetLen(uint32_t h);

// The module's video group (media/companion/video_companion.h) reads the
// player's streams through the same callbacks and plays into the same device.
class TStream;
std::unique_ptr<TStream> CompanionStream(void* stream);
// The device in the module's cell, or null.
AudioDevice* CompanionSoundDevice();

// Linear gains in 1/65536 for a volume and pan (exposed for tests).
struct ChannelGains {
    int32_t Left;
    int32_t Right;
};
ChannelGains GainsOf(int32_t volume, int32_t pan);
