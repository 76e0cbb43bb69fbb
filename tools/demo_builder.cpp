// Writes the demo game's project file and scenario pages into a folder,
// which the build then packs into the demo's game.dat with vfpack:
//   demo_builder <folder>
// The pages use variables, branches, a call with arguments and a result,
// loops and timed waits; they place coloured boxes and change them, blink
// a lamp from a timer's handler, slide a box with a property motion, switch
// to a second picture with a curtain transition and end the game by
// themselves. Music plays all along (an Ogg the build encodes from the
// wave this tool writes, music_source.wav) and each round sounds a short
// effect (effect.wav), both made here; the closing page plays a MIDI
// cadence (finale.mid), also written here. The game's default cursor is a
// pointing hand (hand.cur), which every object without one of its own shows.
#include "script/param.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "tests/support/cursor_writer.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>
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

// Eight seconds of a soft arpeggio that loops cleanly (each note ends at
// silence), and a 120 ms rising blip.
void write_sounds(const std::string& folder) {
    const double notes[] = {261.63, 329.63, 392.00, 523.25, 392.00, 329.63, 293.66, 349.23,
                            440.00, 587.33, 440.00, 349.23, 246.94, 293.66, 392.00, 493.88};
    std::vector<int16_t> music;
    const int per_note = 44100 / 2;
    for (double f : notes)
        for (int i = 0; i < per_note; ++i) {
            const double env = std::sin(M_PI * i / per_note);
            const double t = double(i) / 44100;
            const double v = env * (0.22 * std::sin(2 * M_PI * f * t) + 0.08 * std::sin(2 * M_PI * f * 2 * t));
            music.push_back(static_cast<int16_t>(v * 32767));
            music.push_back(static_cast<int16_t>(v * 0.8 * 32767));
        }
    WriteWave(folder + "music_source.wav", music, 2, 44100);
    std::vector<int16_t> blip;
    const int n = 44100 * 120 / 1000;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / 44100;
        const double f = 660 + 1200 * t / 0.12;
        blip.push_back(static_cast<int16_t>(0.35 * (1.0 - double(i) / n) * std::sin(2 * M_PI * f * t) * 32767));
    }
    WriteWave(folder + "effect.wav", blip, 1, 44100);
}

// The main page: the first picture of boxes with a blinking lamp and a
// sliding box; five rounds of a call, a branch on its result, a bar that
// grows and a wait; then the second picture comes in with a curtain and
// play goes on to the next scene.
void write_main(const std::string& folder, const std::string& next) {
    TPageWriter w;
    DemoBoxMasks(w);
    for (int id : {PR_NAME, PR_DELAY, PR_ONNOTIFY}) w.SetMask(opTimer, id);
    for (int id : {PR_NAME, PR_SOURCE, PR_VOLUME, PR_REPEAT, PR_DELAY, PR_AUTOSCRAP}) w.SetMask(opSound, id);
    w.Comment(Sjis("デモの本体"));
    // Set once for the whole game: every object without a cursor of its own
    // shows the hand.
    w.Calc("@Cursor = \"hand.cur\"");
    // The music fades in over a second and loops until the end.
    w.Component(opSound, {{PR_NAME, "\"music\""}, {PR_SOURCE, "\"music.ogg\""}, {PR_VOLUME, "800"},
                          {PR_REPEAT, "1"}, {PR_DELAY, "1000"}});
    w.VarNew("lamp", PT_INT, "0");
    // Backgrounds lie below: children of equal priority sort by name.
    DemoBox(w, "sky", kLayer0, 0, 0, 640, 480, 0x402010, 255, 0, -1, -20);
    DemoBox(w, "ground", kLayer0, 0, 360, 640, 120, 0x206020, 255, 0, -1, -10);
    DemoBox(w, "red", kLayer0, 60, 80, 160, 120, 0x0000FF, 200);
    DemoBox(w, "green", kLayer0, 160, 140, 160, 120, 0x00FF00, 160);
    DemoBox(w, "blue", kLayer0, 260, 200, 160, 120, 0xFF0000, 160);
    DemoBox(w, "glow", kLayer0, 440, 60, 140, 140, 0x2080C0, 384, 6, 0x00FFFF);
    DemoBox(w, "lamp", kLayer0, 580, 400, 40, 40, 0x000060, 255, 3, 0xFFFFFF);
    DemoBox(w, "bar", kLayer0, 20, 440, 10, 16, 0x00C0FF);
    DemoBox(w, "runner", kLayer0, 20, 380, 40, 40, 0xFFFFFF);
    w.Component(opTimer, {{PR_NAME, "\"blinker\""}, {PR_DELAY, "300"}, {PR_ONNOTIFY, "\"blink.vsb\""}});
    w.PropMotion("\"slide\"", "\"runner\"", "3", "560", "2200", "2");
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
    w.SetProp("\"bar\"", "5", "(round + 1) * 120");
    w.Component(opSound, {{PR_SOURCE, "\"effect.wav\""}, {PR_VOLUME, "1000"}, {PR_AUTOSCRAP, "1"}});
    w.Wait("400");
    w.Calc("round = round + 1");
    w.Indent = 0;
    w.EndWhile();
    // The second picture is built on the hidden layer and comes in.
    DemoBox(w, "night", kHidden, 0, 0, 640, 480, 0x301000, 255, 0, -1, -20);
    DemoBox(w, "moon", kHidden, 420, 60, 120, 120, 0xC0F0FF, 255, 4, 0x80C0C0);
    DemoBox(w, "window", kHidden, 120, 220, 200, 140, 0x40C0FF, 128, 8, 0x204060);
    TPageWriter::FlipFields flip;
    flip.Kind = "4";
    flip.Duration = "800";
    flip.ClearOld = "1";
    w.Flip(flip);
    w.Jump(next);
    w.SaveToFile(folder + "main.vsb");
}

// After the scenes: the closing cadence (MIDI) comes in under the music's
// fade-out, and the game ends once both are gone.
void write_closing(const std::string& folder, const std::string& next) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_VOLUME}) w.SetMask(opSound, id);
    w.Component(opSound, {{PR_NAME, "\"finale\""}, {PR_SOURCE, "\"finale.mid\""}, {PR_VOLUME, "1000"}});
    w.Wait("600");
    w.MovieStop("\"music\"", "600", "1");
    w.Jump(next);
    w.SaveToFile(folder + "closing.vsb");
}

// Returns twice its argument.
void write_double(const std::string& folder) {
    TPageWriter w(109, PT_INT);
    w.Calc("@Result = @ParamStr[0] * 2");
    w.Exit();
    w.SaveToFile(folder + "double.vsb");
}

// The timer's handler: the lamp goes on and off.
void write_blink(const std::string& folder) {
    TPageWriter w;
    w.Calc("lamp = 1 - lamp");
    w.SetProp("\"lamp\"", "8", "lamp * 65280 + 96");
    w.Exit();
    w.SaveToFile(folder + "blink.vsb");
}

// The closing cadence as a standard MIDI file: one track at 480 ticks per
// quarter note and 120 beats a minute, four half-second chords and a
// held last one on the piano, 2.5 s in all.
void write_finale(const std::string& folder) {
    std::string t;
    auto delta = [&t](uint32_t n) {
        std::string v(1, char(n & 0x7F));
        while (n >>= 7) v.insert(v.begin(), char(0x80 | (n & 0x7F)));
        t += v;
    };
    auto event = [&t, &delta](uint32_t d, std::initializer_list<int> bytes) {
        delta(d);
        for (int b : bytes) t += char(b);
    };
    event(0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20});  // 500000 us per quarter note
    event(0, {0xC0, 0});                          // piano
    const int chords[][3] = {{60, 64, 67}, {60, 65, 69}, {59, 62, 67}, {60, 64, 72}};
    for (size_t c = 0; c < std::size(chords); ++c) {
        for (int n : chords[c]) event(0, {0x90, n, 90});
        const uint32_t length = c + 1 < std::size(chords) ? 480 : 1440;
        event(length, {0x80, chords[c][0], 0});
        for (int i = 1; i < 3; ++i) event(0, {0x80, chords[c][i], 0});
    }
    event(0, {0xFF, 0x2F, 0});
    std::string f = std::string("MThd\0\0\0\x06\0\0\0\x01\x01\xE0", 14) + "MTrk";
    for (int i = 3; i >= 0; --i) f += char(t.size() >> (8 * i));
    f += t;
    TFileStream out(folder + "finale.mid", fmCreate);
    out.WriteBuffer(f.data(), static_cast<int64_t>(f.size()));
}

// The closing page: the MIDI cadence plays out, then the game ends.
void write_finish(const std::string& folder) {
    TPageWriter w;
    w.Label("finish");
    w.Wait("2000");
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
        write_sounds(folder);
        WriteHandCursor(folder + "hand.cur");
        write_double(folder);
        write_blink(folder);
        write_finale(folder);
        write_finish(folder);
        // The pages play in this order, each jumping to the next.
        const DemoScene chain[] = {
            {"main.vsb", write_main},
            {"mes.vsb", WriteMesScene},
            {"images.vsb", WriteImagesScene},
            {"transitions.vsb", WriteTransitionsScene},
            {"widgets.vsb", WriteWidgetsScene},
            {"film.vsb", WriteFilmScene},
            {"video.vsb", WriteVideoScene},
            {"map.vsb", WriteMapScene},
            {"saves.vsb", WriteSavesScene},
            {"menu.vsb", WriteMenuScene},
            {"effects.vsb", WriteEffectsScene},
            {"particles.vsb", WriteParticlesScene},
            {"edit.vsb", WriteEditScene},
            {"closing.vsb", write_closing},
        };
        for (size_t i = 0; i < std::size(chain); ++i)
            chain[i].Write(folder, i + 1 < std::size(chain) ? chain[i + 1].Page : "finish.vsb");
    } catch (const Exception& e) {
        std::fprintf(stderr, "demo_builder: %s\n", e.Utf8Message().c_str());
        return 1;
    }
    return 0;
}
