#include "media/cd/cdp.h"

#include "platform/system/audio.h"

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {
constexpr int32_t kFramesPerSecond = 75;      // CD sectors per second
constexpr size_t kSamplesPerSector = 588 * 2;  // 16-bit stereo
// About two seconds read ahead of the sound device.
constexpr size_t kQueueLimit = kSamplesPerSector * 150;

MixingBus* (*cd_bus)() = nullptr;
std::atomic<int32_t> gain_left{65536}, gain_right{65536};

driver_id_t driver_for(const std::string& path) {
    auto ends = [&](const char* ext) {
        const size_t n = std::char_traits<char>::length(ext);
        if (path.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
        return true;
    };
    if (ends(".cue")) return DRIVER_BINCUE;
    if (ends(".toc")) return DRIVER_CDRDAO;
    if (ends(".nrg")) return DRIVER_NRG;
    return DRIVER_DEVICE;
}
}  // namespace

struct TCDP::Disc {
    CdIo_t* cdio = nullptr;
    ~Disc() {
        if (cdio) cdio_destroy(cdio);
    }
};

std::vector<std::string> TCDP::SystemDrives() {
    std::vector<std::string> drives;
    char** list = cdio_get_devices(DRIVER_DEVICE);
    for (char** d = list; d && *d; ++d) drives.push_back(*d);
    if (list) cdio_free_device_list(list);
    return drives;
}

void TCDP::SetBus(MixingBus* (*bus)()) { cd_bus = bus; }

void TCDP::SetLineGain(double left, double right) {
    gain_left = static_cast<int32_t>(std::lround(std::clamp(left, 0.0, 1.0) * 65536));
    gain_right = static_cast<int32_t>(std::lround(std::clamp(right, 0.0, 1.0) * 65536));
}

TCDP::TCDP(std::vector<std::string> drives, bool poll_thread) : FDrives(std::move(drives)) {
    if (poll_thread)
        FPoller = std::thread([this] {
            std::unique_lock lk(FWakeMutex);
            while (!FTerminated) {
                // With no drive open there is nothing to watch: the thread
                // sleeps until Open wakes it.
                if (!FDriveOpen) {
                    FWake.wait(lk);
                    continue;
                }
                FWake.wait_for(lk, std::chrono::milliseconds(200));
                if (FTerminated) break;
                lk.unlock();
                // Nothing may leave the polling thread: a step that raised
                // stops the play, as a disc that could not be read.
                try {
                    Poll();
                } catch (...) {
                    try {
                        Stop();
                    } catch (...) {
                    }
                }
                lk.lock();
            }
        });
}

TCDP::~TCDP() {
    {
        std::lock_guard g(FWakeMutex);
        FTerminated = true;
    }
    FWake.notify_all();
    if (FPoller.joinable()) FPoller.join();
    Close();
}

bool TCDP::Open(int32_t drive) {
    std::lock_guard g(FLock);
    if (drive < 0 || drive >= static_cast<int32_t>(FDrives.size())) return false;
    Close();
    const std::string& path = FDrives[static_cast<size_t>(drive)];
    CdIo_t* cdio = cdio_open(path.c_str(), driver_for(path));
    if (!cdio) return false;
    FDisc = new Disc{cdio};
    {
        std::lock_guard w(FWakeMutex);
        FDriveOpen = true;
    }
    FWake.notify_all();
    return true;
}

void TCDP::Close() {
    std::lock_guard g(FLock);
    stop_locked();
    delete FDisc;
    FDisc = nullptr;
    FDriveOpen = false;
    FPresent = false;
}

bool TCDP::IsOpen() const { return FDisc != nullptr; }

int32_t TCDP::GetState() {
    std::lock_guard g(FLock);
    if (!FDisc) return CDNotReady;
    return FPlaying && !FFinished ? CDPlaying : CDStopped;
}

bool TCDP::IsReady() { return GetTrackCount() > 0; }

int32_t TCDP::GetTrackCount() {
    std::lock_guard g(FLock);
    if (!FDisc) return 0;
    const track_t n = cdio_get_num_tracks(FDisc->cdio);
    const track_t first = cdio_get_first_track_num(FDisc->cdio);
    if (n == CDIO_INVALID_TRACK || first == CDIO_INVALID_TRACK) return 0;
    return first + n - 1;
}

int32_t TCDP::track_first(int32_t track) {
    if (!FDisc || track < 1 || track > GetTrackCount()) return -1;
    const lsn_t lsn = cdio_get_track_lsn(FDisc->cdio, static_cast<track_t>(track));
    return lsn == CDIO_INVALID_LSN ? -1 : lsn;
}

int32_t TCDP::track_sectors(int32_t track) {
    if (track_first(track) < 0) return 0;
    return static_cast<int32_t>(cdio_get_track_sec_count(FDisc->cdio, static_cast<track_t>(track)));
}

int32_t TCDP::GetTrackLength(int32_t track) {
    std::lock_guard g(FLock);
    return track_sectors(track) / kFramesPerSecond;
}

uint32_t TCDP::GetPosition() {
    std::lock_guard g(FLock);
    if (!FDisc) return 0;
    const int32_t first = track_first(FTrack);
    if (first < 0) return 0;
    const int64_t sector = FPlayFirst + FFramesPlayed / 588 - first;
    const int64_t s = std::max<int64_t>(0, sector);
    return MakeTMSF(static_cast<uint32_t>(FTrack), static_cast<uint32_t>(s / kFramesPerSecond / 60),
                    static_cast<uint32_t>(s / kFramesPerSecond % 60), static_cast<uint32_t>(s % kFramesPerSecond));
}

int32_t TCDP::GetPositionSeconds() {
    const uint32_t p = GetPosition();
    return static_cast<int32_t>((p >> 8 & 0xFF) * 60 + (p >> 16 & 0xFF));
}

void TCDP::PlayFrom(uint32_t tmsf) {
    std::lock_guard g(FLock);
    if (!FDisc) return;
    if (tmsf == 0) tmsf = GetPosition();
    FTrack = static_cast<int32_t>(tmsf & 0xFF);
    const int32_t first = track_first(FTrack);
    if (first < 0) return;
    const int32_t sectors = track_sectors(FTrack);
    const int32_t from = first + static_cast<int32_t>(((tmsf >> 8 & 0xFF) * 60 + (tmsf >> 16 & 0xFF)) * kFramesPerSecond +
                                                      (tmsf >> 24 & 0xFF));
    // Play ends at the start of the track's last whole second; a track of
    // under two seconds plays whole rather than to a time before its start.
    const int32_t seconds = sectors / kFramesPerSecond;
    const int32_t end = seconds >= 2 ? first + (seconds - 1) * kFramesPerSecond : first + sectors;
    play_range(std::min(from, end), end);
}

void TCDP::SetPlayList(std::vector<std::string> list) {
    std::lock_guard g(FLock);
    PlayList = std::move(list);
    PlayIndex = 0;
}

void TCDP::PlayTrackAt(int32_t track, int32_t seconds) {
    if (!IsOpen() || track < 1 || track > 255) return;
    seconds = std::max(0, seconds);
    PlayFrom(MakeTMSF(static_cast<uint32_t>(track), static_cast<uint32_t>(std::min(seconds / 60, 255)),
                      static_cast<uint32_t>(seconds % 60), 0));
}

void TCDP::PlayListEntry(int32_t index) {
    std::lock_guard g(FLock);
    if (index < 0 || index >= static_cast<int32_t>(PlayList.size())) return;
    PlayIndex = index;
    const int32_t track = std::atoi(PlayList[static_cast<size_t>(index)].c_str());
    if (track < 1 || track > 255) return;
    PlayFrom(MakeTMSF(static_cast<uint32_t>(track), 0, 0, 0));
}

void TCDP::SeekTo(uint32_t tmsf) {
    std::lock_guard g(FLock);
    if (!FDisc) return;
    stop_locked();
    FTrack = static_cast<int32_t>(tmsf & 0xFF);
    const int32_t first = track_first(FTrack);
    FPlayFirst = first < 0 ? 0 : first;
    FFramesPlayed = 0;
}

void TCDP::RewindPlayList() {
    std::lock_guard g(FLock);
    PlayIndex = 0;
    if (!PlayList.empty()) SeekTo(MakeTMSF(static_cast<uint32_t>(std::atoi(PlayList[0].c_str())), 0, 0, 0));
}

void TCDP::Stop() {
    std::lock_guard g(FLock);
    stop_locked();
}

void TCDP::stop_locked() {
    if (FSource && FBus) FBus->RemoveSource(FSource);
    FSource = 0;
    FStopReader = true;
    FPlayCond.notify_all();
    if (FReader.joinable()) FReader.join();
    FPlaying = false;
    std::lock_guard q(FPlayMutex);
    FQueue.clear();
}

void TCDP::play_range(int32_t first_lsn, int32_t end_lsn) {
    stop_locked();
    FPlayFirst = first_lsn;
    FFramesPlayed = 0;
    FStopReader = false;
    FReaderDone = false;
    FFinished = false;
    FPlaying = true;
    CdIo_t* cdio = FDisc->cdio;
    FReader = std::thread([this, cdio, first_lsn, end_lsn] {
        // Paranoia reads through the drive's jitter and scratches; an image
        // (or a drive it cannot drive) is read sector by sector as is.
        cdrom_drive_t* drive = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        cdrom_paranoia_t* paranoia = nullptr;
        if (drive && cdio_cddap_open(drive) == 0) {
            paranoia = cdio_paranoia_init(drive);
            if (paranoia) {
                cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
                cdio_paranoia_seek(paranoia, first_lsn, SEEK_SET);
            }
        }
        int16_t sector[kSamplesPerSector];
        for (int32_t lsn = first_lsn; lsn < end_lsn && !FStopReader; ++lsn) {
            const int16_t* data = nullptr;
            if (paranoia) {
                data = cdio_paranoia_read(paranoia, nullptr);
            } else if (cdio_read_audio_sectors(cdio, sector, lsn, 1) == DRIVER_OP_SUCCESS) {
                data = sector;
            }
            if (!data) break;
            std::unique_lock lk(FPlayMutex);
            FPlayCond.wait(lk, [this] { return FStopReader || FQueue.size() < kQueueLimit; });
            if (FStopReader) break;
            // Nothing may leave the reading thread: memory running short
            // ends the play where it stands.
            try {
                FQueue.insert(FQueue.end(), data, data + kSamplesPerSector);
            } catch (...) {
                break;
            }
        }
        if (paranoia) cdio_paranoia_free(paranoia);
        if (drive) cdio_cddap_close_no_free_cdio(drive);
        FReaderDone = true;
    });
    FBus = cd_bus ? cd_bus() : nullptr;
    if (!FBus) {
        // Nowhere to play: the play is over at once.
        FFinished = true;
        return;
    }
    FSource = FBus->AddSource([this](int32_t* mix, size_t frames) {
        std::unique_lock lk(FPlayMutex);
        const int32_t gl = gain_left, gr = gain_right;
        size_t n = 0;
        for (; n < frames && FQueue.size() >= 2; ++n) {
            mix[2 * n] += static_cast<int32_t>((int64_t(FQueue.front()) * gl) >> 16);
            FQueue.pop_front();
            mix[2 * n + 1] += static_cast<int32_t>((int64_t(FQueue.front()) * gr) >> 16);
            FQueue.pop_front();
        }
        FFramesPlayed += static_cast<int64_t>(n);
        lk.unlock();
        FPlayCond.notify_all();
        if (n < frames && FReaderDone && FQueue.empty()) {
            FFinished = true;
            return false;
        }
        return true;
    });
}

void TCDP::completed() {
    if (PlayIndex + 1 < static_cast<int32_t>(PlayList.size())) {
        PlayListEntry(PlayIndex + 1);
    } else if (RepeatPlay) {
        RewindPlayList();
        PlayFrom(MakeTMSF(static_cast<uint32_t>(FTrack), 0, 0, 0));
    } else {
        RewindPlayList();
    }
}

void TCDP::Poll() {
    std::lock_guard g(FLock);
    if (!FDisc) return;
    if (!FPresent) {
        // A disc is looked for every sixth step.
        if (++FPollCount > 5) {
            FPollCount = 0;
            if (IsReady()) {
                FPresent = true;
                PlayList.clear();
                for (int32_t t = 1; t <= GetTrackCount(); ++t) PlayList.push_back(std::to_string(t));
                PlayIndex = 0;
                if (OnCDInsert) OnCDInsert();
            }
        }
    } else if (!IsReady()) {
        FPresent = false;
        PlayList.clear();
    }
    if (FPlaying && FFinished) {
        stop_locked();
        completed();
    }
}

int64_t TCDP::QueuedSamples() {
    std::lock_guard<std::mutex> lk(FPlayMutex);
    if (FReaderDone) return -1;
    return static_cast<int64_t>(FQueue.size());
}
