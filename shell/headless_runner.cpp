#include "shell/headless_runner.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "engine/project.h"
#include "files/vr_file_manager.h"
#include "platform/system/clock.h"
#include "platform/filesystem/filesys.h"

void THeadlessScene::ResetScene() {
    objects_.clear();
    events_.Clear();
}

void THeadlessScene::QueueEvent(const std::string& label, const std::string& object, const TArrayString& args) {
    events_.Add(label, object, 0, args);
}

THeadlessRunner::THeadlessRunner(const std::string& game_path, TSceneLink* scene) {
    InstallPlayerModules();
    Terminating = false;
    GameClock = 0;
    FrameTime = 0;
    FrameCount = 0;
    SetClockSource([] { return ::GameClock; });
    if (!Params) {
        own_params_ = std::make_unique<TParamCollection>();
        Params = own_params_.get();
    }
    if (!FileManager) {
        CreateFileManager();
        own_file_manager_ = true;
    }
    SetSystemVarHost(&host_);
    previous_scene_ = ::Scene;
    ::Scene = scene ? scene : &scene_;
    // As the player started with a folder argument: the folder holds the
    // loose files and the saves, and its game.dat is the archive.
    std::string folder = game_path;
    if (DirectoryExists(game_path)) {
        folder = IncludeTrailingPathDelimiter(game_path);
        FileManager->SetBaseFolder(folder);
        if (FileExists(folder + "game.dat")) FileManager->AddArchive(folder + "game.dat");
    } else {
        folder = ExtractFilePath(game_path);
        FileManager->SetBaseFolder(folder);
        FileManager->AddArchive(game_path);
    }
    project_ = std::make_unique<TProject>(std::vector<std::string>{folder});
    ::Project = project_.get();
}

THeadlessRunner::~THeadlessRunner() {
    project_.reset();
    ::Project = nullptr;
    ::Scene = previous_scene_;
    SetSystemVarHost(nullptr);
    if (own_file_manager_) {
        FreeFileManager();
    } else if (FileManager) {
        FileManager->Clear();
        FileManager->SetBaseFolder("");
    }
    if (own_params_) {
        Params = nullptr;
        own_params_.reset();
    }
    SetClockSource({});
}

bool THeadlessRunner::Running() const { return project_ && project_->CallMan && !Terminating; }

void THeadlessRunner::Frame(uint32_t ms) {
    if (Terminating || !project_) return;
    GameClock += ms;
    FrameTime = ms;
    if (FileManager) FileManager->Locks.Tick(FrameTime);
    DeleteTempFiles();
    project_->Step();
    if (Terminating) return;
    ++FrameCount;
    project_->ProcessRequests();
}

void THeadlessRunner::Frames(int count, uint32_t ms) {
    for (int i = 0; i < count && !Terminating; ++i) Frame(ms);
}
