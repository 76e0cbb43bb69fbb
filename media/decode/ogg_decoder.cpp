// The Ogg Vorbis decoder: libvorbisfile handles over views of the file's
// good pages, its two stages (reading ahead of the look at the pages, and
// known), and the start points of links whose pages break sequence.
#include "media/decode/pcm_decoder.h"

#include "media/decode/ogg_pages.h"
#include "media/decode/work_pool.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>

namespace {
// Bytes of PCM in frames of a layout, bounded like every length.
int64_t pcm_bytes(int64_t frames, const TWaveFormatEx& f) {
    return frames > 0 ? std::min<int64_t>(frames, kMaxSoundMs * f.nSamplesPerSec / 1000) * f.nBlockAlign : 0;
}

bool playable(const vorbis_info* info) {
    return info && info->channels >= 1 && info->channels <= 2 && info->rate >= 1000 && info->rate <= 192000;
}

// The stream of an Ogg, read by the decoder and by the look at its pages on
// another thread: every read names its place, under one lock.
class SharedStream {
public:
    explicit SharedStream(TStream& s) : FStream(s), FSize(s.GetSize()) {}
    int64_t ReadAt(int64_t at, void* dst, int64_t n) {
        std::lock_guard l(FLock);
        if (FStream.GetPosition() != at && FStream.Seek(at, SeekOrigin::Beginning) != at) return 0;
        return std::max<int64_t>(FStream.Read(dst, n), 0);
    }
    int64_t Size() const { return FSize; }

private:
    TStream& FStream;
    std::mutex FLock;
    const int64_t FSize;
};

// A reader of the shared stream with a place of its own.
class SharedReader : public TStream {
public:
    explicit SharedReader(SharedStream& s) : FShare(s) {}
    // In pieces, so that the decoder's reads of the same stream never wait
    // long behind the look at its pages.
    int64_t Read(void* buffer, int64_t count) override {
        int64_t done = 0;
        while (done < count) {
            const int64_t want = std::min<int64_t>(count - done, int64_t{1} << 16);
            const int64_t got = FShare.ReadAt(FPos, static_cast<uint8_t*>(buffer) + done, want);
            FPos += got;
            done += got;
            if (got < want) break;
        }
        return done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        const int64_t base = origin == SeekOrigin::Current ? FPos : origin == SeekOrigin::End ? FShare.Size() : 0;
        FPos = std::clamp<int64_t>(base + offset, 0, FShare.Size());
        return FPos;
    }
    int64_t GetSize() override { return FShare.Size(); }

private:
    SharedStream& FShare;
    int64_t FPos = 0;
};

// A place in the stream itself. Places in a view (below) are plain
// integers: the two are never mixed up without this type saying so.
struct StreamByte {
    int64_t At = 0;
};

// What libvorbisfile is shown of a stream: spans of it, joined (the good
// pages, or the whole stream).
class OggView {
public:
    OggView(std::shared_ptr<SharedStream> s, std::vector<OggSpan> spans) : FStream(std::move(s)), FSpans(std::move(spans)) {
        int64_t at = 0;
        for (const OggSpan& span : FSpans) {
            FStarts.push_back(at);
            at += span.End - span.Begin;
        }
    }
    // Up to n bytes from place at of the view.
    int64_t Read(int64_t at, void* dst, int64_t n) {
        auto i = static_cast<size_t>(std::upper_bound(FStarts.begin(), FStarts.end(), at) - FStarts.begin());
        if (i-- == 0) return 0;
        int64_t done = 0;
        for (; done < n && i < FSpans.size(); ++i) {
            const int64_t from = FSpans[i].Begin + (at + done - FStarts[i]);
            const int64_t want = std::min(n - done, FSpans[i].End - from);
            if (want <= 0) continue;
            const int64_t got = FStream->ReadAt(from, static_cast<uint8_t*>(dst) + done, want);
            done += got;
            if (got != want) break;
        }
        return done;
    }
    // Where in the stream the view's bytes before place at end.
    StreamByte StreamEnd(int64_t at) const {
        auto i = static_cast<size_t>(std::upper_bound(FStarts.begin(), FStarts.end(), at - 1) - FStarts.begin());
        if (i-- == 0) return {0};
        return {FSpans[i].Begin + (at - FStarts[i])};
    }
    // The view is one span of the stream, to its end: its places are the
    // stream's from there on.
    std::optional<int64_t> OneSpanFrom() const {
        if (FSpans.size() != 1 || FSpans[0].End != FStream->Size()) return std::nullopt;
        return FSpans[0].Begin;
    }
    // The stream's spans that bytes [begin, end) of the view are.
    std::vector<OggSpan> StreamSpans(int64_t begin, int64_t end) const {
        std::vector<OggSpan> out;
        for (size_t i = 0; i < FSpans.size(); ++i) {
            const int64_t from = std::max(begin, FStarts[i]);
            const int64_t to = std::min(end, FStarts[i] + (FSpans[i].End - FSpans[i].Begin));
            if (from < to) out.push_back({FSpans[i].Begin + (from - FStarts[i]), FSpans[i].Begin + (to - FStarts[i])});
        }
        return out;
    }
    const std::shared_ptr<SharedStream>& Stream() const { return FStream; }

private:
    std::shared_ptr<SharedStream> FStream;
    std::vector<OggSpan> FSpans;
    std::vector<int64_t> FStarts;  // of each span in the view
};

// What one libvorbisfile handle reads: bytes [Begin, End) of a view, the
// whole or one link of a chain, with a place of its own, so that decoders
// of two links, or a look at the pages, share the stream.
struct OggWindow {
    std::shared_ptr<OggView> View;
    int64_t Begin = 0;
    int64_t End = 0;
    int64_t Pos = 0;  // from Begin
};

size_t ov_read_cb(void* ptr, size_t size, size_t nmemb, void* source) {
    auto* w = static_cast<OggWindow*>(source);
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(size * nmemb), w->End - w->Begin - w->Pos);
    if (size == 0 || want <= 0) return 0;
    const int64_t got = w->View->Read(w->Begin + w->Pos, ptr, want);
    if (got <= 0) return 0;
    w->Pos += got;
    return static_cast<size_t>(got) / size;
}

int ov_seek_cb(void* source, ogg_int64_t offset, int whence) {
    auto* w = static_cast<OggWindow*>(source);
    int64_t base = 0;
    if (whence == SEEK_CUR) base = w->Pos;
    else if (whence == SEEK_END) base = w->End - w->Begin;
    const int64_t target = base + offset;
    // A place past the end is refused, whatever the stream would allow:
    // over damaged pages libvorbisfile's search never ends when such seeks
    // succeed and read nothing.
    if (target < 0 || target > w->End - w->Begin) return -1;
    w->Pos = target;
    return 0;
}

long ov_tell_cb(void* source) { return static_cast<long>(static_cast<OggWindow*>(source)->Pos); }

bool same_layout(const TWaveFormatEx& a, const TWaveFormatEx& b) {
    return a.nSamplesPerSec == b.nSamplesPerSec && a.nChannels == b.nChannels;
}

// Bytes in the sound's layout of frames of a link in layout own: a link
// of another layout is converted to the sound's, which is then the device's.
int64_t link_bytes(int64_t frames, const TWaveFormatEx& own, const TWaveFormatEx& sound) {
    return same_layout(own, sound) ? pcm_bytes(frames, sound) : DeviceBytes(pcm_bytes(frames, own), own);
}

// One libvorbisfile handle over a window. A seekable one looks at the
// window's end when it opens and may be sought; another reads the window
// only forward, as from a pipe, and never seeks in it.
class VorbisDecoder : public PcmDecoder {
public:
    VorbisDecoder(OggWindow window, bool seekable) : FWindow(std::move(window)), FSeekable(seekable) {
        const ov_callbacks cb{ov_read_cb, seekable ? ov_seek_cb : nullptr, nullptr, ov_tell_cb};
        if (ov_open_callbacks(&FWindow, &FVf, nullptr, 0, cb) != 0) RaiseSoundDataCorrupt();
        const vorbis_info* info = ov_info(&FVf, -1);
        if (!playable(info)) {
            ov_clear(&FVf);
            RaiseSoundDataCorrupt();
        }
        FFormat = MakePCMWaveFormat(static_cast<int32_t>(info->rate), 16, info->channels);
        FSerial = ov_serialnumber(&FVf, -1);
        if (seekable) FTotal = pcm_bytes(ov_pcm_total(&FVf, -1), FFormat);
    }
    ~VorbisDecoder() override { ov_clear(&FVf); }

    int64_t Read(uint8_t* dst, int64_t bytes) override {
        if (FEnded || FAtHole) return 0;
        bytes -= bytes % FFormat.nBlockAlign;
        int64_t done = 0;
        int holes = 0;
        while (done < bytes) {
            int section = 0;
            const long got = ov_read(&FVf, reinterpret_cast<char*>(dst + done),
                                     static_cast<int>(std::min<int64_t>(bytes - done, 1 << 20)), 0, 2, 1, &section);
            if (got == OV_HOLE) {
                FDamaged = true;
                if (FStopAtHoles) {
                    FAtHole = true;
                    break;
                }
                if (++holes < 8) continue;
                break;
            }
            if (got < 0) {
                // Damage past which nothing more is read: the library's
                // state is not to be trusted again, not even by a seek.
                FDamaged = FEnded = true;
                break;
            }
            if (got == 0) break;
            // Read from a stream's start before its links are known, a new
            // stream is the next link's, which another handle plays: also
            // one of the same serial number and layout, which the library
            // counts as a new section.
            if (FSection < 0) FSection = section;
            const vorbis_info* info = ov_info(&FVf, -1);
            if (section != FSection || ov_serialnumber(&FVf, -1) != FSerial || !info ||
                info->channels != FFormat.nChannels || info->rate != FFormat.nSamplesPerSec) {
                FEnded = true;
                break;
            }
            done += got;
        }
        FPos += done;
        return done;
    }
    // Only a seekable handle, and only while the library has reported no
    // damage.
    bool Seek(int64_t byte_pos) override {
        if (!FSeekable || FDamaged) return false;
        const int64_t frame = std::max<int64_t>(byte_pos, 0) / FFormat.nBlockAlign;
        if (const int r = ov_pcm_seek(&FVf, frame); r != 0) {
            // A place out of the sound's range is refused before any work.
            if (r != OV_EINVAL) FDamaged = FEnded = true;
            return false;
        }
        FPos = frame * FFormat.nBlockAlign;
        return true;
    }
    int64_t Position() const override { return FPos; }
    // Known to a seekable handle only.
    int64_t TotalBytes() const override { return FTotal; }

    bool Seekable() const { return FSeekable; }
    long Serial() const { return FSerial; }
    // The library reported pages missing, or damage past which it reads
    // nothing more.
    bool Damaged() const { return FDamaged; }
    // Read stops at pages missing (as where a link of the same serial
    // number begins) until told to read past them or to end there.
    void StopAtHoles(bool on) { FStopAtHoles = on; }
    bool AtHole() const { return FAtHole; }
    bool Waiting() const override { return FAtHole; }
    void PassHole() { FAtHole = false; }
    void EndHere() { FEnded = true; }
    // The bytes of the window read so far end there.
    StreamByte WindowRead() const { return FWindow.View->StreamEnd(FWindow.Begin + FWindow.Pos); }
    // A handle over the stream from a place to its end reads no further
    // than end.
    void Limit(StreamByte end) {
        if (const std::optional<int64_t> from = FWindow.View->OneSpanFrom())
            FWindow.End = std::min(FWindow.End, end.At - *from);
    }

private:
    OggWindow FWindow;
    const bool FSeekable;
    OggVorbis_File FVf{};
    long FSerial = 0;
    int64_t FTotal = 0;
    int64_t FPos = 0;
    int FSection = -1;  // the library's section of the first samples read
    bool FDamaged = false;
    bool FEnded = false;
    bool FStopAtHoles = false;
    bool FAtHole = false;
};

// libogg and libvorbis as a walk over a link's packets uses them.
struct PacketLibs {
    ogg_sync_state sync;
    ogg_stream_state stream;
    vorbis_info info;
    vorbis_comment comment;
    bool stream_open = false;
    PacketLibs() {
        ogg_sync_init(&sync);
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~PacketLibs() {
        if (stream_open) ogg_stream_clear(&stream);
        ogg_sync_clear(&sync);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

// The frame a link's granule positions count from, as libvorbisfile counts
// it: that of the first page after its headers on which a packet ends,
// less the frames its packets give (their block sizes) up to there. Most
// links start at 0; a stream cut from a longer one and not renumbered
// starts later, and its length is its last granule position less this.
// Reads bytes [begin, end) of the view at most; 0 when nothing tells.
int64_t first_frame(OggView& view, int64_t begin, int64_t end, const std::atomic<bool>& cancel) {
    PacketLibs l;
    int headers = 0;
    long last_w = -1;
    int64_t frames = 0;
    for (int64_t read_at = begin; !cancel;) {
        ogg_page page;
        const long n = ogg_sync_pageseek(&l.sync, &page);
        if (n == 0) {
            const long want = static_cast<long>(std::min<int64_t>(end - read_at, 1 << 16));
            char* buf = want > 0 ? ogg_sync_buffer(&l.sync, want) : nullptr;
            const int64_t got = buf ? view.Read(read_at, buf, want) : 0;
            if (got <= 0) break;
            ogg_sync_wrote(&l.sync, static_cast<long>(got));
            read_at += got;
            continue;
        }
        if (n < 0) continue;
        if (!l.stream_open) l.stream_open = ogg_stream_init(&l.stream, ogg_page_serialno(&page)) == 0;
        const bool audio = headers == 3;
        if (audio && ogg_page_bos(&page)) break;
        if (ogg_stream_pagein(&l.stream, &page) != 0) continue;
        for (ogg_packet op; int r = ogg_stream_packetout(&l.stream, &op);) {
            if (r < 0) continue;
            if (headers < 3) {
                if (vorbis_synthesis_headerin(&l.info, &l.comment, &op) != 0) return 0;
                ++headers;
                continue;
            }
            const long w = vorbis_packet_blocksize(&l.info, &op);
            if (w < 0) continue;
            if (last_w >= 0) frames += (last_w + w) >> 2;
            last_w = w;
        }
        if (audio && ogg_page_granulepos(&page) >= 0) return std::max<int64_t>(0, ogg_page_granulepos(&page) - frames);
    }
    return 0;
}

// Where a handle of its own may start inside a link whose pages break
// sequence, so that it gives the link's frames from Frames on: after the
// link's header pages (which end at HeadersEnd of the view), the page at
// PageAt, which begins a packet.
struct StartPoint {
    int64_t HeadersEnd = 0;
    int64_t PageAt = 0;
    int64_t Frames = 0;
};

// Walks the packets of the link at [begin, end) of the view as libogg hands
// them to libvorbis, and counts the frames each gives as libvorbis's
// vorbis_synthesis_blockin counts them (the overlap of a packet with the one
// before, the start trimmed to the first granule position, the end to the
// last, the count lost where packets are), without decoding them. A handle
// that starts at a page beginning a packet gives, from that packet's
// successor on, what the link decoded from its start gives: a Vorbis packet
// depends on the one before it only. The last such page whose first frame
// is at most target; nothing when there is none.
std::optional<StartPoint> start_point(OggView& view, int64_t begin, int64_t end, int64_t target,
                                      const std::atomic<bool>& cancel, int64_t* total = nullptr) {
    PacketLibs l;
    std::optional<StartPoint> best;
    int headers = 0;
    int64_t headers_end = 0;
    int64_t read_at = begin, page_end = begin;
    bool open_packet = false;     // the page before ended inside a packet
    int64_t candidate = -1;       // a page beginning a packet, its first packet not yet out
    long last_w = -1;             // the block size of the packet before
    int64_t last_packet = -1;     // its number
    int64_t count = -1, granule = -1;  // libvorbis's own, -1 when lost
    int64_t frames = 0;
    std::optional<StartPoint> pending;  // until its first granule position
    while (!cancel) {
        ogg_page page;
        const long n = ogg_sync_pageseek(&l.sync, &page);
        if (n == 0) {
            if (read_at >= end) break;
            const long want = static_cast<long>(std::min<int64_t>(end - read_at, 1 << 16));
            char* buf = ogg_sync_buffer(&l.sync, want);
            const int64_t got = buf ? view.Read(read_at, buf, want) : 0;
            if (got <= 0) break;
            ogg_sync_wrote(&l.sync, static_cast<long>(got));
            read_at += got;
            continue;
        }
        const int64_t page_at = page_end;
        page_end += n < 0 ? -n : n;
        if (n < 0) continue;
        if (!l.stream_open) l.stream_open = ogg_stream_init(&l.stream, ogg_page_serialno(&page)) == 0;
        if (headers == 3 && !ogg_page_continued(&page) && !open_packet) candidate = page_at;
        open_packet = page.header_len > 0 && page.header[26] > 0 && page.header[26 + page.header[26]] == 255;
        ogg_stream_pagein(&l.stream, &page);
        for (ogg_packet op; int r = ogg_stream_packetout(&l.stream, &op);) {
            if (r < 0) continue;  // packets lost: libvorbis sees the numbers jump
            if (headers < 3) {
                if (vorbis_synthesis_headerin(&l.info, &l.comment, &op) != 0) return std::nullopt;
                if (++headers == 3) headers_end = page_end;
                continue;
            }
            const long w = vorbis_packet_blocksize(&l.info, &op);
            if (w <= 0) continue;  // no audio packet: libvorbis takes no block of it
            if (last_packet < 0 || op.packetno != last_packet + 1) count = granule = -1;
            last_packet = op.packetno;
            const int64_t step = last_w < 0 ? 0 : last_w / 4 + w / 4;
            int64_t out = step;
            count = count < 0 ? 0 : count + step;
            if (granule < 0) {
                if (op.granulepos >= 0) {
                    granule = op.granulepos;
                    if (count > granule) out = std::max<int64_t>(0, out - (count - granule));
                }
            } else {
                granule += step;
                if (op.granulepos >= 0 && granule != op.granulepos) {
                    if (granule > op.granulepos && op.e_o_s) out = std::max<int64_t>(0, out - (granule - op.granulepos));
                    granule = op.granulepos;
                }
            }
            frames += out;
            last_w = w;
            if (candidate >= 0) {
                if (frames <= target) pending = StartPoint{headers_end, candidate, frames};
                candidate = -1;
            }
            // A handle of its own takes its count from the first granule
            // position it meets: at the link's last packet that would not
            // be the count that trims the link's end.
            if (pending && op.granulepos >= 0) {
                if (!op.e_o_s) best = pending;
                pending.reset();
            }
            if (frames > target && !pending) return best;
        }
    }
    if (cancel) return std::nullopt;
    // Walked to the link's end: all the frames it gives.
    if (total && headers == 3) *total = frames;
    return best;
}

// Files up to this size are looked at when they open; a larger one starts
// at once and is looked at on another thread (100 MB take about 80 ms,
// a slow disk many times that), its first link found in its head.
constexpr int64_t kLookAtOnceBytes = int64_t{1} << 20;
constexpr int64_t kHeadBytes = kLookAtOnceBytes;

// An Ogg sound, played link by link, each link opened over its own good
// pages: libvorbisfile starts reading a chain at its second link, hands
// each link's samples in that link's own rate and channels, and reads links
// that share a serial number as one stream whose length and places it gets
// wrong. Links of one layout join as they are; links of several are each
// converted to the device's. A link whose pages follow in sequence is
// sought by the library; any other (a page lost, spoilt or written twice)
// never is, since its seek crashes inside libogg: it is opened again and
// decoded forward to the place, and its length, known only from its pages
// until then, is what it gave once it has been read to its end. A place
// beyond such links is reached once each of them has been read through.
//
// It is in one of two stages. Reading ahead (a large file): the first link
// that plays in the file's head is read from its first page by a handle
// that never seeks (none, when the head holds none), while the pages are
// looked at on a shared thread; the sound's layout is the device's, which
// every link joins, and its length what the file's last page tells when
// that is the link's, less the frame it starts from (as libvorbisfile
// tells a file's length), else what has been decoded; the look's answer
// replaces it the moment the look ends.
// A file looked at when it opens plays in its links' layout when they
// share one; else in the device's. Known: the
// pages are known and every link can be opened. Reading ahead passes to
// known when the look ends; until then a seek, or a read past the first
// link, waits for it: Read returns what it has and Waiting() tells it, so
// that a caller that must not wait does the waiting elsewhere (Settle).
class OggDecoder : public PcmDecoder {
public:
    explicit OggDecoder(TStream& s) : FShare(std::make_shared<SharedStream>(s)) {
        if (FShare->Size() > kLookAtOnceBytes) {
            // Looking at all its pages here would hold the game's thread
            // for as long as the file takes to read: its head and its last
            // page tell whether it plays.
            if (!start_early()) RaiseSoundDataCorrupt();
            return;
        }
        Checked c = examine();
        if (c.Links.empty()) RaiseSoundDataCorrupt();
        const TWaveFormatEx& own = c.Links[0].Own;
        const bool one_layout = std::all_of(c.Links.begin(), c.Links.end(),
                                            [&](const Link& l) { return same_layout(l.Own, own); });
        FFormat = one_layout ? own : MakePCMWaveFormat(44100, 16, 2);
        finish(c);
        FView = std::move(c.View);
        FLinks = std::move(c.Links);
        publish_total(FLinks);
        Part first = open_link(0);
        if (!first.Decoder) RaiseSoundDataCorrupt();
        play(std::move(first), 0);
    }
    ~OggDecoder() override {
        Cancel();
        FCheck.Close();
    }
    void Cancel() override {
        FCancel = true;
        { std::lock_guard l(FCheckLock); }
        FCheckCv.notify_all();
    }

    int64_t Read(uint8_t* dst, int64_t bytes) override {
        bytes -= bytes % FFormat.nBlockAlign;
        int64_t done = 0;
        while (done < bytes) {
            if (FStage == Stage::ReadingAhead) take_check(false);
            const int64_t got = FPart ? FPart->Read(dst + done, bytes - done) : 0;
            if (got > 0) {
                done += got;
                FPos += got;
                continue;
            }
            // The first link ended, or the handle holds at a hole, before
            // the pages are known: what comes next is known only from them.
            if (FStage == Stage::ReadingAhead) {
                if (!take_check(false)) {
                    FAheadOut = true;
                    break;
                }
                continue;
            }
            if (FAt >= FLinks.size()) break;
            settle(FAt);
            if (FAt + 1 >= FLinks.size()) break;
            Part next = open_link(FAt + 1);
            if (!next.Decoder) break;
            play(std::move(next), FAt + 1);
        }
        if (FStage == Stage::ReadingAhead) {
            start_check();
            FDecoded = std::max(FDecoded.load(), FPos);
        }
        return done;
    }
    bool Waiting() const override { return FStage == Stage::ReadingAhead && FAheadOut; }
    void Settle() override {
        if (FStage == Stage::ReadingAhead) take_check(true);
    }
    bool Seek(int64_t byte_pos) override {
        const int64_t pos = std::max<int64_t>(byte_pos, 0) / FFormat.nBlockAlign * FFormat.nBlockAlign;
        // The mixer sets its read position before every block: no seek
        // when that is where decoding stands.
        if (pos == FPos) return true;
        if (FStage == Stage::ReadingAhead && !take_check(true)) return false;
        // Each round settles a link's length at most once.
        for (size_t round = 0; round <= FLinks.size() && !FLinks.empty(); ++round) {
            const size_t k = link_at(pos);
            // A link before the place whose length is known only from its
            // pages may give more or less than they say: it is read through
            // first, and the place looked for again.
            if (const auto i = unsettled_before(k)) {
                if (!read_through(*i)) return false;
                continue;
            }
            Link& l = FLinks[k];
            if (FAt == k && FVorbis && FVorbis->Damaged()) l.Plain = false;
            if (l.Plain) {
                // The playing handle is sought in place: a place it refuses
                // leaves it as it was. Another is opened, and plays only
                // once it stands there.
                if (k == FAt && FVorbis && FVorbis->Seekable()) {
                    if (FPart->Seek(pos - l.Start)) return stand(pos);
                    if (!FVorbis->Damaged()) return false;
                } else {
                    Part part = open_link(k);
                    if (!part.Decoder) return false;
                    if (part.Decoder->Seek(pos - l.Start)) return stand(pos, std::move(part), k);
                    if (!part.Vorbis->Damaged()) return false;
                }
                l.Plain = false;
                l.Settled = false;
            }
            int64_t from = 0;
            Part part = open_link_near(k, pos - l.Start, from);
            if (!part.Decoder) return false;
            const int64_t reached = from + decode_forward(*part.Decoder, pos - l.Start - from);
            if (reached == pos - l.Start) return stand(pos, std::move(part), k);
            if (FCancel) return false;
            // The link ends before the place: so much shorter than its
            // pages said, the place may lie in the next one.
            set_length(k, reached);
            if (k + 1 >= FLinks.size()) return false;
        }
        return false;
    }
    int64_t Position() const override { return FPos; }
    // Never waits: once the pages are known, their length (each link read
    // through as it gave); before, what the last page tells, or what has
    // been decoded when that is more (a chain of one serial number, whose
    // last page tells only its last link's length).
    int64_t TotalBytes() const override {
        const int64_t t = FTotal.load();
        return t >= 0 ? t : std::max(FDecoded.load(), FGuess);
    }
    bool LengthSettled() const override { return FSettled.load(); }
    void LearnLength() override {
        if (FTotal.load() < 0) start_check();
    }
    bool SeekIsQuick(int64_t byte_pos) const override {
        const int64_t pos = std::max<int64_t>(byte_pos, 0) / FFormat.nBlockAlign * FFormat.nBlockAlign;
        if (pos == FPos) return true;
        if (FStage != Stage::Known || FLinks.empty()) return false;
        const size_t k = link_at(pos);
        return !unsettled_before(k) && (FLinks[k].Plain || pos == FLinks[k].Start);
    }

private:
    enum class Stage { ReadingAhead, Known };
    struct Link {
        int64_t Begin = 0, End = 0;  // in the good pages
        bool Plain = true;           // sought by the library
        bool Settled = true;         // its length is what it gives
        TWaveFormatEx Own;           // its rate and channels
        int64_t Frames = 0;          // its length in its own frames
        int64_t Bytes = 0;           // its length in the sound's layout
        int64_t Start = 0;           // of its PCM in the sound's
    };
    struct Checked {
        std::shared_ptr<OggView> View;
        std::vector<Link> Links;  // those that open
    };
    struct Part {
        std::unique_ptr<PcmDecoder> Decoder;  // null when the link cannot be opened
        VorbisDecoder* Vorbis = nullptr;      // inside Decoder
    };

    // Reads from the first link in the file's head that plays, with no
    // look at the pages, and has them looked at beside it. Most files open
    // at their start (libvorbisfile passes over a short tag in front by
    // itself): the head is searched only when that fails. A file whose
    // head holds no such link plays once the look finds its links when its
    // last page is of a stream begun past the head (a long tag in front, a
    // long first link that cannot be played): false when it is not.
    bool start_early() {
        SharedReader r(*FShare);
        const std::optional<OggPageMark> last = LastOggPage(r);
        // Whether other links follow, and in which layouts, only the pages
        // tell, and reading them is the look's work, off this thread: the
        // sound plays in the device's layout, so that every link can join
        // it.
        FFormat = MakePCMWaveFormat(44100, 16, 2);
        FTotal = -1;
        FStage = Stage::ReadingAhead;
        if (start_at(0, last)) return true;
        const OggHead head = ReadOggHead(r, kHeadBytes);
        for (const int64_t at : head.VorbisStarts)
            if (at > 0 && start_at(at, last)) return true;
        return last && std::find(head.Serials.begin(), head.Serials.end(), last->Serial) == head.Serials.end();
    }
    // Plays from place at of the stream, when a link there opens.
    bool start_at(int64_t at, const std::optional<OggPageMark>& last) {
        const int64_t size = FShare->Size();
        auto view = std::make_shared<OggView>(FShare, std::vector<OggSpan>{{at, size}});
        std::unique_ptr<VorbisDecoder> early;
        try {
            early = std::make_unique<VorbisDecoder>(OggWindow{view, 0, size - at, 0}, false);
        } catch (const Exception&) {
            return false;
        }
        const TWaveFormatEx own = early->Format();
        // Its length is the last page's granule position less the frame
        // the link starts from, when that page is of the link's stream:
        // exact for a file of one link, which most are; the look confirms
        // or corrects it.
        if (last && static_cast<long>(last->Serial) == early->Serial() && last->Granule >= 0) {
            const int64_t from = first_frame(*view, 0, std::min(size - at, kHeadBytes), FCancel);
            FGuess = link_bytes(std::max<int64_t>(0, last->Granule - from), own, FFormat);
        }
        // A hole may be where a link of the same serial number begins,
        // which only the pages tell: the handle holds there until they are
        // known.
        early->StopAtHoles(true);
        VorbisDecoder* vorbis = early.get();
        std::unique_ptr<PcmDecoder> decoder = std::move(early);
        if (!same_layout(own, FFormat)) decoder = ConvertToDeviceFormat(std::move(decoder));
        play({std::move(decoder), vorbis}, 0);
        return true;
    }
    // The look at the pages starts once the first samples are out, so that
    // its reading never delays them; or when something waits for it, or
    // wants the length of a sound that may not be read for long. From any
    // thread: under the look's lock.
    void start_check() {
        std::lock_guard l(FCheckLock);
        // Once cancelled (the decoder is being freed), never.
        if (FCheckAsked || FCancel.load()) return;
        FCheckAsked = true;
        FCheck.Submit([this] { run_check(); });
    }

    // The look at the pages, and each link opened once to learn its layout
    // and length.
    Checked examine() {
        SharedReader r(*FShare);
        const OggLayout layout = ReadOggLayout(r, &FCancel);
        Checked c;
        c.View = std::make_shared<OggView>(FShare, layout.Pages);
        for (const OggLink& ol : layout.Links) {
            if (FCancel) break;
            Link l;
            l.Begin = ol.Begin;
            l.End = ol.End;
            // A plain link whose open fails is read as damaged pages are.
            for (bool plain : {ol.Plain, false}) {
                try {
                    VorbisDecoder d(OggWindow{c.View, l.Begin, l.End, 0}, plain);
                    l.Plain = l.Settled = plain;
                    l.Own = d.Format();
                    l.Frames = plain ? d.TotalBytes() / l.Own.nBlockAlign
                                     : std::max<int64_t>(0, ol.LastGranule - first_frame(*c.View, l.Begin, l.End, FCancel));
                    c.Links.push_back(l);
                    break;
                } catch (const Exception&) {
                    if (!plain) break;
                }
            }
        }
        return c;
    }
    // Each link's place and length in the sound's layout; a link that
    // cannot take it is left out.
    void finish(Checked& c) const {
        const bool device = same_layout(FFormat, MakePCMWaveFormat(44100, 16, 2));
        std::erase_if(c.Links, [&](const Link& l) { return !device && !same_layout(l.Own, FFormat); });
        int64_t at = 0;
        for (Link& l : c.Links) {
            l.Bytes = link_bytes(l.Frames, l.Own, FFormat);
            l.Start = at;
            at += l.Bytes;
        }
    }
    void run_check() {
        Checked c;
        // Nothing may leave the thread: a look that fails finds no link.
        try {
            c = examine();
            finish(c);
        } catch (...) {
            c = {};
        }
        std::lock_guard l(FCheckLock);
        FResult = std::move(c);
        // The length is answered from here on, not once the decoder takes
        // the look's result: a paused sound's decoder is not read for long.
        if (!FCancel) publish_total(FResult.Links);
        FChecked = true;
        FCheckCv.notify_all();
    }
    // Takes what the look at the pages found, waiting for it when asked
    // (and starting it); false when it is not there.
    bool take_check(bool wait) {
        if (wait) {
            start_check();
            // Not yet begun, it is taken here rather than waited for
            // behind other sounds' work.
            FCheck.Finish();
        }
        std::unique_lock l(FCheckLock);
        if (wait) FCheckCv.wait(l, [&] { return FChecked || FCancel.load(); });
        if (!FChecked || FCancel) return false;
        Checked c = std::move(FResult);
        l.unlock();
        FStage = Stage::Known;
        FView = std::move(c.View);
        FLinks = std::move(c.Links);
        publish_total(FLinks);
        // The handle reading from the stream's start ends with the first
        // link; a hole it holds at past that link's pages is the next
        // link's start (of the same serial number), which another handle
        // plays; one inside it is damage, read past as oggdec reads it.
        if (FVorbis && FAt == 0) {
            const StreamByte end = FLinks.empty() ? StreamByte{0} : FView->StreamEnd(FLinks[0].End);
            FVorbis->Limit(end);
            FVorbis->StopAtHoles(false);
            if (FVorbis->AtHole()) {
                if (FVorbis->WindowRead().At > end.At) FVorbis->EndHere();
                FVorbis->PassHole();
            }
        } else if (!FPart && !FLinks.empty()) {
            // No link in the head played: the first the look found does.
            play(open_link(0), 0);
        }
        return true;
    }

    // Link k, opened over the good pages, in the layout the sound plays in.
    Part open_link(size_t k) {
        try {
            auto d = std::make_unique<VorbisDecoder>(OggWindow{FView, FLinks[k].Begin, FLinks[k].End, 0}, FLinks[k].Plain);
            VorbisDecoder* vorbis = d.get();
            if (same_layout(d->Format(), FFormat)) return {std::move(d), vorbis};
            return {ConvertToDeviceFormat(std::move(d)), vorbis};
        } catch (const Exception&) {
            return {};
        }
    }
    // Link k, opened to be decoded forward to place to of it: where its
    // pages break sequence, a handle of its own starts at a page near the
    // place (from: the place it gives first), the converter after it for a
    // link in another layout than the sound's; else from the link's start.
    Part open_link_near(size_t k, int64_t to, int64_t& from) {
        from = 0;
        const Link& l = FLinks[k];
        // Within its first second a link is decoded from its start.
        if (to < int64_t{FFormat.nAvgBytesPerSec}) return open_link(k);
        // A converted handle starts at a frame of its own that falls on
        // one of the sound's (a multiple of step), so that the place lands
        // on the sample that decoding the link from its start lands on;
        // the page is looked for far enough back to leave room for that.
        const bool convert = !same_layout(l.Own, FFormat);
        const int64_t rate = l.Own.nSamplesPerSec, sound_rate = FFormat.nSamplesPerSec;
        const int64_t step = convert ? rate / std::gcd(rate, sound_rate) : 1;
        const int64_t target = to / FFormat.nBlockAlign * rate / sound_rate - (step - 1);
        if (target <= 0) return open_link(k);
        const std::optional<StartPoint> p = start_point(*FView, l.Begin, l.End, target, FCancel);
        if (!p || p->PageAt == p->HeadersEnd) return open_link(k);
        std::vector<OggSpan> spans = FView->StreamSpans(l.Begin, p->HeadersEnd);
        for (const OggSpan& span : FView->StreamSpans(p->PageAt, l.End)) spans.push_back(span);
        int64_t size = 0;
        for (const OggSpan& span : spans) size += span.End - span.Begin;
        try {
            auto d = std::make_unique<VorbisDecoder>(
                OggWindow{std::make_shared<OggView>(FView->Stream(), std::move(spans)), 0, size, 0}, false);
            if (!same_layout(d->Format(), l.Own)) return open_link(k);
            const int64_t first = (p->Frames + step - 1) / step * step;
            const int64_t skip = (first - p->Frames) * l.Own.nBlockAlign;
            if (decode_forward(*d, skip) != skip) return open_link(k);
            from = first * sound_rate / rate * FFormat.nBlockAlign;
            VorbisDecoder* vorbis = d.get();
            if (!convert) return {std::move(d), vorbis};
            return {ConvertToDeviceFormat(std::move(d)), vorbis};
        } catch (const Exception&) {
            return open_link(k);
        }
    }
    void play(Part part, size_t k) {
        FPart = std::move(part.Decoder);
        FVorbis = part.Vorbis;
        FAt = k;
    }
    // The sound stands at pos, in the playing link or in part (link k).
    bool stand(int64_t pos) {
        FPos = pos;
        return true;
    }
    bool stand(int64_t pos, Part part, size_t k) {
        play(std::move(part), k);
        return stand(pos);
    }
    // The link holding place pos (past the end, the last).
    size_t link_at(int64_t pos) const {
        size_t k = FLinks.size() - 1;
        while (k > 0 && FLinks[k].Start > pos) --k;
        return k;
    }
    std::optional<size_t> unsettled_before(size_t k) const {
        for (size_t i = 0; i < k; ++i)
            if (!FLinks[i].Settled) return i;
        return std::nullopt;
    }
    // Decodes d from its start forward to to bytes of its link, or to its
    // end: how far it came.
    int64_t decode_forward(PcmDecoder& d, int64_t to) {
        std::vector<uint8_t> scratch(size_t{1} << 16);
        const int64_t step = int64_t(scratch.size()) / FFormat.nBlockAlign * FFormat.nBlockAlign;
        int64_t at = 0;
        while (at < to && !FCancel) {
            const int64_t got = d.Read(scratch.data(), std::min(to - at, step));
            if (got <= 0) break;
            at += got;
        }
        return at;
    }
    // Link k read through: its length is what it gives, as its packets
    // count (in the sound's layout) or as a handle of its own decodes it.
    // The playing handle and the place are left as they are.
    bool read_through(size_t k) {
        int64_t frames = -1;
        if (same_layout(FLinks[k].Own, FFormat))
            start_point(*FView, FLinks[k].Begin, FLinks[k].End, INT64_MAX, FCancel, &frames);
        if (FCancel) return false;
        if (frames >= 0) {
            set_length(k, pcm_bytes(frames, FFormat));
            return true;
        }
        Part part = open_link(k);
        const int64_t bytes = part.Decoder ? decode_forward(*part.Decoder, INT64_MAX) : 0;
        if (FCancel) return false;
        set_length(k, bytes);
        return true;
    }
    // Link k was read to its end by the playing handle.
    void settle(size_t k) {
        if (FPos >= FLinks[k].Start) set_length(k, FPos - FLinks[k].Start);
    }
    void set_length(size_t k, int64_t bytes) {
        FLinks[k].Settled = true;
        if (bytes != FLinks[k].Bytes) {
            FLinks[k].Bytes = bytes;
            for (size_t i = k + 1; i < FLinks.size(); ++i) FLinks[i].Start = FLinks[i - 1].Start + FLinks[i - 1].Bytes;
        }
        publish_total(FLinks);
    }
    void publish_total(const std::vector<Link>& links) {
        FTotal = links.empty() ? 0 : links.back().Start + links.back().Bytes;
        FSettled = std::all_of(links.begin(), links.end(), [](const Link& l) { return l.Settled; });
    }

    std::shared_ptr<SharedStream> FShare;
    Stage FStage = Stage::Known;
    bool FAheadOut = false;  // reading ahead, the first link has given all it has
    std::shared_ptr<OggView> FView;  // the good pages
    std::vector<Link> FLinks;         // none while the pages are not known
    std::unique_ptr<PcmDecoder> FPart;
    VorbisDecoder* FVorbis = nullptr;  // the handle of FPart
    size_t FAt = 0;                    // the link FPart plays
    int64_t FPos = 0;
    // Read from other threads: the length as known, -1 while it is known
    // only from what was decoded (FDecoded); whether it is final.
    std::atomic<int64_t> FTotal{0};
    std::atomic<int64_t> FDecoded{0};
    int64_t FGuess = 0;  // from the last page, made when it opens
    std::atomic<bool> FSettled{false};

    WorkSlot FCheck{WorkSlot::Kind::Look};  // the look at the pages, on the shared threads
    bool FCheckAsked = false;
    std::mutex FCheckLock;
    std::condition_variable FCheckCv;
    bool FChecked = false;
    Checked FResult;
    std::atomic<bool> FCancel{false};
};
}  // namespace

std::unique_ptr<PcmDecoder> OpenVorbisDecoder(TStream& stream) { return std::make_unique<OggDecoder>(stream); }
