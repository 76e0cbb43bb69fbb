// Look-ups of game names in a voice folder of 10,000 files, as a game asks
// for them (Shift-JIS, "\" separated): the folder unpacked with its names
// converted to UTF-8 (each name found at once by the system), against the
// same folder unpacked without converting names (raw Shift-JIS bytes on
// disc, found through the folder's listing). Goal: a raw folder within
// 1.5x of a converted one, for hits and for misses alike, and about the
// same cost in a folder of 100 files as in one of 10,000.
// Then look-ups whose letter case differs from the file's, in 10,000 files:
// with the listing kept while the folder's times stand for it, against the
// same folder taken as one whose times cannot be trusted (listed afresh
// about once a frame), and against a real NTFS mount through ntfs-3g when
// this runs as root with it installed. Goal: the untrusted way within 2x of
// the kept listing.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/folder_index.h"
#include "platform/text/codepage.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

constexpr int kCaseFiles = 10000;

void make_voices(const std::string& native, int files) {
    ::mkdir(native.c_str(), 0700);
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Voice_%05d.ogg", i);
        const int fd = ::open((native + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) ::close(fd);
    }
}

// The folder on the file system this runs on, left to settle as above.
std::string case_folder() {
    static const std::string folder = [] {
        const std::string f = PrivateTempFolder() + "case/";
        const std::string native = NativePath(f);
        make_voices(native, kCaseFiles);
        struct stat st;
        while (::stat(native.c_str(), &st) == 0 && std::time(nullptr) < st.st_ctime + 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return f;
    }();
    return folder;
}

// The folder on an NTFS image mounted through ntfs-3g; "" when none can be.
std::string ntfs_folder() {
    static const std::string folder = [] {
        const std::string base = NativePath(PrivateTempFolder()) + "ntfs/", mount = base + "mnt/";
        const std::string make = "mkdir -p '" + mount + "' && truncate -s 64M '" + base + "img' && mkntfs -q -F -f '" +
                                 base + "img' >/dev/null 2>&1 && ntfs-3g '" + base + "img' '" + mount + "'";
        if (::geteuid() != 0 || std::system(make.c_str()) != 0) return std::string();
        static std::string unmount = "umount '" + mount + "'";
        std::atexit([] { std::system(unmount.c_str()); });
        make_voices(mount + "voices/", kCaseFiles);
        return GamePath(mount + "voices/");
    }();
    return folder;
}

void case_differs(benchmark::State& st, const std::string& folder, bool trusted) {
    if (folder.empty()) {
        st.SkipWithError("no NTFS mount (needs root and ntfs-3g)");
        return;
    }
    std::vector<std::string> names;
    for (int i = 0; i < kLookups; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "VOICE_%05d.OGG", i * 7919 % kCaseFiles);
        names.push_back(folder + name);
    }
    TrustFolderTimes(trusted);
    for (auto _ : st) {
        for (const std::string& name : names)
            if (!FileExists(name)) st.SkipWithError("a look-up went wrong");
    }
    TrustFolderTimes(true);
    st.SetItemsProcessed(st.iterations() * kLookups);
}

void BM_CaseDiffers_Kept(benchmark::State& st) { case_differs(st, case_folder(), true); }
void BM_CaseDiffers_Untrusted(benchmark::State& st) { case_differs(st, case_folder(), false); }
void BM_CaseDiffers_Ntfs3g(benchmark::State& st) { case_differs(st, ntfs_folder(), true); }

BENCHMARK(BM_CaseDiffers_Kept)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaseDiffers_Untrusted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaseDiffers_Ntfs3g)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
