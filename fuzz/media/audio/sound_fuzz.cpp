// Sound files as the companion module reads them: the RIFF wave header and
// its samples, Ogg Vorbis through libvorbisfile (and the page layout that
// decides what it is shown and whether it may be sought) and any other
// sound through FFmpeg, each read to the end and sought back into the
// middle; waves and Oggs once more converted to the device's format.
#include "fuzz/fuzz_support.h"
#include "media/decode/ogg_pages.h"
#include "media/decode/pcm_decoder.h"

#include <vector>

namespace {
void drain(PcmDecoder& d) {
    std::vector<uint8_t> buf(8192);
    // A bound on the work: a damaged file must end, not decode for ever.
    for (int i = 0; i < 4096 && ReadOrWait(d, buf.data(), int64_t(buf.size())) > 0; ++i) {
    }
    d.Seek(d.TotalBytes() / 2);
    d.Read(buf.data(), int64_t(buf.size()));
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
    Refusable([&] {
        auto d = OpenMediaDecoder(std::vector<uint8_t>(data, data + size));
        drain(*d);
    });
    return 0;
}
