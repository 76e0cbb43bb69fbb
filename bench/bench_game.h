// A small game for benchmarks that play one: a 640x480 project of one start
// page, "main.vsb", written into a folder of the private temp folder.
#pragma once
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"

#include <functional>
#include <string>

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
