// The story scene: Japanese text revealed character by character in a
// message window over a panel, a click or Enter/Space going on to the next
// page, and the backlog of what was shown called up in a second window by
// a right click or the B key. Without a player every page goes on by
// itself after a few seconds, and the backlog is shown once at the end.
// The narrator's voice (voice.wav, a voice-like sound made here, mono at
// 11025 Hz as voices often are) opens the first page.
#include "engine/opcodes.h"
#include "script/param.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "tests/support/glyph_list_writer.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr const char* kHiddenLayer = "\"\x01\"";
constexpr int kLogHeight = 264;
// The scene's pictures and windows let the mouse through to the layer,
// whose clicks the page waits for.
constexpr const char* kMouseGoesThrough = "1";

// Waits while nobody clicks or presses Enter, Space or B, at most ms.
const std::string kNobodyAsks =
    "(@LClick == 0) & (@RClick == 0) & (@KeyClick[13] == 0) & (@KeyClick[32] == 0) & (@KeyClick[66] == 0)";
const std::string kAsksForBacklog = "(@RClick <> 0) | (@KeyClick[66] <> 0)";

std::string q(const std::string& s) { return "\"" + s + "\""; }

// A stored message: each character waits 40 ms; "\n" breaks the line.
std::string message(const std::string& utf8) {
    TGlyphListWriter g;
    const uint32_t d = g.AddDecoration(StoredDecoration{});
    size_t at = 0;
    while (true) {
        const size_t nl = utf8.find('\n', at);
        g.Text(Sjis(utf8.substr(at, nl == std::string::npos ? std::string::npos : nl - at)), d, 40);
        if (nl == std::string::npos) break;
        g.Return();
        at = nl + 1;
    }
    return g.Bytes();
}

void text_ins(TPageWriter& w, const std::string& stored, const std::string& window) {
    std::string r;
    PutU32(r, static_cast<uint32_t>(stored.size()));
    // Recorded in the backlog, no wait (the page waits itself), events not blocked.
    w.Add(opTextIns, r + stored + RecExpr(window) + RecExpr("1") + RecExpr("0") + RecExpr("0"));
}

void set_masks(TPageWriter& w) {
    for (int id : {PR_NAME, PR_PARENT, PR_VISIBLE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_ALPHA,
                   PR_BORDERWIDTH, PR_BORDERCOLOR, PR_PRIORITY, PR_IGNOREMOUSE})
        w.SetMask(opBoxNew, id);
    for (int id : {PR_NAME, PR_PARENT, PR_VISIBLE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_PRIORITY, PR_FONTHEIGHT,
                   PR_FONTCOLOR, PR_FONTSHADOW, PR_FONTSHADOWCOLOR, PR_LINESPACE, PR_TEXTDELAY, PR_DELAY,
                   PR_IGNOREMOUSE})
        w.SetMask(opMesNew, id);
    for (int id : {PR_SOURCE, PR_VOLUME, PR_AUTOSCRAP}) w.SetMask(opSound, id);
}

void panel(TPageWriter& w, const char* name, int l, int t, int wd, int h, uint32_t colour, int alpha, int priority,
           bool visible) {
    w.Component(opBoxNew, {{PR_NAME, q(name)},
                           {PR_PARENT, kHiddenLayer},
                           {PR_VISIBLE, visible ? "1" : "0"},
                           {PR_LEFT, std::to_string(l)},
                           {PR_TOP, std::to_string(t)},
                           {PR_WIDTH, std::to_string(wd)},
                           {PR_HEIGHT, std::to_string(h)},
                           {PR_COLOR, std::to_string(colour)},
                           {PR_ALPHA, std::to_string(alpha)},
                           {PR_BORDERWIDTH, "2"},
                           {PR_BORDERCOLOR, std::to_string(0xA0C0E0)},
                           {PR_PRIORITY, std::to_string(priority)},
                           {PR_IGNOREMOUSE, kMouseGoesThrough}});
}

// text_delay 0 shows a page at once (the backlog), 256 at the stored pace.
void window(TPageWriter& w, const char* name, int l, int t, int wd, int h, uint32_t colour, int priority,
            bool visible, int text_delay) {
    w.Component(opMesNew, {{PR_NAME, q(name)},
                           {PR_PARENT, kHiddenLayer},
                           {PR_VISIBLE, visible ? "1" : "0"},
                           {PR_LEFT, std::to_string(l)},
                           {PR_TOP, std::to_string(t)},
                           {PR_WIDTH, std::to_string(wd)},
                           {PR_HEIGHT, std::to_string(h)},
                           {PR_PRIORITY, std::to_string(priority)},
                           {PR_FONTHEIGHT, "24"},
                           {PR_FONTCOLOR, std::to_string(colour)},
                           {PR_FONTSHADOW, "2"},
                           {PR_FONTSHADOWCOLOR, "0"},
                           {PR_LINESPACE, "8"},
                           {PR_TEXTDELAY, std::to_string(text_delay)},
                           {PR_DELAY, text_delay ? "120" : "0"},
                           {PR_IGNOREMOUSE, kMouseGoesThrough}});
}

// The reader's turn: go on at a click or a key (or after a few seconds);
// a right click or B first shows the backlog. The short pause lets the
// click that ended the wait pass before the next wait looks.
void reader_turn(TPageWriter& w) {
    w.Wait("2600", kNobodyAsks);
    w.Call("meslog.vsb", {}, "", 0, kAsksForBacklog);
    w.Wait("60");
}

// "mu-ka-shi" as three voiced syllables, 1.1 s: a glottal buzz whose
// harmonics are shaped by each vowel's formants, the pitch falling as a
// narrator's does.
void write_voice(const std::string& path) {
    constexpr int kRate = 11025;
    struct Syllable {
        double Length, PitchFrom, PitchTo;
        double Formants[3];
    };
    const Syllable syllables[] = {{0.28, 210, 225, {330, 1250, 2400}},  // u
                                  {0.30, 230, 205, {780, 1250, 2550}},  // a
                                  {0.42, 200, 145, {300, 2300, 3000}}}; // i
    const double gap = 0.04, bandwidth = 110;
    std::vector<double> v;
    double phase = 0, peak = 0;
    for (const Syllable& s : syllables) {
        const int n = int(s.Length * kRate);
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / n;
            const double f0 = s.PitchFrom + (s.PitchTo - s.PitchFrom) * t;
            phase += 2 * M_PI * f0 / kRate;
            const double env = std::fmin(1.0, i / (0.03 * kRate)) * std::fmin(1.0, (n - i) / (0.08 * kRate));
            double x = 0;
            // Harmonics up to 4.8 kHz, below half the rate.
            for (int k = 1; k * f0 < 4800; ++k) {
                double gain = 0;
                for (int j = 0; j < 3; ++j) {
                    const double d = (k * f0 - s.Formants[j]) / bandwidth;
                    gain += (j == 0 ? 1.0 : 0.6 / j) / (1 + d * d);
                }
                x += gain / std::sqrt(double(k)) * std::sin(k * phase);
            }
            v.push_back(env * x);
            peak = std::fmax(peak, std::fabs(env * x));
        }
        v.insert(v.end(), size_t(gap * kRate), 0.0);
    }
    std::vector<int16_t> samples;
    for (double x : v) samples.push_back(int16_t(0.5 * 32767 * x / peak));
    WriteWave(path, samples, 1, kRate);
}

void write_story(const std::string& folder, const std::string& next) {
    TPageWriter w;
    set_masks(w);
    w.Comment(Sjis("物語の場面"));
    panel(w, "mesback", 0, 0, 640, 480, 0x301808, 255, -20, true);
    panel(w, "mespanel", 20, 334, 600, 96, 0x100804, 200, 0, true);
    // Two rows of 24 px with 8 between them.
    window(w, "story", 44, 350, 552, 64, 0xFFFFFF, 1, true, 256);
    panel(w, "logpanel", 24, 24, 592, 292, 0x201008, 230, 2, false);
    window(w, "log", 44, 38, 552, kLogHeight, 0xC0E0FF, 3, false, 0);
    TPageWriter::FlipFields flip;
    flip.Kind = "1";
    flip.Duration = "500";
    flip.ClearOld = "1";
    w.Flip(flip);
    // The backlog lays pages out as the story window shows them.
    w.Add(opEntryHist, RecExpr(q("story")));
    // The voice plays out while the first page is read.
    w.Component(opSound, {{PR_SOURCE, q("voice.wav")}, {PR_VOLUME, "1000"}, {PR_AUTOSCRAP, "1"}});
    text_ins(w, message("むかしむかし、山のおくの小さな村に、\n古い時計台がありました。"), q("story"));
    reader_turn(w);
    // Three rows in a window of two: the second page is turned by INDEX.
    text_ins(w, message("時計台は毎朝かならず七つの鐘を鳴らし、\n村の人びとはその音で目をさましました。\n"
                        "ところがある朝、鐘はひとつも鳴りませんでした。"),
             q("story"));
    reader_turn(w);
    w.SetProp(q("story"), std::to_string(PR_INDEX), "1");
    reader_turn(w);
    text_ins(w, message("「さあ、わけをしらべに行こう」\n少女はそう言って、坂道をかけ上がりました。"), q("story"));
    reader_turn(w);
    // Without a player the backlog is shown once before the scene ends.
    w.Call("meslog.vsb");
    w.Add(opTextClr, RecExpr(q("story")));
    w.Jump(next);
    w.SaveToFile(folder + "mes.vsb");
}

// The backlog: the last window-full of what was shown, until the reader
// clicks or presses a key, or after a few seconds.
void write_backlog(const std::string& folder) {
    TPageWriter w;
    w.SetProp(q("logpanel"), std::to_string(PR_VISIBLE), "1");
    w.SetProp(q("log"), std::to_string(PR_VISIBLE), "1");
    w.VarNew("first", PT_INT, "@HistoryCount - " + std::to_string(kLogHeight));
    w.If("first < 0");
    w.Indent = 1;
    w.Calc("first = 0");
    w.Indent = 0;
    w.Add(opCallHist, RecExpr(q("log")) + RecExpr("first") + RecExpr(std::to_string(kLogHeight)) + RecExpr("0"));
    w.Wait("60");
    w.Wait("3000", kNobodyAsks);
    w.Add(opTextClr, RecExpr(q("log")));
    w.SetProp(q("log"), std::to_string(PR_VISIBLE), "0");
    w.SetProp(q("logpanel"), std::to_string(PR_VISIBLE), "0");
    w.Wait("60");
    w.Exit();
    w.SaveToFile(folder + "meslog.vsb");
}

}  // namespace

void WriteMesScene(const std::string& folder, const std::string& next) {
    write_voice(folder + "voice.wav");
    write_story(folder, next);
    write_backlog(folder);
}
