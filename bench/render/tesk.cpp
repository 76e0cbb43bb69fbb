// Layered images: decoding a 640 x 480 frame per compression kind against
// the bare codec on the same payload (zlib uncompress, libjpeg-turbo to a
// plain buffer, memcpy for raw rows; goal within 1.2x), the scramble order
// of 16,000 tiles, and a cache hit, which must allocate nothing.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/filesystem/stream.h"
#include "render/tesk.h"
#include "render/tesk_collection.h"

namespace {
std::atomic<long> g_allocations{0};
}

// The counting operator new below hands out malloc'ed memory, which the
// matching deletes free; GCC cannot see that they pair up once inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

constexpr int kW = 640, kH = 480;

// A photograph-like picture: smooth gradients with some noise.
TTeskFrameList Picture() {
    TTeskFrameList list;
    TTeskFrame& f = *list.AddFrame();
    f.Image.SetSize(kW, kH, 24);
    uint32_t r = 1;
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = f.Image.ScanLine(y);
        for (int x = 0; x < kW; ++x) {
            r = r * 1103515245u + 12345u;
            const int n = int(r >> 28);
            row[3 * x] = uint8_t(x / 3 + n);
            row[3 * x + 1] = uint8_t(y / 2 + n);
            row[3 * x + 2] = uint8_t((x + y) / 5 + n);
        }
    }
    return list;
}

std::vector<uint8_t> Saved(uint8_t compression) {
    TTeskFrameList list = Picture();
    TMemoryStream s;
    list.SaveToStream(s, compression);
    return {s.Memory(), s.Memory() + s.GetSize()};
}

// The image block of the file's only layer: after the 51-byte head, the
// frame record ("Frame1", 6 fields, 3 sizes) and the layer's fixed fields.
std::vector<uint8_t> ImageBlock(const std::vector<uint8_t>& file) {
    size_t at = 51 + (4 + 6) + 4 + 4 + 1 + 4 + 4 + 12 + 8 + 1 + 4 + 4 + 1 + (4 + 5);
    uint32_t n;
    std::memcpy(&n, &file[at], 4);
    return {file.begin() + long(at) + 4, file.begin() + long(at) + 4 + n};
}

void Decode(benchmark::State& st, uint8_t compression) {
    const auto file = Saved(compression);
    TMemoryStream s;
    s.WriteBuffer(file.data(), int64_t(file.size()));
    for (auto _ : st) {
        s.SetPosition(0);
        TTeskFrameList list;
        list.LoadFromStream(s, false);
        benchmark::DoNotOptimize(list.GetFrame(0)->Image.TopRowReadOnly());
    }
}
void BM_DecodeZlib(benchmark::State& st) { Decode(st, 0); }
void BM_DecodeRaw(benchmark::State& st) { Decode(st, 1); }
void BM_DecodeJpeg(benchmark::State& st) { Decode(st, 2); }

void BM_BareUncompress(benchmark::State& st) {
    const auto block = ImageBlock(Saved(0));
    std::vector<uint8_t> out(size_t(kW) * 3 * kH);
    for (auto _ : st) {
        uLongf n = out.size();
        uncompress(out.data(), &n, block.data(), uLong(block.size()));
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_BareMemcpy(benchmark::State& st) {
    const auto block = ImageBlock(Saved(1));
    std::vector<uint8_t> out(block.size());
    for (auto _ : st) {
        std::memcpy(out.data(), block.data(), block.size());
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_BareLibjpeg(benchmark::State& st) {
    const auto block = ImageBlock(Saved(2));
    std::vector<uint8_t> out(size_t(kW) * 3 * kH);
    for (auto _ : st) {
        jpeg_decompress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, block.data(), block.size());
        jpeg_read_header(&c, TRUE);
        c.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&c);
        while (c.output_scanline < c.output_height) {
            JSAMPROW row = out.data() + size_t(c.output_scanline) * kW * 3;
            jpeg_read_scanlines(&c, &row, 1);
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_ScrambleOrder16000(benchmark::State& st) {
    for (auto _ : st) benchmark::DoNotOptimize(TeskScrambleOrder(0x5EED1234u, 16000));
}

class OneFile : public TTeskSource {
public:
    bool FileExists(const std::string&) override { return true; }
    bool ManagerFileExists(const std::string&) override { return true; }
    void LoadToStream(TStream& s, const std::string&) override { s.WriteBuffer(file.data(), int64_t(file.size())); }
    uint32_t IdCode() override { return 0; }
    std::vector<uint8_t> file = Saved(0);
};

void BM_CacheHit(benchmark::State& st) {
    OneFile source;
    TTeskCollection cache(&source);
    int user = 0;
    const std::string name = "image\\background_evening.tes";
    cache.Acquire(&user, name, true, true)->Release(&user);
    long before = g_allocations.load();
    for (auto _ : st) {
        TTeskItem* item = cache.Acquire(&user, name, true, true);
        benchmark::DoNotOptimize(item);
        item->Release(&user);
    }
    st.counters["allocations"] = double(g_allocations.load() - before);
}

BENCHMARK(BM_DecodeZlib)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareUncompress)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeRaw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareMemcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrambleOrder16000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CacheHit);

}  // namespace

BENCHMARK_MAIN();
