#include "files/packing.h"
#include "platform/exception.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {
// Deflate codes at most 258 bytes in two bits: no packed byte unpacks to
// more than this many.
constexpr uint64_t kMaxDeflateRatio = 1032;
// zlib counts in 32-bit units; feed and drain it in pieces of this size.
constexpr uint64_t kZChunk = 1u << 30;

// An uninitialised growable byte buffer: zero-filling the output of a codec
// that overwrites it anyway would be a wasted pass over the data.
class RawBuffer {
public:
    explicit RawBuffer(size_t n) { grow(n); }
    ~RawBuffer() { std::free(p_); }
    RawBuffer(const RawBuffer&) = delete;
    RawBuffer& operator=(const RawBuffer&) = delete;
    void grow(size_t n) {
        void* q = std::realloc(p_, n ? n : 1);
        if (!q) throw std::bad_alloc();
        p_ = static_cast<uint8_t*>(q);
        size_ = n;
    }
    uint8_t* data() { return p_; }
    size_t size() const { return size_; }

private:
    uint8_t* p_ = nullptr;
    size_t size_ = 0;
};

void replace_content(TMemoryStream& s, const uint8_t* data, size_t n) {
    s.SetSize(static_cast<int64_t>(n));
    if (n > 0) std::memcpy(s.Memory(), data, n);
    s.SetPosition(0);
}

// Runs deflate or inflate (step, told whether the input is all given) over
// in[0, in_size) into out until the zlib stream ends; out grows up to limit.
// Returns zlib's last code: Z_STREAM_END on success.
template <class Step>
int run_codec(z_stream& z, const uint8_t* in, uint64_t in_size, RawBuffer& out, size_t& used, uint64_t limit, Step step) {
    z.next_in = const_cast<uint8_t*>(in);
    uint64_t in_left = in_size;
    for (;;) {
        if (z.avail_in == 0 && in_left > 0) {
            z.avail_in = static_cast<uInt>(std::min(in_left, kZChunk));
            in_left -= z.avail_in;
        }
        if (used == out.size()) {
            if (out.size() >= limit) return Z_BUF_ERROR;
            out.grow(static_cast<size_t>(std::min<uint64_t>(out.size() * 2, limit)));
        }
        z.next_out = out.data() + used;
        z.avail_out = static_cast<uInt>(std::min<uint64_t>(out.size() - used, kZChunk));
        const int rc = step(in_left == 0);
        used = static_cast<size_t>(z.next_out - out.data());
        if (rc == Z_STREAM_END) return rc;
        // No progress with every byte given: the data ended before the zlib stream did.
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && in_left == 0) return rc;
        if (rc != Z_OK && rc != Z_BUF_ERROR) return rc;
    }
}
}  // namespace

void CompressStream(TMemoryStream& s) {
    const uint64_t in_size = static_cast<uint64_t>(s.GetSize());
    z_stream z{};
    if (deflateInit(&z, 1) != Z_OK) throw Exception("CompressStream: zlib could not be started");
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{z};
    RawBuffer out(static_cast<size_t>(deflateBound(&z, static_cast<uLong>(in_size))));
    size_t used = 0;
    int rc = run_codec(z, s.Memory(), in_size, out, used, UINT64_MAX,
                       [&](bool last) { return deflate(&z, last ? Z_FINISH : Z_NO_FLUSH); });
    if (rc != Z_STREAM_END) throw Exception("CompressStream: zlib failed");
    replace_content(s, out.data(), used);
}

namespace {
// One decompressor per thread, kept: making one costs more than inflating
// a small entry.
libdeflate_decompressor& decompressor() {
    struct Owned {
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        ~Owned() { libdeflate_free_decompressor(d); }
    };
    thread_local Owned owned;
    if (!owned.d) throw std::bad_alloc();
    return *owned.d;
}
}  // namespace

void InflateTo(const uint8_t* in, size_t n, TMemoryStream& out, int64_t limit, bool to_the_end) {
    const uint64_t cap = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(limit, 0)),
                                            static_cast<uint64_t>(n) * kMaxDeflateRatio + 258);
    // The stored forms do not give the unpacked size: a first guess that fits
    // typical packed data, grown fourfold while the content does not fit.
    uint64_t room = std::clamp<uint64_t>(static_cast<uint64_t>(n) * 4, 1u << 16, std::max<uint64_t>(cap, 1));
    for (;;) {
        out.SetSize(static_cast<int64_t>(room));
        size_t got = 0, used = 0;
        const libdeflate_result rc =
            libdeflate_zlib_decompress_ex(&decompressor(), in, n, out.Memory(), room, &used, &got);
        if (rc == LIBDEFLATE_SUCCESS && to_the_end && used != n) {
            out.Clear();
            throw ECorruptData("packed data ends before its last byte");
        }
        if (rc == LIBDEFLATE_SUCCESS) {
            out.SetSize(static_cast<int64_t>(got));
            out.SetPosition(0);
            return;
        }
        if (rc != LIBDEFLATE_INSUFFICIENT_SPACE || room >= cap) {
            out.Clear();
            throw ECorruptData(rc == LIBDEFLATE_INSUFFICIENT_SPACE ? "packed data unpacks to more than " +
                                                                         std::to_string(cap) + " bytes"
                                                                   : std::string("packed data is corrupt or truncated"));
        }
        room = std::min(room * 4, cap);
    }
}

bool InflateExactly(const uint8_t* in, size_t n, uint8_t* out, size_t size) {
    return libdeflate_zlib_decompress(&decompressor(), in, n, out, size, nullptr) == LIBDEFLATE_SUCCESS;
}

void DecompressStream(TMemoryStream& s) {
    TMemoryStream out;
    try {
        InflateTo(s.Memory(), static_cast<size_t>(s.GetSize()), out);
    } catch (const ECorruptData& e) {
        throw ECorruptData("DecompressStream: " + e.Message());
    }
    s = std::move(out);
}
