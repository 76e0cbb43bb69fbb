#include "media/audio/sound_items.h"

#include "files/big_stream.h"
#include "files/vr_file_manager.h"
#include "media/companion/companion.h"
#include "media/decode/pcm_decoder.h"
#include "media/audio/wav_out.h"
#include "media/base/media_managers.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

bool MediaUseDirectSound = true;
int32_t MediaDelayTime = 500;
TDXSound* MediaSoundComponent = nullptr;

// ---- the bridge

int32_t StreamGetSizeCallback(void* stream) {
    if (!stream) return 0;
    return static_cast<int32_t>(static_cast<TStream*>(stream)->GetSize());
}

int32_t StreamReadCallback(void* stream, void* buffer, int32_t count) {
    if (!stream || count <= 0) return 0;
    return static_cast<int32_t>(static_cast<TStream*>(stream)->Read(buffer, count));
}

int32_t StreamGetPositionCallback(void* stream) {
    if (!stream) return 0;
    return static_cast<int32_t>(static_cast<TStream*>(stream)->GetPosition());
}

int32_t StreamSeekCallback(void* stream, int32_t position) {
    if (!stream) return 0;
    return static_cast<int32_t>(static_cast<TStream*>(stream)->Seek(position, SeekOrigin::Beginning));
}

CompanionLoader BuiltInCompanion() { return {[] { return true; }, [] { return vorqVersion(); }}; }

bool LoadCompanionLibrary(const CompanionLoader& loader) {
    if (!loader.Load || !loader.Load()) {
        ShowMessageBox(Sjis("ファイルがありません") + "\r\n" + "vorq.dll", "Error", MessageBoxKind::OK,
                       MessageBoxIcon::Warning);
        return false;
    }
    if (!loader.Version || loader.Version() != kCompanionVersion) {
        ShowMessageBox(Sjis("vorq.dllのバージョンがあいません"), "Error", MessageBoxKind::OK, MessageBoxIcon::Warning);
        return false;
    }
    return true;
}

namespace {
Video* window_cells[2] = {nullptr, nullptr};
void save_fpu() {}
void restore_fpu() {}

void companion_start() {
    window_cells[0] = MediaMainWindow;
    window_cells[1] = MediaDrawingWindow;
    vorqInit(&window_cells[0], &window_cells[1], nullptr, &LibrarySoundCell, StreamGetSizeCallback,
             StreamReadCallback, StreamGetPositionCallback, StreamSeekCallback, save_fpu, restore_fpu, 0);
    vorqOggmanSetUseThread(-1);
}

void companion_stop() { vorqFinal(); }

// Before the first module item: the sound device, once.
void prepare_device() {
    if (MediaSoundComponent) PrepareLibrarySound(*MediaSoundComponent);
}
}  // namespace

void InstallCompanionModule() { SetMediaLibraryHooks(TMediaLibraryHooks{companion_start, companion_stop}); }

// ---- freeing media

namespace {
// What a freed Ogg leaves (its module medium, its decoder, its stream) is
// let go here, in order, on a thread of its own: freeing waits for the
// sound's work under way (a place, the look at its pages, a mix) to give
// up at its next page, and on a busy machine the thread doing it may wait
// long for a core. The game's thread has silenced the sound and cancelled
// its work already; it waits for none of it. Made once and never
// destroyed, like the module's threads.
class Releaser {
public:
    void Add(std::function<void()> release) {
        std::unique_lock l(FLock);
        if (!FThread) {
            try {
                std::thread([this] { run(); }).detach();
                FThread = true;
            } catch (const std::system_error&) {
                // No thread to be had: let go here, as before.
                l.unlock();
                release();
                return;
            }
        }
        FQueue.push_back(std::move(release));
        FWake.notify_all();
    }
    // Returns once everything added before has been let go.
    void Drain() {
        std::unique_lock l(FLock);
        FIdle.wait(l, [&] { return FQueue.empty() && !FBusy; });
    }

private:
    void run() {
        std::unique_lock l(FLock);
        for (;;) {
            FWake.wait(l, [&] { return !FQueue.empty(); });
            std::function<void()> release = std::move(FQueue.front());
            FQueue.pop_front();
            FBusy = true;
            l.unlock();
            release();
            release = nullptr;
            l.lock();
            FBusy = false;
            FIdle.notify_all();
        }
    }

    std::mutex FLock;
    std::condition_variable FWake, FIdle;
    std::deque<std::function<void()>> FQueue;
    bool FThread = false, FBusy = false;
};

Releaser& releaser() {
    static Releaser* r = new Releaser;
    return *r;
}
}  // namespace

// ---- opening media

bool IsPlainPath(const std::string& name) {
    if (name.empty()) return false;
    return name[0] == '\\' || name[0] == '/' || (name.size() > 1 && name[1] == ':');
}

std::unique_ptr<TStream> OpenMediumStream(const std::string& name) {
    if (IsPlainPath(name)) return std::make_unique<TFileRangeStream>(name, 0, 0);
    if (!FileManager) throw EFOpenError(name);
    return FileManager->OpenRangeStream(name);
}

// ---- TOggItem

TOggItem::TOggItem(TMediaManager* manager, const std::string& name)
    : TOggItem(manager, OpenMediumStream(name), LowerFileExt(name) == ".ogg") {}

TOggItem::TOggItem(TMediaManager* manager, std::unique_ptr<TStream> stream, bool is_ogg)
    : TDMediaItem(manager), FStream(std::move(stream)) {
    prepare_device();
    FHandle = vorqOggmanAdd(FStream.get(), is_ogg ? -1 : 0);
}

TOggItem::~TOggItem() {
    vorqOggmanCancel(FHandle);
    // The module stops reading the stream before it is freed.
    releaser().Add([h = FHandle, stream = std::shared_ptr<TStream>(std::move(FStream))]() mutable {
        vorqOggmanDel(h);
        stream.reset();
    });
}

bool TOggItem::GetAutoRepeat() { return vorqOggGetAutoRepeat(FHandle) != 0; }
void TOggItem::SetAutoRepeat(bool on) { vorqOggSetAutoRepeat(FHandle, on ? -1 : 0); }
int32_t TOggItem::GetPan() { return vorqOggGetPan(FHandle); }
int32_t TOggItem::GetVolume() { return vorqOggGetVol(FHandle); }
void TOggItem::SetPan(int32_t pan) { vorqOggSetPan(FHandle, pan); }
void TOggItem::SetVolume(int32_t volume) { vorqOggSetVol(FHandle, volume); }
int32_t TOggItem::GetPosition() { return vorqOggGetPosition(FHandle); }
void TOggItem::SetPosition(int32_t ms) { vorqOggSetPosition(FHandle, std::max(ms, 0)); }
int32_t TOggItem::GetLength() { return vorqOggGetLen(FHandle); }
bool TOggItem::LengthSettled() { return vorqOggIsLenSettled(FHandle) != 0; }
bool TOggItem::CheckEnd() {
    if (FEnded) return false;
    FEnded = vorqOggIsEnd(FHandle) != 0;
    return FEnded;
}
bool TOggItem::IsPlaying() { return vorqOggIsPlaying(FHandle) != 0 && !IsPaused(); }
bool TOggItem::IsPaused() { return vorqOggIsPaused(FHandle) != 0; }
void TOggItem::Play() {
    if (Manager() && !Manager()->Active()) {
        ResumeFlag = true;
        return;
    }
    vorqOggPlay(FHandle);
}
void TOggItem::Pause() { vorqOggPause(FHandle); }

// ---- TWmpItem

TWmpItem::TWmpItem(TMediaManager* manager, const std::string& name) : TDMediaItem(manager) {
    prepare_device();
    TMemoryStream data;
    if (IsPlainPath(name)) {
        TFileRangeStream f(name, 0, 0);
        data.CopyFrom(f, 0);
    } else {
        if (!FileManager) throw EFOpenError(name);
        FileManager->LoadToStream(data, name);
    }
    FHandle = vorqWmpmanAdd(data.Memory(), static_cast<int32_t>(data.GetSize()));
}

TWmpItem::~TWmpItem() { vorqWmpmanDel(FHandle); }

bool TWmpItem::GetAutoRepeat() { return vorqWmpGetAutoRepeat(FHandle) != 0; }
void TWmpItem::SetAutoRepeat(bool on) { vorqWmpSetAutoRepeat(FHandle, on ? -1 : 0); }
int32_t TWmpItem::GetPan() { return vorqWmpGetPan(FHandle); }
int32_t TWmpItem::GetVolume() { return vorqWmpGetVol(FHandle); }
void TWmpItem::SetPan(int32_t pan) { vorqWmpSetPan(FHandle, pan); }
void TWmpItem::SetVolume(int32_t volume) { vorqWmpSetVol(FHandle, volume); }
int32_t TWmpItem::GetPosition() { return vorqWmpGetPosition(FHandle); }
void TWmpItem::SetPosition(int32_t ms) {
    FEnded = false;
    vorqWmpSetPosition(FHandle, std::max(ms, 0));
}
int32_t TWmpItem::GetLength() { return vorqWmpGetLen(FHandle); }
bool TWmpItem::CheckEnd() {
    if (FEnded) return false;
    FEnded = vorqWmpIsEnd(FHandle) != 0;
    return FEnded;
}
bool TWmpItem::IsPlaying() { return vorqWmpIsPlaying(FHandle) != 0; }
bool TWmpItem::IsPaused() { return vorqWmpIsPaused(FHandle) != 0; }
void TWmpItem::Play() {
    if (Manager() && !Manager()->Active()) {
        ResumeFlag = true;
        return;
    }
    vorqWmpPlay(FHandle);
}
void TWmpItem::Pause() { vorqWmpPause(FHandle); }

// ---- TOggStream

TOggStream::TOggStream(TStream* source, bool is_ogg) {
    FHandle = vorqOggStrmanAdd(source, is_ogg ? -1 : 0);
    uint8_t rec[16];
    if (!vorqOggStrGetFormat(FHandle, rec)) {
        vorqOggStrmanDel(FHandle);
        throw ECorruptData(Sjis(kSoundDataCorrupt));
    }
    auto u16 = [&rec](int at) { return static_cast<uint16_t>(rec[at] | rec[at + 1] << 8); };
    auto u32 = [&rec](int at) { return uint32_t{rec[at]} | uint32_t{rec[at + 1]} << 8 | uint32_t{rec[at + 2]} << 16 | uint32_t{rec[at + 3]} << 24; };
    FFormat.wFormatTag = u16(0);
    FFormat.nChannels = u16(2);
    FFormat.nSamplesPerSec = u32(4);
    FFormat.nAvgBytesPerSec = u32(8);
    FFormat.nBlockAlign = u16(12);
    FFormat.wBitsPerSample = u16(14);
    FFormat.cbSize = 0;
}

TOggStream::~TOggStream() { vorqOggStrmanDel(FHandle); }

void TOggStream::Cancel() { vorqOggStrmanCancel(FHandle); }

int64_t TOggStream::Read(void* buffer, int64_t count) {
    if (count < 1) return 0;
    return vorqOggStrRead(FHandle, buffer, static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX)));
}

int64_t TOggStream::Seek(int64_t offset, SeekOrigin origin) {
    const int64_t size = GetSize();
    int64_t pos = offset;
    if (origin == SeekOrigin::Current) pos += vorqOggStrGetPos(FHandle);
    else if (origin == SeekOrigin::End) pos += size;
    pos = std::clamp<int64_t>(pos, 0, size);
    if (origin == SeekOrigin::Current && offset == 0) return pos;
    return vorqOggStrSetPos(FHandle, static_cast<int32_t>(pos));
}

int64_t TOggStream::GetSize() { return vorqOggStrGetSize(FHandle); }
bool TOggStream::Busy() const { return vorqOggStrIsBusy(FHandle) != 0; }
int32_t TOggStream::GetLength() { return vorqOggStrGetLen(FHandle); }
bool TOggStream::LengthSettled() { return vorqOggStrGetSize(FHandle) != INT32_MAX; }

// ---- TOggWaveItem

int32_t WaveLevelOf(int32_t volume) {
    // In 64 bits: a volume far out of range must not wrap into loudness.
    const int64_t v = std::min<int64_t>(std::max<int64_t>(volume, -5000), 0);
    return static_cast<int32_t>((v + 5000) * 256 / 5000);
}

TOggWaveItem::TOggWaveItem(TOggManager* manager, const std::string& name)
    : TOggWaveItem(manager, OpenMediumStream(name), LowerFileExt(name) == ".ogg") {}

TOggWaveItem::TOggWaveItem(TOggManager* manager, std::unique_ptr<TStream> stream, bool is_ogg)
    : TDMediaItem(manager), FStream(std::move(stream)) {
    FDecoder = std::make_unique<TOggStream>(FStream.get(), is_ogg);
    FSource = manager->WavOut().AddBuffer(FDecoder->Format(), FDecoder.get(),
                                          [d = FDecoder.get()] { return d->Busy(); });
}

TOggWaveItem::~TOggWaveItem() {
    FDecoder->Cancel();
    // Out of the mix at once; a mix of it under way ends before the
    // decoder and then the stream it reads are freed. The manager lets
    // everything go before its mixer.
    TWavOut* out = nullptr;
    if (FSource) {
        FSource->Pause();
        out = &static_cast<TOggManager*>(Manager())->WavOut();
    }
    releaser().Add([out, source = FSource, decoder = std::shared_ptr<TOggStream>(std::move(FDecoder)),
                    stream = std::shared_ptr<TStream>(std::move(FStream))]() mutable {
        if (out) out->RemoveBuffer(source);
        decoder.reset();
        stream.reset();
    });
}

bool TOggWaveItem::GetAutoRepeat() { return FSource && FSource->GetAutoRepeat(); }
void TOggWaveItem::SetAutoRepeat(bool on) {
    if (FSource) FSource->SetAutoRepeat(on);
}
void TOggWaveItem::SetVolume(int32_t volume) {
    FVolume = volume;
    if (FSource) FSource->SetVolume(WaveLevelOf(volume));
}

namespace {
int64_t bytes_per_second(const TWaveFormatEx& f) {
    return int64_t{f.wBitsPerSample} * f.nChannels * f.nSamplesPerSec / 8;
}
}  // namespace

int32_t TOggWaveItem::GetPosition() {
    if (!FSource) return 0;
    const int64_t rate = bytes_per_second(FDecoder->Format());
    if (rate == 0) return 0;
    return static_cast<int32_t>(std::nearbyint(double(FSource->GetPlayPosition()) * 1000.0 / double(rate)));
}

void TOggWaveItem::SetPosition(int32_t ms) {
    if (!FSource) return;
    const int64_t rate = bytes_per_second(FDecoder->Format());
    int64_t bytes = static_cast<int64_t>(std::nearbyint(double(ms) * double(rate) / 1000.0));
    // A position inside a frame would swap the channels from there on.
    const int32_t align = std::max<int32_t>(FDecoder->Format().nBlockAlign, 1);
    bytes -= bytes % align;
    FSource->SetPosition(static_cast<int32_t>(std::clamp<int64_t>(bytes, 0, INT32_MAX)));
}

int32_t TOggWaveItem::GetLength() { return FDecoder->GetLength(); }
bool TOggWaveItem::LengthSettled() { return FDecoder->LengthSettled(); }

bool TOggWaveItem::CheckEnd() {
    if (!FSource) return true;
    if (!FSource->IsEnd()) return false;
    if (FSource->GetAutoRepeat() && TWavBuffer::Supported(FSource->Format())) {
        FSource->Play();
        return false;
    }
    return true;
}

bool TOggWaveItem::IsPlaying() { return FSource && FSource->IsPlaying() && !FSource->IsPaused() && !FSource->IsEnd(); }

void TOggWaveItem::Play() {
    if (FSource) FSource->Play();
    FPaused = false;
}

void TOggWaveItem::Pause() {
    if (FSource) FSource->Pause();
    FPaused = true;
}

// ---- managers

TDMediaItem* TWmpManager::Add(const std::string& name) { return Adopt(std::make_unique<TWmpItem>(this, name)); }
void TWmpManager::Restore() { vorqWmpmanRestore(); }

TOggManager::TOggManager() : FWavOut(std::make_unique<TWavOut>(MediaDelayTime)) {}

TOggManager::~TOggManager() {
    FItems.clear();
    releaser().Drain();
}

TDMediaItem* TOggManager::Add(const std::string& name) {
    if (MediaUseDirectSound) return Adopt(std::make_unique<TOggItem>(this, name));
    FWavOut->Open();
    return Adopt(std::make_unique<TOggWaveItem>(this, name));
}

void TOggManager::Restore() { vorqOggmanRestore(); }
