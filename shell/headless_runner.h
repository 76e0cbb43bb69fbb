// Plays a game without a window: opens a game folder (loose files and its
// game.dat) or an archive file, creates the project as the player does, and
// steps it frame by frame with a clock the caller advances. Tests and tools
// use it; until the object registry exists, a small scene of named objects
// with an event queue stands in for it.
#pragma once
#include "engine/engine_var_host.h"
#include "objects/scene/scene.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>

class TProject;
class TParamCollection;

class THeadlessScene : public TSceneLink {
public:
    TTimerList& Events() override { return events_; }
    bool ObjectExists(const std::string& name) override { return objects_.count(name) != 0; }
    bool ScrapObject(const std::string& name) override { return objects_.erase(name) != 0; }
    void ResetScene() override;

    void AddObject(const std::string& name) { objects_.insert(name); }
    // An object queues an event for its handler label.
    void QueueEvent(const std::string& label, const std::string& object, const TArrayString& args = {});

private:
    TTimerList events_;
    std::set<std::string> objects_;
};

class THeadlessRunner {
public:
    // game_path: a folder, or an archive file whose folder holds the saves.
    // scene: the registry's link, when one exists; else the runner's own
    // stand-in scene. The player's modules are installed as the player
    // installs them; the engine's globals are set up here and put back by
    // the destructor.
    explicit THeadlessRunner(const std::string& game_path, TSceneLink* scene = nullptr);
    ~THeadlessRunner();
    THeadlessRunner(const THeadlessRunner&) = delete;
    THeadlessRunner& operator=(const THeadlessRunner&) = delete;

    // The project was created and play has not ended.
    bool Running() const;
    TProject& Project() const { return *project_; }
    THeadlessScene& Scene() { return scene_; }

    // One frame of ms milliseconds: file housekeeping, the project step,
    // the frame counter. Nothing once play has ended.
    void Frame(uint32_t ms = 16);
    void Frames(int count, uint32_t ms = 16);

private:
    THeadlessScene scene_;
    TEngineVarHost host_;
    std::unique_ptr<TProject> project_;
    std::unique_ptr<TParamCollection> own_params_;
    bool own_file_manager_ = false;
    TSceneLink* previous_scene_ = nullptr;
};
