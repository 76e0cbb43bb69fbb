// Writes the demo game's project file and scenario pages into a folder,
// which the build then packs into the demo's game.dat with vfpack:
//   demo_builder <folder>
// The pages use variables, branches, a call with arguments and a result,
// loops and timed waits, and end the game by themselves.
#include "engine/param.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/filesys.h"
#include "platform/stream.h"

#include <cstdio>
#include <string>

namespace {

void write_project(const std::string& folder) {
    TProjectFileData d;
    d.Title = Sjis("ヴォルクデモ");
    d.Width = 640;
    d.Height = 480;
    d.StartPage = "main.vsb";
    d.SleepBetweenFrames = 1;
    d.SoundExtensions = ".wav.wma.ogg.mid";
    d.DiscPrompt = Sjis("ディスク%dを入れてから[OK]をクリックしてください");
    d.QuitText = Sjis("終了します");
    TProjectFileData::Variable rounds;
    rounds.Type = PT_INT;
    rounds.Name = "Rounds";
    rounds.Int = 5;
    d.Variables.push_back(rounds);
    TFileStream f(folder + "vorq.vpb", fmCreate);
    WriteProjectFile(f, d);
}

// The main page: five rounds of a call, a branch on its result and a wait,
// then on to the closing page.
void write_main(const std::string& folder) {
    TPageWriter w;
    w.Comment(Sjis("デモの本体"));
    w.VarNew("round", PT_INT, "0");
    w.VarNew("total", PT_INT, "0");
    w.VarNew("step", PT_INT, "0");
    w.VarNew("size", PT_STR, "\"small\"");
    w.While("round < Rounds");
    w.Indent = 1;
    w.Call("double.vsb", {"round"}, "step");
    w.Calc("total = total + step");
    w.If("total > 10");
    w.Indent = 2;
    w.Calc("size = \"big\"");
    w.Indent = 1;
    w.Else();
    w.Indent = 2;
    w.Calc("size = \"small\"");
    w.Indent = 1;
    w.Wait("400");
    w.Calc("round = round + 1");
    w.Indent = 0;
    w.EndWhile();
    w.Jump("finish.vsb");
    w.SaveToFile(folder + "main.vsb");
}

// Returns twice its argument.
void write_double(const std::string& folder) {
    TPageWriter w(109, PT_INT);
    w.Calc("@Result = @ParamStr[0] * 2");
    w.Exit();
    w.SaveToFile(folder + "double.vsb");
}

void write_finish(const std::string& folder) {
    TPageWriter w;
    w.Label("finish");
    w.Wait("500");
    w.Terminate();
    w.SaveToFile(folder + "finish.vsb");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_builder <folder>\n");
        return 2;
    }
    try {
        const std::string folder = IncludeTrailingPathDelimiter(GamePath(argv[1]));
        ForceDirectories(folder);
        write_project(folder);
        write_main(folder);
        write_double(folder);
        write_finish(folder);
    } catch (const Exception& e) {
        std::fprintf(stderr, "demo_builder: %s\n", e.Utf8Message().c_str());
        return 1;
    }
    return 0;
}
