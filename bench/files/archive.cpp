// Archive costs: loading an entry on a cache miss against bare zlib
// uncompress into a presized buffer (goal: the whole miss, file read and
// unpacking included, no slower than the bare uncompress), reading a
// 50,000-entry directory, and looking names up in it.
#include "files/vr_file_collection.h"
#include "files/vr_file_manager.h"
#include "platform/filesystem/filesys.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
// Picture-like bytes: smooth runs with some noise, packing to about a third.
std::string content_of(size_t size) {
    std::string s(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>((i / 7 % 64) + ((x >> 16) & 0x0F));
    }
    return s;
}

std::string entry_name(size_t size) { return "image\\entry" + std::to_string(size) + ".bmp"; }

const std::string& archive_with_entries() {
    static std::string path = [] {
        std::string p = PrivateTempFolder() + "bench_entries.dat";
        TVrFileCollection c;
        for (size_t size : {size_t{64} << 10, size_t{1} << 20, size_t{4} << 20}) {
            std::string data = content_of(size);
            c.AddEntry(entry_name(size))->Data->WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
        }
        TWzBigFileStream out(p, fmCreate);
        c.SaveToStream(out);
        return p;
    }();
    return path;
}

void BM_LoadEntryCacheMiss(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    TVrFileManager m;
    m.AddArchive(archive_with_entries());
    const std::string name = entry_name(size);
    TMemoryStream out;
    for (auto _ : state) {
        m.Cache.Clear();
        m.LoadToStream(out, name);
        benchmark::DoNotOptimize(out.Memory());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_LoadEntryCacheMiss)->Arg(64 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);

// The floor: the packed bytes already in memory, inflated by zlib into a
// buffer of the right size.
void BM_ZlibUncompress(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    std::string data = content_of(size);
    std::vector<Bytef> packed(compressBound(static_cast<uLong>(size)));
    uLongf packed_size = static_cast<uLongf>(packed.size());
    compress2(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(size), 1);
    std::vector<Bytef> out(size);
    for (auto _ : state) {
        uLongf n = static_cast<uLongf>(out.size());
        uncompress(out.data(), &n, packed.data(), packed_size);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ZlibUncompress)->Arg(64 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);

constexpr int kManyEntries = 50000;

std::string many_name(int i) { return "data\\scene" + std::to_string(i / 100) + "\\image" + std::to_string(i) + ".tes"; }

const std::string& archive_with_many_entries() {
    static std::string path = [] {
        std::string p = PrivateTempFolder() + "bench_many.dat";
        TVrFileCollection c;
        for (int i = 0; i < kManyEntries; ++i) c.AddEntry(many_name(i))->Data->WriteBuffer("x", 1);
        TWzBigFileStream out(p, fmCreate);
        c.SaveToStream(out);
        return p;
    }();
    return path;
}

void BM_ReadDirectory50000(benchmark::State& state) {
    const std::string& path = archive_with_many_entries();
    for (auto _ : state) {
        TVrFileCollection c;
        c.Open(path);
        benchmark::DoNotOptimize(c.Count());
    }
}
BENCHMARK(BM_ReadDirectory50000)->Unit(benchmark::kMillisecond);

void BM_FindEntryIn50000(benchmark::State& state) {
    TVrFileCollection c;
    c.Open(archive_with_many_entries());
    std::vector<std::string> names;
    for (int i = 0; i < kManyEntries; i += 97) names.push_back(many_name(i));
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.FindEntry(names[k]));
        if (++k == names.size()) k = 0;
    }
}
BENCHMARK(BM_FindEntryIn50000);
}  // namespace

BENCHMARK_MAIN();
