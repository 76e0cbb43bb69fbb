// Sound files as the companion module reads them: the RIFF wave header and
// its samples, Ogg Vorbis through libvorbisfile (and the page layout that
// decides what it is shown and whether it may be sought) and any other
// sound through FFmpeg, each read to the end and sought back into the
// middle; waves and Oggs once more converted to the device's format, and
// an Ogg once more expanded past a megabyte, where it starts before its
// pages are known, with and without 70 KB of other bytes in front (where
// its first link is searched for in its head).
#include "fuzz/fuzz_support.h"
#include "media/decode/ogg_pages.h"
#include "media/decode/pcm_decoder.h"

#include <cstring>
#include <vector>

namespace {
void drain(PcmDecoder& d, int reads = 4096) {
    std::vector<uint8_t> buf(8192);
    // A bound on the work: a damaged file must end, not decode for ever.
    for (int i = 0; i < reads && ReadOrWait(d, buf.data(), int64_t(buf.size())) > 0; ++i) {
    }
    d.Seek(d.TotalBytes() / 2);
    d.Read(buf.data(), int64_t(buf.size()));
}

// An Ogg over a megabyte starts before its pages are looked at: the input
// written again and again (a chain, or one serial number's links), at most
// 64 times, after lead bytes that are no page, then padded past a megabyte.
std::vector<uint8_t> expanded(const uint8_t* data, size_t size, size_t lead) {
    constexpr size_t kPast = (size_t{1} << 20) + 1;
    std::vector<uint8_t> big(lead, 'x');
    for (int i = 0; i < 64 && big.size() < kPast; ++i) big.insert(big.end(), data, data + size);
    if (big.size() < kPast) big.resize(kPast, 0);
    return big;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        TMemoryStream s = InputStream(data, size);
        Refusable([&] {
            auto d = OpenWaveDecoder(s);
            drain(*d);
            drain(*ConvertToDeviceFormat(std::move(d)));
        });
    }
    {
        TMemoryStream s = InputStream(data, size);
        ReadOggLayout(s);
        Refusable([&] {
            auto d = OpenVorbisDecoder(s);
            drain(*d);
            drain(*ConvertToDeviceFormat(std::move(d)));
        });
    }
    if (size >= 4 && std::memcmp(data, "OggS", 4) == 0) {
        for (const size_t lead : {size_t{0}, size_t{70} << 10}) {
            const std::vector<uint8_t> big = expanded(data, size, lead);
            TMemoryStream s = InputStream(big.data(), big.size());
            Refusable([&] {
                auto d = OpenVorbisDecoder(s);
                drain(*d, 256);
            });
        }
    }
    Refusable([&] {
        auto d = OpenMediaDecoder(std::vector<uint8_t>(data, data + size));
        drain(*d);
    });
    return 0;
}
