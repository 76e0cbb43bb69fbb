// Game saves into a save.dat holding 50 slots of about 200 KB each (goal:
// a save under 50 ms, within 1.5x of zlib compress2 level 1 on the same
// payload). SaveGame builds the record, copies the 49 kept slots as stored,
// packs the new one and replaces the file (synced temporary, rename);
// LoadGame unpacks and reads one slot back. The peers: compress2 level 1 of
// one slot's record and of all 50 (what re-packing every slot would cost),
// and uncompress of one packed slot.
#include "engine/call_man.h"
#include "engine/game_save.h"
#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "engine/project.h"
#include "files/vr_file_manager.h"
#include "objects/scene/scene.h"
#include "platform/filesystem/filesys.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int32_t kSlots = 50;
constexpr size_t kSlotText = 200000;

// Text that packs about as well as a game's saved strings do: words from a
// small vocabulary in a random order.
std::string save_text() {
    static const char* words[] = {"sword ", "shield ", "castle ", "forest ", "\x82\xa0\x82\xa2 ", "river ",
                                  "dragon ", "night ", "42 ",    "-7 ",     "flag ",               "hero "};
    std::string s;
    uint32_t x = 2463534242u;
    while (s.size() < kSlotText) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s += words[x % 12];
    }
    s.resize(kSlotText);
    return s;
}

// A running game with one big text variable, a scene of a few boxes and
// a save.dat already holding 50 slots.
struct Game {
    std::string folder;
    std::unique_ptr<TParamCollection> params;
    std::unique_ptr<TProject> project;

    Game() {
        char tmpl[] = "/tmp/vorq-bench-saves-XXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        CreateFileManager();
        params = std::make_unique<TParamCollection>();
        Params = params.get();
        InstallPlayerModules();
        InitDisplayObjects(nullptr);
        VorqBaseList->SetWidth(640);
        VorqBaseList->SetHeight(480);
        for (int i = 0; i < 20; ++i) {
            TVorqObject* b = CreateObjectByType(VorqBaseList, LT_BOX);
            b->SetName("box" + std::to_string(i));
            static_cast<TVorqControl*>(b)->SetParent(VorqBaseList->ActiveBase());
        }
        TParamCollectionItem* v = Params->AddVariable(PT_STR);
        v->SetName("story");
        v->SetAsString(save_text());
        project = std::make_unique<TProject>(std::vector<std::string>{folder});
        project->CallMan = std::make_unique<TCallMan>();
        Project = project.get();
        for (int32_t slot = 0; slot < kSlots; ++slot) project->SaveGame(slot, "", 0, "slot");
    }
    ~Game() {
        Project = nullptr;
        project.reset();
        DoneDisplayObjects();
        Params = nullptr;
        FreeFileManager();
        std::system(("rm -rf '" + folder + "'").c_str());
    }
    std::string record() const {
        TMemoryStream s;
        WriteGameRecord(s, TGameSaveHead{kGameSaveVersion, "slot", "", 0}, *project->CallMan);
        return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
    }
};

Game& game() {
    static Game g;
    return g;
}

void BM_SaveGame(benchmark::State& state) {
    Game& g = game();
    int32_t slot = 0;
    for (auto _ : state) {
        g.project->SaveGame(slot, "", 0, "slot");
        slot = (slot + 1) % kSlots;
    }
    state.SetLabel(std::to_string(g.record().size() / 1024) + " KB record, " +
                   std::to_string(FileSizeOf(g.folder + "save.dat") / 1024) + " KB file");
}
BENCHMARK(BM_SaveGame)->Unit(benchmark::kMillisecond);

void BM_LoadGame(benchmark::State& state) {
    Game& g = game();
    int32_t slot = 0;
    for (auto _ : state) {
        g.project->LoadGame(slot);
        slot = (slot + 1) % kSlots;
    }
}
BENCHMARK(BM_LoadGame)->Unit(benchmark::kMillisecond);

void BM_Peer_Compress2Level1_OneSlot(benchmark::State& state) {
    const std::string payload = game().record();
    std::vector<Bytef> out(compressBound(payload.size()));
    for (auto _ : state) {
        uLongf n = out.size();
        compress2(out.data(), &n, reinterpret_cast<const Bytef*>(payload.data()), payload.size(), 1);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_Peer_Compress2Level1_OneSlot)->Unit(benchmark::kMillisecond);

void BM_Peer_Compress2Level1_AllSlots(benchmark::State& state) {
    const std::string one = game().record();
    std::string payload;
    for (int32_t i = 0; i < kSlots; ++i) payload += one;
    std::vector<Bytef> out(compressBound(payload.size()));
    for (auto _ : state) {
        uLongf n = out.size();
        compress2(out.data(), &n, reinterpret_cast<const Bytef*>(payload.data()), payload.size(), 1);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_Peer_Compress2Level1_AllSlots)->Unit(benchmark::kMillisecond);

void BM_Peer_Uncompress_OneSlot(benchmark::State& state) {
    const std::string payload = game().record();
    std::vector<Bytef> packed(compressBound(payload.size()));
    uLongf packed_size = packed.size();
    compress2(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(payload.data()), payload.size(), 1);
    std::vector<Bytef> out(payload.size());
    for (auto _ : state) {
        uLongf n = out.size();
        uncompress(out.data(), &n, packed.data(), packed_size);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_Peer_Uncompress_OneSlot)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
