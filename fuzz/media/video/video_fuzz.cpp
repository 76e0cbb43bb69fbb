// Video files as the companion module reads them: the container, the
// picture decoded and converted to 32-bit pixels, the sound converted to
// the device's format, a seek into the middle and decoding after it.
#include "fuzz/fuzz_support.h"
#include "media/decode/video_decoder.h"

#include <vector>

namespace {
// A bound on the work: a damaged file must end, not decode for ever.
void run(VideoDecoder& d, int steps) {
    for (int i = 0; i < steps && d.Advance() != VideoDecoder::Step::End; ++i) d.TakeSound();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s = InputStream(data, size);
    Refusable([&] {
        VideoDecoder d(s, true);
        run(d, 256);
        if (d.Seek(d.LengthMs() / 2)) run(d, 64);
    });
    return 0;
}
