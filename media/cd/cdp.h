// The CD player: audio tracks of a disc (or of a disc image libcdio opens)
// read digitally through the paranoia reader into the sound bus, with the
// CD line's volume applied there. Positions use TMSF packing: track in bits
// 0-7, minutes 8-15, seconds 16-23, frames 24-31.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MixingBus;

constexpr uint32_t MakeTMSF(uint32_t track, uint32_t minutes, uint32_t seconds, uint32_t frames) {
    return (track & 0xFF) | (minutes & 0xFF) << 8 | (seconds & 0xFF) << 16 | (frames & 0xFF) << 24;
}

// GetState values.
enum TCDState : int32_t { CDPlaying = 0, CDStopped = 1, CDSeeking = 3, CDNotReady = 4, CDOpenDoor = 5 };

class TCDP {
public:
    // The drives libcdio finds (device paths); empty on a machine without one.
    static std::vector<std::string> SystemDrives();

    // drives: device paths or disc images (.cue, .toc, .iso). poll_thread
    // false: tests call Poll themselves.
    explicit TCDP(std::vector<std::string> drives = SystemDrives(), bool poll_thread = true);
    ~TCDP();
    TCDP(const TCDP&) = delete;
    TCDP& operator=(const TCDP&) = delete;

    const std::vector<std::string>& Drives() const { return FDrives; }
    bool Open(int32_t drive);
    void Close();
    bool IsOpen() const;

    int32_t GetState();
    bool IsReady();
    int32_t GetTrackCount();
    // Whole seconds; 0 when closed or no such track.
    int32_t GetTrackLength(int32_t track);
    // TMSF of the play position within its track; 0 when closed.
    uint32_t GetPosition();
    int32_t GetPositionSeconds();

    void PlayFrom(uint32_t tmsf);
    void PlayTrackAt(int32_t track, int32_t seconds);
    void PlayListEntry(int32_t index);
    void SeekTo(uint32_t tmsf);
    void RewindPlayList();
    void Stop();

    // The tracks to play in turn (numbers as text); the CD item puts its one
    // track here. The poll step reads it too, hence the setter.
    void SetPlayList(std::vector<std::string> list);
    std::vector<std::string> PlayList;
    int32_t PlayIndex = 0;
    std::atomic<bool> RepeatPlay{false};
    int32_t CurrentTrack() const { return FTrack; }
    // Samples read ahead and not yet mixed, or -1 once the reader has read
    // all it will: lets a caller that drives the bus itself wait for data.
    int64_t QueuedSamples();
    // Called when a disc is noticed (by Poll).
    std::function<void()> OnCDInsert;

    // The 200 ms step: notices discs coming and going, and the end of a
    // play (then the next play-list entry, a repeat, or a rewind).
    void Poll();

    // Where the extracted sound goes (null: nowhere; then a play ends at once).
    static void SetBus(MixingBus* (*bus)());
    // The CD line's level per channel, 0..1, applied to the extracted samples.
    static void SetLineGain(double left, double right);

private:
    struct Disc;
    void play_range(int32_t first_lsn, int32_t end_lsn);
    void stop_locked();
    void completed();
    int32_t track_first(int32_t track);
    int32_t track_sectors(int32_t track);

    std::vector<std::string> FDrives;
    Disc* FDisc = nullptr;
    int32_t FTrack = 1;
    bool FPresent = false;
    int32_t FPollCount = 0;

    // The play in progress: a reader thread fills the queue, the bus drains it.
    std::mutex FPlayMutex;
    std::condition_variable FPlayCond;
    std::deque<int16_t> FQueue;
    std::thread FReader;
    std::atomic<bool> FStopReader{false};
    std::atomic<bool> FPlaying{false};
    std::atomic<bool> FReaderDone{false};
    std::atomic<bool> FFinished{false};
    std::atomic<int64_t> FFramesPlayed{0};
    int32_t FPlayFirst = 0;  // the first sector of the play
    int32_t FSource = 0;
    MixingBus* FBus = nullptr;

    std::recursive_mutex FLock;
    std::mutex FWakeMutex;
    std::condition_variable FWake;
    bool FTerminated = false;
    std::atomic<bool> FDriveOpen{false};  // the poller sleeps while false
    std::thread FPoller;
};
