// A small game for benchmarks that play one: a 640x480 project of one start
// page, "main.vsb", written into a folder of the private temp folder.
#pragma once
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "shell/form_view.h"
#include "shell/player_modules.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <type_traits>

// shape: sets what the game needs beyond the common fields (may be empty).
inline std::string WriteBenchGame(const std::string& name, const TPageWriter& start,
                                  const std::function<void(TProjectFileData&)>& shape = {}) {
    const std::string folder = PrivateTempFolder() + name + "/";
    ForceDirectories(folder);
    TProjectFileData d;
    d.Title = name;
    d.Width = 640;
    d.Height = 480;
    d.StartPage = "main.vsb";
    d.SleepBetweenFrames = 1;
    if (shape) shape(d);
    {
        TFileStream f(folder + "vorq.vpb", fmCreate);
        WriteProjectFile(f, d);
    }
    start.SaveToFile(folder + "main.vsb");
    return folder;
}

// What play () returns (a plain struct), played in a process of its own as
// in the player, where the sound device and the media module live once per
// process; a value-initialised one when the child failed.
template <class Play>
auto InChildProcess(Play play) -> decltype(play()) {
    using Result = decltype(play());
    static_assert(std::is_trivially_copyable_v<Result>);
    int fds[2];
    if (pipe(fds) != 0) return Result{};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const Result r = play();
        const ssize_t n = write(fds[1], &r, sizeof r);
        _exit(n == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    Result r{};
    if (pid < 0 || read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = Result{};
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    return r;
}

// Plays the game as the player does (headless video, real clock), frame by
// frame, until it ends or frame (given how long the frame took, in ms)
// returns false.
template <class Frame>
void PlayFrames(const std::string& game, Frame frame) {
    Terminating = false;
    GameClock = FrameTime = FrameCount = 0;
    InstallPlayerModules();
    FormViewUnitStart();
    {
        TFormView view({game}, Video::Create(VideoBackend::Headless));
        view.FormCreate();
        while (!Terminating) {
            const auto a = std::chrono::steady_clock::now();
            view.ApplicationEventsIdle();
            if (!frame(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count())) break;
        }
    }
    FormViewUnitFinish();
}
