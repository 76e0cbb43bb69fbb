// Look-ups of game names in a voice folder of 10,000 files, as a game asks
// for them (Shift-JIS, "\" separated): the folder unpacked with its names
// converted to UTF-8 (each name found at once by the system), against the
// same folder unpacked without converting names (raw Shift-JIS bytes on
// disc, found through the folder's listing). Goal: a raw folder within
// 1.5x of a converted one, for hits and for misses alike, and about the
// same cost in a folder of 100 files as in one of 10,000.
#include "platform/filesystem/filesys.h"
#include "platform/text/codepage.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kLookups = 1000;

// "音声" + a number: the name of voice file i, in Shift-JIS.
std::string voice_name(int i, const char* ext) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%05d", i);
    return Sjis("音声_") + digits + ext;
}

enum class Spelling { Converted, Raw };

// The game path of a folder of `files` voices, made once per spelling and
// size. Game folders stand unchanged while a game plays: the folder is
// handed out once its last change lies a few seconds back, as an unpacked
// game's folders do.
std::string voice_folder(Spelling spelling, int files) {
    static std::map<std::pair<Spelling, int>, std::string> made;
    auto& folder = made[{spelling, files}];
    if (!folder.empty()) return folder;
    folder = PrivateTempFolder() + (spelling == Spelling::Raw ? "raw" : "converted") + std::to_string(files) + "/";
    const std::string native = NativePath(folder);
    ::mkdir(native.c_str(), 0700);
    for (int i = 0; i < files; ++i) {
        const std::string sjis = voice_name(i, ".ogg");
        const std::string name = native + (spelling == Spelling::Raw ? sjis : Cp932ToUtf8(sjis));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) ::close(fd);
    }
    struct stat st;
    while (::stat(native.c_str(), &st) == 0 && std::time(nullptr) < st.st_ctime + 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return folder;
}

// 1,000 look-ups spread over the folder; ext ".ogg" finds them, ".wav" misses.
void look_up(benchmark::State& st, Spelling spelling, const char* ext) {
    const int files = static_cast<int>(st.range(0));
    const std::string folder = voice_folder(spelling, files);
    std::vector<std::string> names;
    for (int i = 0; i < kLookups; ++i) names.push_back(folder + voice_name(i * 7919 % files, ext));
    const bool hit = std::string(ext) == ".ogg";
    for (auto _ : st) {
        for (const std::string& name : names)
            if (FileExists(name) != hit) st.SkipWithError("a look-up went wrong");
    }
    st.SetItemsProcessed(st.iterations() * kLookups);
}

void BM_Hits_Converted(benchmark::State& st) { look_up(st, Spelling::Converted, ".ogg"); }
void BM_Hits_Raw(benchmark::State& st) { look_up(st, Spelling::Raw, ".ogg"); }
void BM_Misses_Converted(benchmark::State& st) { look_up(st, Spelling::Converted, ".wav"); }
void BM_Misses_Raw(benchmark::State& st) { look_up(st, Spelling::Raw, ".wav"); }

BENCHMARK(BM_Hits_Converted)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hits_Raw)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Misses_Converted)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Misses_Raw)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
