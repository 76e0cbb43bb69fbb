// The project file's layout and version gates, project start-up with its
// refusals, global variables, the disc test of FileExists, slot captions,
// and games read from an archive.
#include "script/game_clock.h"
#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "files/big_stream.h"
#include "files/vr_file_collection.h"
#include "files/vr_file_manager.h"
#include "files/install_set.h"
#include "platform/text/codepage.h"
#include "platform/display/video.h"
#include "render/wipes/custom_wipe.h"
#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

namespace {

// A version-103 project file assembled field by field.
std::string project_103() {
    std::string b = RecU32(103) + RecString("Title") + RecU32(800) + RecU32(600) + RecU32(1024) + RecU32(768) +
                    RecString("start.vsb") + RecString("Key") + RecU32(77) + RecString("disc %d") + RecString("bye");
    b += RecU32(2);
    b += RecU8(1) + RecString("score") + RecU32(42);
    b += RecU8(7) + RecString("odd");  // unknown type: no value bytes
    b += RecU32(1) + RecString("voice") + RecU32(2);
    return b;
}

TPageWriter empty_page() {
    TPageWriter w;
    w.Calc("");
    return w;
}

}  // namespace

TEST(ProjectFile, Version103Defaults) {
    TMemoryStream m = StreamOf(project_103());
    TProjectFileData d;
    ASSERT_TRUE(ReadProjectFile(m, d));
    EXPECT_EQ(m.GetPosition(), m.GetSize());
    EXPECT_EQ(d.Title, "Title");
    EXPECT_EQ(d.Width, 800);
    EXPECT_EQ(d.FullScreenHeight, 768);
    EXPECT_EQ(d.StartPage, "start.vsb");
    EXPECT_EQ(d.IdCode, 77u);
    EXPECT_EQ(d.SaveStatusToDisk, 1);
    EXPECT_EQ(d.SleepBetweenFrames, 0);
    EXPECT_EQ(d.SoundExtensions, ".wav.wma.ogg.mid");
    ASSERT_EQ(d.Variables.size(), 2u);
    EXPECT_EQ(d.Variables[0].Int, 42);
    EXPECT_EQ(d.Variables[1].Type, 7);
    ASSERT_EQ(d.FolderDisks.size(), 1u);
    EXPECT_EQ(d.FolderDisks[0].Disk, 2);
    // The writer lays the same fields out the same way.
    TMemoryStream out;
    WriteProjectFile(out, d);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.GetSize())),
              project_103());
}

TEST(ProjectFile, VersionGates) {
    for (uint32_t v : {104u, 105u, 106u, 108u, 109u}) {
        SCOPED_TRACE(v);
        TProjectFileData d = TestProjectData("s.vsb", v);
        d.SaveStatusToDisk = 0;
        d.SleepBetweenFrames = 1;
        d.SoundExtensions = ".ogg";
        TProjectFileData::Variable f;
        f.Type = PT_FLOAT;
        f.Name = "ratio";
        f.Float = 0.1L;
        d.Variables.push_back(f);
        TMemoryStream m = StreamOf(ProjectFileBytes(d));
        TProjectFileData r;
        ASSERT_TRUE(ReadProjectFile(m, r));
        EXPECT_EQ(m.GetPosition(), m.GetSize());
        EXPECT_EQ(r.SaveStatusToDisk, 0);
        EXPECT_EQ(r.SleepBetweenFrames, v >= 106 ? 1 : 0);
        EXPECT_EQ(r.SoundExtensions, v >= 109 ? ".ogg" : ".wav.wma.ogg.mid");
        EXPECT_EQ(r.Variables[0].Float, 0.1L);  // all 80 bits kept
    }
    TMemoryStream newer = StreamOf(ProjectFileBytes(TestProjectData("s.vsb", 110)));
    TProjectFileData r;
    EXPECT_FALSE(ReadProjectFile(newer, r));
}

TEST(ProjectFile, TruncatedOrCorruptDataIsRefused) {
    const std::string full = project_103();
    for (size_t n = 0; n < full.size(); ++n) {
        TMemoryStream m = StreamOf(full.substr(0, n));
        TProjectFileData d;
        EXPECT_THROW(ReadProjectFile(m, d), Exception) << n;
    }
    TMemoryStream huge = StreamOf(RecU32(109) + RecU32(0x7FFFFFF0) + "abc");
    TProjectFileData d;
    EXPECT_THROW(ReadProjectFile(huge, d), ECorruptData);
}

TEST(ProjectFile, DamagedBytesLoadOrAreRefusedByField) {
    // A version-109 file with a variable of each kind: every prefix is
    // refused, a damaged length names its field, and each byte replaced
    // three ways loads or is refused, never more.
    TProjectFileData d = TestProjectData("s.vsb", 109);
    for (uint8_t type : {PT_INT, PT_FLOAT, PT_BOOL, PT_STR}) {
        TProjectFileData::Variable v;
        v.Type = type;
        v.Name = "v" + std::to_string(type);
        v.Text = "text";
        d.Variables.push_back(v);
    }
    d.FolderDisks.push_back({"voice", 2});
    const std::string full = ProjectFileBytes(d);
    const std::string head = Sjis("プロジェクトファイルが壊れています");
    for (size_t n = 0; n < full.size(); ++n) {
        TMemoryStream m = StreamOf(full.substr(0, n));
        TProjectFileData r;
        EXPECT_THROW(ReadProjectFile(m, r), Exception) << n;
    }
    const struct {
        size_t at;
        const char* field;
    } fields[] = {{0, nullptr}, {4, "title"}};
    for (const auto& f : fields) {
        std::string bytes = full;
        bytes[f.at + 3] = '\x7F';
        TMemoryStream m = StreamOf(bytes);
        TProjectFileData r;
        if (!f.field) {
            EXPECT_FALSE(ReadProjectFile(m, r));  // a version far too new
            continue;
        }
        try {
            ReadProjectFile(m, r);
            ADD_FAILURE() << f.field;
        } catch (const ECorruptData& e) {
            EXPECT_EQ(e.Message(), head + " (" + f.field + ")");
        }
    }
    for (size_t i = 0; i < full.size(); ++i) {
        for (char v : {'\x00', '\x7F', '\xFF'}) {
            std::string bytes = full;
            bytes[i] = v;
            TMemoryStream m = StreamOf(bytes);
            TProjectFileData r;
            try {
                ReadProjectFile(m, r);
            } catch (const Exception&) {
            }
        }
    }
}

TEST(Project, StartsTheStartPage) {
    TTestGameFolder g;
    TProjectFileData d = TestProjectData("start.vsb", 103);
    d.Width = 641;
    d.Height = 479;
    g.WriteProject(d);
    g.WritePage("start.vsb", empty_page());
    THeadlessRunner r(g.Path());
    ASSERT_TRUE(r.Running());
    TProject& p = r.Project();
    EXPECT_EQ(p.Title, "test game");
    EXPECT_EQ(p.Width, 641);
    // A zoom-in given no point closes in on the screen's centre.
    int32_t x = 0, y = 0;
    WipeDefaults(30, x, y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 239);
    EXPECT_EQ(p.SleepBetweenFrames, 0);  // version 103: no sleeping
    EXPECT_EQ(p.SoundExtensions, ".wav.wma.ogg.mid");
    ASSERT_NE(p.CallMan->Page, nullptr);
    EXPECT_EQ(p.CallMan->Page->Name, "start.vsb");
    EXPECT_EQ(p.SavePath(), g.Path() + "save.dat");
    EXPECT_EQ(p.LoadSlot, -1);
    EXPECT_EQ(p.SaveSlot, -1);
}

// The refusal shown (headless: on stderr, as UTF-8) while creating the game.
std::string refusal_of(TTestGameFolder& g, bool& running) {
    testing::internal::CaptureStderr();
    {
        THeadlessRunner r(g.Path());
        running = r.Running();
    }
    return testing::internal::GetCapturedStderr();
}

TEST(Project, Refusals) {
    bool running = true;
    {
        TTestGameFolder g;  // no project file
        EXPECT_NE(refusal_of(g, running).find("警告: プロジェクトがありません"), std::string::npos);
        EXPECT_FALSE(running);
        EXPECT_TRUE(Terminating);
    }
    {
        TTestGameFolder g;  // an empty project file
        g.WriteFile("vorq.vpb", "");
        EXPECT_NE(refusal_of(g, running).find("プロジェクトがありません"), std::string::npos);
        EXPECT_TRUE(Terminating);
    }
    {
        TTestGameFolder g;  // too new: refused without a message
        g.WriteProject(TestProjectData("start.vsb", 110));
        g.WritePage("start.vsb", empty_page());
        EXPECT_EQ(refusal_of(g, running), "");
        EXPECT_TRUE(Terminating);
        EXPECT_FALSE(running);
    }
    {
        TTestGameFolder g;  // cut short: refused without a message
        const std::string bytes = ProjectFileBytes(TestProjectData("start.vsb"));
        g.WriteFile("vorq.vpb", bytes.substr(0, bytes.size() - 3));
        EXPECT_EQ(refusal_of(g, running), "");
        EXPECT_TRUE(Terminating);
    }
    {
        TTestGameFolder g;  // the start page is missing
        g.WriteProject(TestProjectData("start.vsb"));
        EXPECT_NE(refusal_of(g, running).find("警告: スタートページがありません"), std::string::npos);
        EXPECT_TRUE(Terminating);
        EXPECT_FALSE(running);
    }
    {
        TTestGameFolder g;  // a page too old to run stops the player
        g.WriteProject(TestProjectData("start.vsb"));
        TPageWriter old(102);
        old.Calc("");
        g.WritePage("start.vsb", old);
        EXPECT_NE(refusal_of(g, running).find("警告: リビルドしてください\r\nstart.vsb"), std::string::npos);
        EXPECT_TRUE(Terminating);
    }
}

TEST(Project, GlobalVariablesAreKeptAndStatusValuesWin) {
    TTestGameFolder g;
    TProjectFileData d = TestProjectData("start.vsb");
    auto add = [&](uint8_t type, const std::string& name) -> TProjectFileData::Variable& {
        TProjectFileData::Variable v;
        v.Type = type;
        v.Name = name;
        d.Variables.push_back(v);
        return d.Variables.back();
    };
    add(PT_INT, "score").Int = 1;
    add(PT_FLOAT, "rate").Float = 2.5L;
    add(PT_BOOL, "flag").Flag = 1;
    add(PT_STR, "name").Text = "abc";
    add(9, "nothing");
    g.WriteProject(d);
    g.WritePage("start.vsb", empty_page());
    // A status record in save.dat already holds "score".
    {
        TParamCollection status;
        TParamCollectionItem* v = status.AddVariable(PT_INT);
        v->SetName("score");
        v->SetKept(true);
        v->SetAsInt(5);
        TVrFileCollection save;
        TVrFile* e = save.AddEntry("STATUSSAVEDATA");
        e->Data->WriteBuffer("Status103", 9);
        status.SaveStatusVariables(*e->Data);
        TWzBigFileStream out(g.Path() + "save.dat", fmCreate);
        save.SaveToStream(out);
    }
    THeadlessRunner r(g.Path());
    ASSERT_TRUE(r.Running());
    EXPECT_EQ(Params->Find("score")->GetAsInt(), 5);
    EXPECT_EQ(Params->Find("rate")->GetAsFloat(), 2.5L);
    EXPECT_TRUE(Params->Find("flag")->GetAsBool());
    EXPECT_EQ(Params->Find("name")->GetAsString(), "abc");
    EXPECT_TRUE(Params->Find("name")->Kept());
    EXPECT_EQ(Params->Find("nothing"), nullptr);
}

TEST(Project, FileExistsAsksForDiscsExceptForSounds) {
    TTestGameFolder g;
    TProjectFileData d = TestProjectData("start.vsb");
    d.FolderDisks.push_back({"movie", 2});
    g.WriteProject(d);
    g.WritePage("start.vsb", empty_page());
    THeadlessRunner r(g.Path());
    ASSERT_TRUE(r.Running());
    int asked = 0;
    std::vector<std::string> texts;
    FileManager->AskOkCancel = [&](const std::string& text) {
        ++asked;
        texts.push_back(text);
        return asked > 1;  // refuse the disc, then confirm quitting
    };
    FileManager->OnQuit = [] {};
    TProject& p = r.Project();
    EXPECT_TRUE(p.FileExists("start.vsb"));
    EXPECT_FALSE(p.FileExists(""));
    EXPECT_FALSE(p.FileExists("movie\\voice.ogg"));  // a sound: simply missing
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(p.FileExists("other\\clip.wmv"));  // not on another disc
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(p.FileExists("movie\\clip.wmv"));
    EXPECT_GE(asked, 1);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "disc 2");
    FileManager->AskOkCancel = nullptr;
    FileManager->OnQuit = nullptr;
}

TEST(Project, OriginalProjectSuppliesTheDiscTable) {
    TTestGameFolder g;
    TProjectFileData d = TestProjectData("start.vsb");
    d.FolderDisks.push_back({"a", 1});
    g.WriteProject(d);
    TProjectFileData original = TestProjectData("other.vsb", 105);
    original.Title = "other";
    original.FolderDisks.push_back({"b", 3});
    original.FolderDisks.push_back({"c", 4});
    g.WriteArchive("game.dat", {{"/original_vorq.vpb", ProjectFileBytes(original)}, {"start.vsb", empty_page().Bytes()}});
    THeadlessRunner r(g.Path());
    ASSERT_TRUE(r.Running());
    TProject& p = r.Project();
    EXPECT_EQ(p.Title, "test game");
    ASSERT_EQ(p.FolderDisks.Count(), 2);
    EXPECT_EQ(p.FolderDisks.Get(1).Disk, 4);
}

TEST(Project, GameFromAnArchiveFile) {
    TTestGameFolder g;
    TPageWriter w;
    w.VarNew("ran", PT_INT, "1");
    g.WriteArchive("pack.dat", {{"vorq.vpb", ProjectFileBytes(TestProjectData("s.vsb"))}, {"s.vsb", w.Bytes()}});
    THeadlessRunner r(g.Path() + "pack.dat");
    ASSERT_TRUE(r.Running());
    r.Frame();
    ASSERT_NE(Params->Find("ran"), nullptr);
    EXPECT_EQ(Params->Find("ran")->GetAsInt(), 1);
}

TEST(Project, SlotCaptions) {
    TTestGameFolder g;
    g.WriteProject(TestProjectData("start.vsb"));
    g.WritePage("start.vsb", empty_page());
    {
        TVrFileCollection save;
        auto entry = [&](const std::string& name, const std::string& caption) {
            TVrFile* e = save.AddEntry(name);
            e->Data->WriteBuffer("\x82\0\0\0", 4);
            const std::string s = RecString(caption);
            e->Data->WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
        };
        entry("GAMESAVEDATA0", "first");
        entry("GAMESAVEDATA12", "twelfth");
        entry("GAMESAVEDATAx", "not a number");
        entry("GAMESAVEDATA-1", "negative");
        entry("GAMESAVEDATA", "no number");
        TWzBigFileStream out(g.Path() + "save.dat", fmCreate);
        save.SaveToStream(out);
    }
    THeadlessRunner r(g.Path());
    TProject& p = r.Project();
    EXPECT_EQ(p.SlotCaptions.size(), 2u);
    EXPECT_EQ(p.GetSlotCaption(0), "first");
    EXPECT_EQ(p.GetSlotCaption(12), "twelfth");
    EXPECT_EQ(p.GetSlotCaption(3), "");
    p.SetSlotCaption(12, "new");
    p.SetSlotCaption(4, "four");
    EXPECT_EQ(p.GetSlotCaption(12), "new");
    EXPECT_EQ(p.GetSlotCaption(4), "four");
}

TEST(Project, SaveAndLoadRequests) {
    TTestGameFolder g;
    g.WriteProject(TestProjectData("start.vsb"));
    TPageWriter w;
    w.GameSave("3", "\"caption\"", "resume.vsb", 4);
    w.GameLoad("2");
    g.WritePage("start.vsb", w);
    THeadlessRunner r(g.Path());
    TProject& p = r.Project();
    // The commands only post their requests (the frame loop serves them).
    p.Step();  // a save request ends the frame's commands
    EXPECT_EQ(p.SaveSlot, 3);
    EXPECT_EQ(p.SaveCaption, "caption");
    EXPECT_EQ(p.SaveResumePage, "resume.vsb");
    EXPECT_EQ(p.SaveResumePC, 4);
    EXPECT_EQ(p.LoadSlot, -1);
    p.Step();
    EXPECT_EQ(p.LoadSlot, 2);
}

TEST(Project, LocatingDataOnAMissingDiscEndsWithoutADisplay) {
    // install.dat says the data stays on the disc, no disc is mounted and
    // nobody can answer the prompt: one look, then give up instead of asking
    // "insert the disc" for ever.
    TTestGameFolder g;
    TProjectFileData d = TestProjectData("start.vsb");
    g.WriteProject(d);
    g.WritePage("start.vsb", empty_page());
    TVorqInstallSet install;
    install.Title = "Missing disc";
    install.CopyAll = 0;
    install.SaveToFile(g.Path() + "install.dat");
    THeadlessRunner r(g.Path());
    ASSERT_TRUE(r.Running());
    ASSERT_FALSE(DisplayAvailable());
    FileManager->SetBaseFolder(g.Path());
    EXPECT_FALSE(r.Project().LocateData());
}
