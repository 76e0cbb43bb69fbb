// The sound items of the Ogg and Windows Media managers, and the bridge to
// the companion module: its start-up check, its start and stop with the
// media side, and the stream callbacks through which it reads our streams.
#pragma once
#include "media/base/media.h"
#include "media/base/sound_device.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TWavBuffer;
class TOggManager;
class TWmpManager;

// ---- the bridge

// Stream callbacks over a TStream (a nil stream answers 0 and touches nothing).
int32_t StreamGetSizeCallback(void* stream);
int32_t StreamReadCallback(void* stream, void* buffer, int32_t count);
int32_t StreamGetPositionCallback(void* stream);
// Seeks from the start and answers the position now current.
int32_t StreamSeekCallback(void* stream, int32_t position);

// How the module is reached: whether it is there and its version.
struct CompanionLoader {
    std::function<bool()> Load;
    std::function<int32_t()> Version;
};
// The module built into this player.
CompanionLoader BuiltInCompanion();
// Loads and checks the module: false after the message box (missing
// module, or a version other than 108), and the program must end.
bool LoadCompanionLibrary(const CompanionLoader& loader = BuiltInCompanion());
// Makes the module start with InitMedia and stop with FinalMedia.
void InstallCompanionModule();

// ---- items

// A medium is a plain file when its name starts with a delimiter or its
// second character is ':'; otherwise it is game data.
bool IsPlainPath(const std::string& name);
// A read stream over the whole medium.
std::unique_ptr<TStream> OpenMediumStream(const std::string& name);

// Ogg or wave played by the companion module into the sound device.
class TOggItem : public TDMediaItem {
public:
    TOggItem(TMediaManager* manager, const std::string& name);
    // Over a stream of its own (wave when is_ogg is false).
    TOggItem(TMediaManager* manager, std::unique_ptr<TStream> stream, bool is_ogg);
    ~TOggItem() override;
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool on) override;
    int32_t GetPan() override;
    int32_t GetVolume() override;
    void SetPan(int32_t pan) override;
    void SetVolume(int32_t volume) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t ms) override;
    int32_t GetLength() override;
    bool LengthSettled() override;
    bool CheckEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override;
    void Play() override;
    void Pause() override;

private:
    std::unique_ptr<TStream> FStream;
    uint32_t FHandle = 0;
    bool FEnded = false;
};

// Windows Media audio played by the companion module from a copy of the file.
class TWmpItem : public TDMediaItem {
public:
    TWmpItem(TMediaManager* manager, const std::string& name);
    ~TWmpItem() override;
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool on) override;
    int32_t GetPan() override;
    int32_t GetVolume() override;
    void SetPan(int32_t pan) override;
    void SetVolume(int32_t volume) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t ms) override;
    int32_t GetLength() override;
    bool CheckEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override;
    void Play() override;
    void Pause() override;

private:
    uint32_t FHandle = 0;
    bool FEnded = false;
};

// The decoded PCM of an Ogg or wave file as a read-only stream, for the
// software mixer.
class TOggStream : public TStream {
public:
    // Raises "サウンドデータが不正です" when the data is not a sound.
    TOggStream(TStream* source, bool is_ogg);
    ~TOggStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    // Clamped to 0 .. size; answers the position the decoder took.
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override;
    int32_t GetLength();
    bool LengthSettled();
    // Being placed (decoding forward, or waiting for the look at its pages
    // elsewhere): a read gives nothing now, and more later.
    bool Busy() const;
    // Asks the work under way to give up, without waiting for it; reads
    // give what the decoder still gives.
    void Cancel();
    const TWaveFormatEx& Format() const { return FFormat; }

private:
    uint32_t FHandle = 0;
    TWaveFormatEx FFormat;
};

// Ogg or wave decoded into the software mixer of the Ogg manager.
class TOggWaveItem : public TDMediaItem {
public:
    TOggWaveItem(TOggManager* manager, const std::string& name);
    TOggWaveItem(TOggManager* manager, std::unique_ptr<TStream> stream, bool is_ogg);
    ~TOggWaveItem() override;
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool on) override;
    int32_t GetVolume() override { return FVolume; }
    void SetVolume(int32_t volume) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t ms) override;
    int32_t GetLength() override;
    bool LengthSettled() override;
    bool CheckEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override { return FPaused; }
    void Play() override;
    void Pause() override;
    TWavBuffer* Source() const { return FSource; }

private:
    std::unique_ptr<TStream> FStream;
    std::unique_ptr<TOggStream> FDecoder;
    bool FPaused = false;
    TWavBuffer* FSource = nullptr;
    int32_t FVolume = 0;
};

// The mixer level of a volume on the wave path: -5000 and below silent, 0 full (256).
int32_t WaveLevelOf(int32_t volume);
