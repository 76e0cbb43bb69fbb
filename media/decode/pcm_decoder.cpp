#include "media/decode/pcm_decoder.h"

#include "platform/text/codepage.h"
#include "platform/exception.h"

const char* const kSoundDataCorrupt = "サウンドデータが不正です";

void RaiseSoundDataCorrupt() { throw ECorruptData(Sjis(kSoundDataCorrupt)); }

int64_t ReadOrWait(PcmDecoder& d, uint8_t* dst, int64_t bytes) {
    int64_t done = 0;
    while (done < bytes) {
        const int64_t got = d.Read(dst + done, bytes - done);
        if (got > 0) {
            done += got;
            continue;
        }
        if (!d.Waiting()) break;
        d.Settle();
    }
    return done;
}
