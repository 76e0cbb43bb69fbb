// Game and status saves in the player's own window (headless): a scene of
// every object kind the player makes, the backlog, the call stack, the
// variables and the tables saved and loaded back to the same bytes; the
// status outliving a restart; requests served between frames; damaged,
// newer and killed-mid-write saves.
#include "engine/game_save.h"

#include "shell/form_view.h"
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "engine/project.h"
#include "engine/save_file.h"
#include "engine/scenario_writer.h"
#include "files/big_stream.h"
#include "files/db_table.h"
#include "files/save_stream.h"
#include "files/vr_file_collection.h"
#include "objects/object_kinds.h"
#include "objects/scene/scene.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/player_window.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <random>
#include <set>

namespace {

// Without a display the boxes' texts go to stderr (in UTF-8): what f
// showed, one text per box.
template <class F>
std::vector<std::string> boxes_during(F f) {
    const uint32_t before = MessageBoxesShown();
    testing::internal::CaptureStderr();
    f();
    const std::string out = testing::internal::GetCapturedStderr();
    std::vector<std::string> texts;
    if (MessageBoxesShown() != before) texts.push_back(out);
    return texts;
}

bool mentions(const std::vector<std::string>& boxes, const char* utf8) {
    return !boxes.empty() && boxes[0].find(utf8) != std::string::npos;
}

// The unpacked content of one entry of save.dat ("" when it is missing).
std::string entry_bytes(const std::string& save_path, const std::string& name) {
    TVrFileCollection a;
    a.Open(save_path);
    const TVrFile* e = a.FindEntry(name);
    if (!e) return {};
    TMemoryStream m;
    a.LoadEntry(*e, m);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

// Where two records part, for a readable failure.
std::string first_difference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size() && i == b.size()) return "same";
    const size_t from = i < 16 ? 0 : i - 16;
    return "at byte " + std::to_string(i) + " of " + std::to_string(a.size()) + "/" + std::to_string(b.size()) +
           ": ..." + testing::PrintToString(a.substr(from, 48)) + " vs ..." + testing::PrintToString(b.substr(from, 48));
}

std::string file_bytes(const std::string& path) {
    TMemoryStream m;
    m.LoadFromFile(path);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

class GameSave : public PlayerWindowTest {
protected:
    void SetUp() override {
        InstallPlayerModules();
        PlayerWindowTest::SetUp();
        History().Clear();
        ReadList().Clear();
        DBManager().Clear();
    }
    void TearDown() override {
        PlayerWindowTest::TearDown();
        History().Clear();
        ReadList().Clear();
        DBManager().Clear();
    }
    std::string save_path() const { return folder.Path() + "save.dat"; }
    void open(const TProjectFileData& project) {
        folder.WriteProject(project);
        open_view();
        ASSERT_FALSE(Terminating);
    }
    void start(const TPageWriter& main) {
        folder.WritePage("main.vsb", main);
        open(TestProjectData("main.vsb"));
    }
    void close() {
        view.reset();
        Terminating = false;
    }
    void idle(int frames = 1) {
        for (int i = 0; i < frames && !Terminating; ++i) {
            clock += 16;
            view->ApplicationEventsIdle();
        }
    }
    TParamCollectionItem* var(const std::string& name) { return Params ? Params->Find(name) : nullptr; }
    int32_t int_var(const std::string& name) {
        TParamCollectionItem* v = var(name);
        return v ? v->GetAsInt() : -999;
    }
    std::string game_record(int32_t slot) { return entry_bytes(save_path(), GameSaveEntryName(slot)); }
    // save.dat as a player leaves it: slots 1 to 3 ("slot n") and a status
    // holding a read mark. Its bytes; nothing of it is left in memory.
    std::string three_slots() {
        TPageWriter main;
        main.Wait("1000000");
        start(main);
        for (int32_t slot = 1; slot <= 3; ++slot) Project->SaveGame(slot, "", 0, "slot " + std::to_string(slot));
        ReadList().SetPending("win", "main.vsb", 2, 5);
        ReadList().CommitPending("win");
        close();
        return file_bytes(save_path());
    }
    void expect_only_whole_entries_survive(const std::string& damaged, const std::set<int32_t>& lost,
                                           bool status_lost);
    // Starts the game on save.dat holding bytes, with no copy kept before.
    void open_on(const std::string& bytes) {
        for (const char* name : {"save.dat.damaged", "save.dat.damaged.2"}) DeleteFile(folder.Path() + name);
        folder.WriteFile("save.dat", bytes);
        ReadList().Clear();
        open(TestProjectData("main.vsb"));
    }
};

size_t damage_notices(const std::vector<std::string>& boxes) {
    size_t n = 0;
    for (size_t at = 0; !boxes.empty() && (at = boxes[0].find("が壊れているため読めません", at)) != std::string::npos; ++at) ++n;
    return n;
}

// ---- a whole game round trip ------------------------------------------------------------

TEST_F(GameSave, EveryKindTheBacklogTheStackAndTheVariablesComeBackAndSaveTheSameBytes) {
    TPageWriter main;
    main.VarNew("score", PT_INT, "42");
    main.VarNew("hero", PT_STR, "\"Taro\"");
    main.VarNew("rate", PT_FLOAT, "2.5");
    main.Call("sub.vsb", {"7", "\"x\""});
    TPageWriter sub;
    sub.VarNew("inner", PT_INT, "@ParamStr[0] * 3");
    sub.Wait("1000000");  // waits with its command state
    folder.WritePage("sub.vsb", sub);
    start(main);
    idle(3);
    ASSERT_EQ(Project->CallMan->Stack.Count(), 1);
    TVorqBaseList& reg = *VorqBaseList;

    // Every kind the player makes, controls alternating between the layers
    // and the first box holding the next control.
    std::map<std::string, uint8_t> made;
    TVorqControl* holder = nullptr;
    for (int32_t id = 0; id < 128; ++id) {
        if (ObjectKindStatus(id) != TKindStatus::Built) continue;
        TVorqObject* o = CreateObjectByType(&reg, id);
        ASSERT_NE(o, nullptr) << id;
        const std::string name = "kind" + std::to_string(id);
        o->SetName(name);
        if (o->IsControl()) {
            auto* c = static_cast<TVorqControl*>(o);
            c->SetParent(holder && made.size() % 3 == 1 ? holder : reg.GetBaseAt(id & 1));
            c->SetLeft(id * 3);
            c->SetTop(id * 2);
            if (!holder && id == LT_BOX) holder = c;
        }
        made[name] = static_cast<uint8_t>(id);
    }
    ASSERT_GE(made.size(), 6u);
    ASSERT_NE(holder, nullptr);
    const std::string holder_name = holder->GetName();
    holder->SetHandleKey(true);
    reg.SetFocusObject(holder);
    TArrayString args;
    args.Add("arg");
    reg.Events.AddEvent(holder, "click.vsb", &args, PR_ONLBTNDOWN);
    auto piece = std::make_unique<TVorqHistData>();
    piece->AddPiece("main.vsb", 3, "line=1", 20, 10, 0);
    History().Entries.push_back(std::move(piece));
    const int table = DBManager().AddTable("items", 0);
    ASSERT_GE(table, 0);
    ASSERT_TRUE(DBManager().GetTable(table)->LoadFromText({"id int\tname string 8", "1\tsword", "2\tshield"}));

    ASSERT_TRUE(boxes_during([&] { Project->SaveGame(4, "", 0, "first"); }).empty());
    const std::string saved = game_record(4);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(Project->GetSlotCaption(4), "first");

    // Everything changes before the load.
    reg.ResetScene();
    History().Clear();
    DBManager().Clear();
    Params->Find("score")->SetAsInt(0);
    Project->CallMan->Start("main.vsb");

    ASSERT_TRUE(boxes_during([&] { Project->LoadGame(4); }).empty());
    ASSERT_FALSE(Terminating);
    for (const auto& [name, id] : made) {
        TVorqObject* o = reg.FindObject(name);
        ASSERT_NE(o, nullptr) << name;
        EXPECT_EQ(o->GetCompoType(), id) << name;
        if (o->IsControl()) {
            EXPECT_EQ(static_cast<TVorqControl*>(o)->GetLeft(), id * 3) << name;
        }
    }
    ASSERT_NE(reg.Focus(), nullptr);
    EXPECT_EQ(reg.Focus()->GetName(), holder_name);
    EXPECT_EQ(reg.Events.Count(), 1);
    EXPECT_EQ(History().Entries.size(), 1u);
    EXPECT_EQ(int_var("score"), 42);
    EXPECT_EQ(Params->Find("hero")->GetAsString(), "Taro");
    EXPECT_EQ(Project->CallMan->Stack.Count(), 1);
    ASSERT_NE(Project->CallMan->Page, nullptr);
    EXPECT_EQ(Project->CallMan->Page->Name, "sub.vsb");
    EXPECT_EQ(int_var("inner"), 21);
    EXPECT_GE(DBManager().IndexOf("items"), 0);

    // The variables come back in the reverse of their table order (as
    // stored saves expect), so the bytes repeat after two round trips.
    Project->SaveGame(5, "", 0, "first");
    EXPECT_EQ(game_record(5).size(), saved.size());
    Project->LoadGame(5);
    Project->SaveGame(6, "", 0, "first");
    EXPECT_EQ(first_difference(game_record(6), saved), "same");
    // The slot saved first was copied as stored, not rebuilt.
    EXPECT_EQ(game_record(4), saved);
}

// ---- requests served by the frame loop ----------------------------------------------------

TEST_F(GameSave, AScriptSavesGoesOnAndLoadsBackToTheCommandAfterItsSave) {
    TPageWriter main;
    main.VarNew("x", PT_INT, "1");
    main.GameSave("0", "\"slot zero\"");
    main.Calc("x = x + 10");
    main.If("loads == 0");
    main.Indent = 1;
    main.Calc("loads = 1");
    main.GameLoad("0");
    main.Indent = 0;
    main.Label("end");
    main.Wait("1000000");
    folder.WritePage("main.vsb", main);
    TProjectFileData d = TestProjectData("main.vsb");
    TProjectFileData::Variable loads;  // kept over loads
    loads.Type = PT_INT;
    loads.Name = "loads";
    d.Variables.push_back(loads);
    open(d);
    EXPECT_TRUE(boxes_during([&] { idle(10); }).empty());
    ASSERT_FALSE(Terminating);
    EXPECT_EQ(int_var("loads"), 1);
    // The load restored x = 1 and play went on after the save once more.
    EXPECT_EQ(int_var("x"), 11);
    EXPECT_EQ(Project->GetSlotCaption(0), "slot zero");
    EXPECT_EQ(Project->LoadSlot, -1);
    EXPECT_EQ(Project->SaveSlot, -1);
}

TEST_F(GameSave, ALoadAndASaveInOneFrameLoadFirstAndAResumePageRunsBeforeTheLoadedFlow) {
    TPageWriter main;
    main.VarNew("x", PT_INT, "5");
    main.Calc("resumed = resumed + 100");  // counts the runs of the page's start
    main.Label("after");
    main.Wait("1000000");
    TPageWriter resume;
    resume.Calc("resumed = resumed + 1");
    resume.Exit();
    folder.WritePage("resume.vsb", resume);
    TProjectFileData d = TestProjectData("main.vsb");
    TProjectFileData::Variable resumed;
    resumed.Type = PT_INT;
    resumed.Name = "resumed";
    d.Variables.push_back(resumed);
    folder.WritePage("main.vsb", main);
    open(d);
    idle(2);
    Project->SaveGame(1, "resume.vsb", 0, "with resume");
    Params->Find("x")->SetAsInt(6);
    Project->SaveGame(2, "", 0, "x is six");
    // Load 1 (x = 5) and save it into 2 in one frame.
    Project->LoadSlot = 1;
    Project->SaveSlot = 2;
    Project->SaveCaption = "from one";
    Project->SaveResumePage.clear();
    EXPECT_TRUE(Project->ProcessRequests());
    EXPECT_EQ(int_var("x"), 5);
    // The resume page runs first, then the loaded page goes on waiting.
    idle(3);
    ASSERT_FALSE(Terminating);
    EXPECT_EQ(int_var("resumed"), 101) << "the loaded flow goes on at its wait, not from the start";
    EXPECT_EQ(Project->CallMan->Page->Name, "main.vsb");
    EXPECT_EQ(Project->CallMan->PC, 3);
    EXPECT_EQ(Project->CallMan->Stack.Count(), 0);
    const std::string two = game_record(2);
    TMemoryStream m = StreamOf(two);
    EXPECT_EQ(ReadGameHead(m).Caption, "from one");
}

TEST_F(GameSave, SlotNamesCaptionsAndEmptyCaptions) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    const struct {
        int32_t Slot;
        const char* Caption;
        const char* Entry;
    } cases[] = {{0, "zero", "GAMESAVEDATA0"}, {12, "twelve", "GAMESAVEDATA12"}, {3, "", nullptr}};
    for (const auto& c : cases) {
        Project->SaveGame(c.Slot, "", 0, c.Caption);
        if (c.Entry) {
            EXPECT_FALSE(entry_bytes(save_path(), c.Entry).empty()) << c.Entry;
        } else {
            EXPECT_TRUE(game_record(c.Slot).empty()) << "an empty caption saves nothing";
        }
    }
    Project->RefreshSlotCaptions();
    EXPECT_EQ(Project->GetSlotCaption(0), "zero");
    EXPECT_EQ(Project->GetSlotCaption(12), "twelve");
    EXPECT_EQ(Project->GetSlotCaption(3), "");
    // A missing slot loads nothing and says nothing.
    EXPECT_TRUE(boxes_during([&] { Project->LoadGame(7); }).empty());
    EXPECT_FALSE(Terminating);
}

// ---- the status record --------------------------------------------------------------------

TEST_F(GameSave, TheStatusOutlivesARestart) {
    TPageWriter main;
    main.Calc("kept = 99");
    main.Wait("1000000");
    TProjectFileData d = TestProjectData("main.vsb");
    TProjectFileData::Variable kept;
    kept.Type = PT_INT;
    kept.Name = "kept";
    d.Variables.push_back(kept);
    folder.WritePage("main.vsb", main);
    open(d);
    idle(2);
    ASSERT_EQ(int_var("kept"), 99);
    ReadList().SetPending("win", "main.vsb", 2, 5);
    ReadList().CommitPending("win");
    const int t = DBManager().AddTable("status", 1);
    ASSERT_TRUE(DBManager().GetTable(t)->LoadFromText({"n int", "17"}));
    const int g = DBManager().AddTable("game", 0);
    ASSERT_GE(g, 0);
    close();
    ASSERT_TRUE(FileExists(save_path()));
    const std::string status = entry_bytes(save_path(), kStatusEntryName);
    EXPECT_EQ(status.substr(0, 9), "Status103");

    ReadList().Clear();
    DBManager().Clear();
    folder.WritePage("main.vsb", [] {
        TPageWriter w;
        w.Wait("1000000");
        return w;
    }());
    open(d);
    EXPECT_EQ(int_var("kept"), 99);
    EXPECT_TRUE(ReadList().IsRead("main.vsb", 5, 2));
    const int back = DBManager().IndexOf("status");
    ASSERT_GE(back, 0);
    int32_t n = 0;
    EXPECT_TRUE(DBManager().GetTable(back)->GetInt(0, 0, n));
    EXPECT_EQ(n, 17);
    EXPECT_LT(DBManager().IndexOf("game"), 0) << "game tables belong to game saves";
}

TEST_F(GameSave, UntaggedAndOldStatusRecordsReadWithoutTheirLaterParts) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    struct Case {
        const char* Name;
        std::string Tag;
        bool Tables;
    };
    for (const Case& c : {Case{"untagged", "", false}, Case{"102", "Status102", false}, Case{"103", "Status103", true}}) {
        SCOPED_TRACE(c.Name);
        TMemoryStream s;
        s.WriteBuffer(c.Tag.data(), static_cast<int64_t>(c.Tag.size()));
        Params->SaveStatusVariables(s);
        if (!c.Tag.empty()) {
            TVorqReadList marks;
            marks.SaveToStream(s);
            WriteStreamByte(s, 0);
        }
        TDBManager tables;
        tables.AddTable("t", 1);
        if (c.Tables) tables.SaveToStream(s, 1);
        DBManager().Clear();
        s.SetPosition(0);
        ReadStatusRecord(s);
        EXPECT_EQ(DBManager().IndexOf("t") >= 0, c.Tables);
        if (c.Tag.empty()) {
            EXPECT_EQ(s.Remaining(), 0);
        }
    }
}

// ---- refused saves -------------------------------------------------------------------------

// A kept finding: a status table with a column of unknown kind whose size
// is -1. The record is refused, and no table is left whose cells a script
// could write past its rows.
TEST_F(GameSave, AStatusRecordWithAColumnOfUnknownKindIsRefused) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    const std::string bytes =
        ReadFileBytes(std::string(VORQ_TEST_DATA) + "/fuzz-findings/status-record-bad-column.bin");
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    DBManager().Clear();
    EXPECT_THROW(ReadStatusRecord(s), ECorruptData);
    for (int i = 0; i < DBManager().Count(); ++i) {
        TDBTable* t = DBManager().GetTable(i);
        if (!t->First()) continue;
        for (int c = 0; c < t->Fields.Count(); ++c) t->SetIntByName(t->Fields.GetField(c)->Name, 1);
    }
}

TEST_F(GameSave, DamagedNewerAndTruncatedSavesEndTheGameWithTheMessage) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    Project->SaveGame(1, "", 0, "good");
    const std::string good = game_record(1);
    ASSERT_FALSE(good.empty());
    std::string newer = good, older = good;
    newer[0] = char(kGameSaveVersion + 1);
    older[0] = char(kOldestGameSave - 1);
    std::string bad_type = good;  // width field made absurd
    bad_type[23] = char(0x7F);  // the width's high byte, after a 20-byte head
    const struct {
        const char* Name;
        std::string Record;
    } cases[] = {
        {"newer version", newer},           {"older version", older},       {"cut after the head", good.substr(0, 20)},
        {"cut in the middle", good.substr(0, good.size() / 2)}, {"cut at the end", good.substr(0, good.size() - 1)},
        {"absurd scene width", bad_type},   {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream record = StreamOf(c.Record);
        const std::string name = GameSaveEntryName(9);
        const TMemoryStream* content = &record;
        TSaveFile(save_path()).Store(&name, &content, 1);
        Terminating = false;
        const auto boxes = boxes_during([&] { Project->LoadGame(9); });
        EXPECT_TRUE(Terminating);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(mentions(boxes, "このセーブデータは使用できません\r\n終了してください")) << boxes[0];
    }
    Terminating = false;
    // The good slot still loads.
    EXPECT_TRUE(boxes_during([&] { Project->LoadGame(1); }).empty());
    EXPECT_FALSE(Terminating);
}

TEST_F(GameSave, AFailedLoadClosesTheWindow) {
    TPageWriter main;
    main.GameLoad("3");
    main.Wait("1000000");
    start(main);
    TMemoryStream junk = StreamOf("not a save");
    const std::string name = GameSaveEntryName(3);
    const TMemoryStream* content = &junk;
    TSaveFile(save_path()).Store(&name, &content, 1);
    const auto boxes = boxes_during([&] { idle(5); });
    EXPECT_TRUE(Terminating);
    EXPECT_TRUE(view->ClosePosted());
    EXPECT_TRUE(mentions(boxes, "このセーブデータは使用できません"));
    // The unusable slot is not overwritten by anything on the way out.
    EXPECT_EQ(entry_bytes(save_path(), name), "not a save");
}

TEST_F(GameSave, AControlOnNoLayerIsLeftOutAndTheSaveIsWritten) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    // As a creation command with an empty PARENT leaves it.
    TVorqObject* loose = CreateObjectByType(VorqBaseList, LT_BOX);
    loose->SetName("loose");
    EXPECT_TRUE(boxes_during([&] { Project->SaveGame(2, "", 0, "after"); }).empty());
    EXPECT_EQ(Project->GetSlotCaption(2), "after");
    EXPECT_TRUE(boxes_during([&] { Project->LoadGame(2); }).empty());
    EXPECT_FALSE(Terminating);
    EXPECT_EQ(VorqBaseList->FindObject("loose"), nullptr);
}

TEST_F(GameSave, ADamagedSaveFileIsKeptByteForByteBesideAFreshOneAndTheSaveGoesThrough) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    Project->SaveGame(1, "", 0, "old");
    const std::string real = file_bytes(save_path());
    close();
    std::string count_replaced = real;  // the entry count, after "vf" and the version
    for (size_t i = 6; i < 10; ++i) count_replaced[i] = char(0xFF);
    const struct {
        const char* Name;
        std::string Bytes;
        const char* Kept;  // where it must be kept
    } cases[] = {
        {"empty", "", "save.dat.damaged"},
        {"cut in half", real.substr(0, real.size() / 2), "save.dat.damaged"},
        {"entry count replaced", count_replaced, "save.dat.damaged"},
        {"an earlier copy kept", "", "save.dat.damaged.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const char* name : {"save.dat", "save.dat.damaged", "save.dat.damaged.2"}) DeleteFile(folder.Path() + name);
        const bool earlier = std::string(c.Kept) != "save.dat.damaged";
        if (earlier) folder.WriteFile("save.dat.damaged", "earlier");
        folder.WriteFile("save.dat", c.Bytes);
        testing::internal::CaptureStderr();
        open(TestProjectData("main.vsb"));
        Project->SaveGame(2, "", 0, "new");
        close();  // the status written at the end goes into the fresh file
        const std::string told = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(FileExists(folder.Path() + c.Kept)) << told;
        EXPECT_EQ(file_bytes(folder.Path() + c.Kept), c.Bytes);
        if (earlier) {
            EXPECT_EQ(file_bytes(folder.Path() + "save.dat.damaged"), "earlier");
        }
        EXPECT_FALSE(game_record(2).empty());
        EXPECT_FALSE(entry_bytes(save_path(), kStatusEntryName).empty());
        const std::string kept_told = "save.dat が壊れていたため、" + NativePath(folder.Path() + c.Kept) +
                                      " として残し、新しい save.dat に保存しました";
        const size_t at = told.find(kept_told);
        EXPECT_NE(at, std::string::npos) << told;
        EXPECT_EQ(told.find(kept_told, at + 1), std::string::npos) << "told once: " << told;
        EXPECT_EQ(told.find("Archive"), std::string::npos) << told;
    }
}

TEST_F(GameSave, DamageInsideTheStatusEntryIsToldInJapaneseAndTheFileKeptAsideBeforeTheNextSave) {
    TPageWriter main;
    main.Wait("1000000");
    start(main);
    Project->SaveGame(1, "", 0, "old");
    const std::string slot1 = game_record(1);
    close();
    const std::string real = file_bytes(save_path());
    const struct {
        const char* Name;
        std::string Record;
        bool SpoilPacked;  // its packed bytes made no zlib stream
    } cases[] = {
        {"packed bytes spoilt", "Status103" + std::string(64, '\0'), true},
        {"record cut short", "Status103\xFF\xFF\xFF\x7F", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const char* name : {"save.dat.damaged", "save.dat.damaged.2"}) DeleteFile(folder.Path() + name);
        folder.WriteFile("save.dat", real);
        TMemoryStream record = StreamOf(c.Record);
        const std::string name = kStatusEntryName;
        const TMemoryStream* content = &record;
        TSaveFile(save_path()).Store(&name, &content, 1);
        std::string damaged = file_bytes(save_path());
        if (c.SpoilPacked) {
            TVrFileCollection a;
            a.Open(save_path());
            const TVrFile* e = a.FindEntry(kStatusEntryName);
            for (int64_t i = e->Offset + 2; i < e->Offset + e->Size; ++i) damaged[static_cast<size_t>(i)] = char(0xFF);
            folder.WriteFile("save.dat", damaged);
        }
        const auto told = boxes_during([&] { open(TestProjectData("main.vsb")); });
        EXPECT_TRUE(mentions(told, "が壊れているため読めません")) << (told.empty() ? "" : told[0]);
        EXPECT_FALSE(mentions(told, "Archive"));
        const auto kept = boxes_during([&] {
            Project->SaveGame(2, "", 0, "new");
            close();
        });
        EXPECT_TRUE(mentions(kept, "として残し"));
        ASSERT_TRUE(FileExists(folder.Path() + "save.dat.damaged"));
        EXPECT_EQ(file_bytes(folder.Path() + "save.dat.damaged"), damaged);
        EXPECT_FALSE(FileExists(folder.Path() + "save.dat.damaged.2"));
        EXPECT_EQ(game_record(1), slot1);
        EXPECT_FALSE(game_record(2).empty());
    }
}

// Entries of three_slots' file, in its order: slot 1, the status, slots 2 and 3.
constexpr int kStatusEntry = 1, kSaveEntries = 4;

// One player run on a save.dat spoilt so that the entries of the lost
// slots (and the status, when status_lost) cannot be trusted: the damage is
// told once at start, every other slot shows, the next save keeps the file
// aside byte for byte and carries over exactly the entries that were whole.
void GameSave::expect_only_whole_entries_survive(const std::string& damaged, const std::set<int32_t>& lost,
                                                 bool status_lost) {
    const auto told = boxes_during([&] { open_on(damaged); });
    EXPECT_EQ(damage_notices(told), 1u) << (told.empty() ? "" : told[0]);
    for (int32_t slot = 1; slot <= 3; ++slot)
        EXPECT_EQ(Project->GetSlotCaption(slot), lost.count(slot) ? "" : "slot " + std::to_string(slot)) << slot;
    EXPECT_EQ(ReadList().IsRead("main.vsb", 5, 2), !status_lost);
    const auto kept = boxes_during([&] {
        Project->SaveGame(7, "", 0, "slot 7");
        close();
    });
    EXPECT_TRUE(mentions(kept, "として残し"));
    EXPECT_EQ(file_bytes(folder.Path() + "save.dat.damaged"), damaged);
    TVrFileCollection now;
    now.Open(save_path());
    EXPECT_EQ(now.Count(), 3 - static_cast<int>(lost.size()) + 2 + 1) << "the whole slots, slot 7, one status, the end";
    EXPECT_TRUE(boxes_during([&] { open_on(file_bytes(save_path())); }).empty());
    for (const int32_t slot : {1, 2, 3, 7}) {
        if (lost.count(slot)) continue;
        EXPECT_EQ(Project->GetSlotCaption(slot), "slot " + std::to_string(slot));
        EXPECT_TRUE(boxes_during([&] { Project->LoadGame(slot); }).empty()) << slot;
        EXPECT_FALSE(Terminating);
    }
    close();
}

TEST_F(GameSave, ADamagedEntryIsToldAndLeftOutWhileEveryWholeSlotShowsLoadsAndIsCarriedOver) {
    const std::string real = three_slots();
    TVrFileCollection a;
    a.Open(save_path());
    const TVrFile& slot1 = *a.FindEntry(GameSaveEntryName(1));
    auto spoilt = [&](size_t at, int bit) {
        std::string b = real;
        b[at] = static_cast<char>(b[at] ^ bit);
        return b;
    };
    std::string spoilt_crc_and_mode = spoilt(ArchiveNameAt(real, kSaveEntries) + (kSaveEntries + 1) * 8 +
                                                 kSaveEntries * 5 + 2, 0x04);
    spoilt_crc_and_mode[ArchiveNameAt(real, kSaveEntries) + (kSaveEntries + 1) * 8 + kSaveEntries * 9] ^= 0x21;
    std::string moved = real, swapped = real;  // slot 3's start moved into slot 2's bytes
    SetArchiveOffset(moved, kSaveEntries, 3, a.GetEntry(3)->Offset - 7);
    SetArchiveOffset(swapped, kSaveEntries, 2, a.GetEntry(3)->Offset);
    SetArchiveOffset(swapped, kSaveEntries, 3, a.GetEntry(2)->Offset);
    const struct {
        const char* What;
        std::string Bytes;
        std::set<int32_t> Lost;
        bool StatusLost;
    } cases[] = {
        // The packed data's head, its middle and its checksum.
        {"slot 1's first byte", spoilt(static_cast<size_t>(slot1.Offset), 0x20), {1}, false},
        {"slot 1's middle", spoilt(static_cast<size_t>(slot1.Offset + slot1.Size / 2), 0x20), {1}, false},
        {"slot 1's last byte", spoilt(static_cast<size_t>(slot1.Offset + slot1.Size - 1), 0x20), {1}, false},
        {"a byte of slot 1's name", spoilt(ArchiveNameAt(real, 0) + 4 + 3, 0x20), {1}, false},
        {"GAMESAVEDATA2 made GAMESAVEDATA3", spoilt(ArchiveNameAt(real, 2) + 4 + 12, 0x01), {2, 3}, false},
        {"an offset moved into another slot", moved, {2, 3}, false},
        {"two offsets swapped", swapped, {2, 3}, true},
        {"a byte of the status's name", spoilt(ArchiveNameAt(real, kStatusEntry) + 4 + 2, 0x01), {}, true},
        // Only the stored CRC: the packed stream's own Adler-32 shows slot 1 whole.
        {"a bit of slot 1's stored CRC", spoilt(ArchiveNameAt(real, kSaveEntries) + (kSaveEntries + 1) * 8 +
                                                    kSaveEntries * 5 + 2, 0x04), {}, false},
        {"slot 1's stored CRC and its mode byte", spoilt_crc_and_mode, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        expect_only_whole_entries_survive(c.Bytes, c.Lost, c.StatusLost);
    }
}

TEST_F(GameSave, ASpoiltHeadEntryCountOrNameLengthLosesNoSlotAndIsToldAtStart) {
    const std::string real = three_slots();
    std::vector<std::pair<std::string, std::string>> cases;
    auto spoil = [&](const std::string& what, size_t at, int bit) {
        std::string b = real;
        b[at] = static_cast<char>(b[at] ^ bit);
        cases.emplace_back(what, b);
    };
    spoil("the tag", 0, 0x01);
    spoil("the version", 2, 0x80);
    spoil("the entry count", 6, 0x01);
    spoil("a name length", ArchiveNameAt(real, 2), 0x01);
    std::string none = real;
    for (size_t i = 6; i < 10; ++i) none[i] = 0;
    cases.emplace_back("an entry count of 0", none);
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        expect_only_whole_entries_survive(bytes, {}, false);
    }
    // Nothing to find when the first offset is spoilt as well: told at
    // start all the same, and the next file starts afresh.
    none[ArchiveNameAt(real, kSaveEntries)] ^= 0x01;
    const auto told = boxes_during([&] { open_on(none); });
    EXPECT_EQ(damage_notices(told), 1u) << (told.empty() ? "" : told[0]);
    EXPECT_TRUE(Project->SlotCaptions.empty());
    Project->SaveGame(7, "", 0, "slot 7");
    close();
    EXPECT_EQ(file_bytes(folder.Path() + "save.dat.damaged"), none);
    EXPECT_TRUE(game_record(1).empty());
    EXPECT_FALSE(game_record(7).empty());
}

TEST_F(GameSave, ACutOrSpoiltEndLosesOnlyTheLastSlotAtTheNextSave) {
    const std::string real = three_slots();
    const std::string one = game_record(1), two = game_record(2), status = entry_bytes(save_path(), kStatusEntryName);
    TVrFileCollection a;
    a.Open(save_path());
    // The end offset is the last of the offsets, before 10 table bytes per entry.
    const int64_t entries = a.Count() - 1, end_offset = a.GetEntry(0)->Offset - entries * 10 - 8;
    a.Open("");
    std::string end_spoilt = real;
    end_spoilt[static_cast<size_t>(end_offset + 4)] ^= 1;
    const struct {
        const char* Name;
        std::string Bytes;
    } cases[] = {{"cut inside its last slot", real.substr(0, real.size() - 5)}, {"end offset spoilt", end_spoilt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto told = boxes_during([&] { open_on(c.Bytes); });
        EXPECT_EQ(damage_notices(told), 1u) << (told.empty() ? "" : told[0]);
        EXPECT_EQ(Project->GetSlotCaption(1), "slot 1");
        EXPECT_EQ(Project->GetSlotCaption(2), "slot 2");
        EXPECT_TRUE(ReadList().IsRead("main.vsb", 5, 2));
        const auto kept = boxes_during([&] {
            Project->SaveGame(7, "", 0, "slot 7");
            close();
        });
        EXPECT_TRUE(mentions(kept, "として残し"));
        EXPECT_EQ(file_bytes(folder.Path() + "save.dat.damaged"), c.Bytes);
        EXPECT_EQ(game_record(1), one);
        EXPECT_EQ(game_record(2), two);
        EXPECT_EQ(entry_bytes(save_path(), kStatusEntryName), status);
        EXPECT_TRUE(game_record(3).empty());
        EXPECT_FALSE(game_record(7).empty());
    }
}

TEST_F(GameSave, AReadOnlySaveFileStaysAsItIsAndEveryWriteOfItSaysSo) {
    const std::string real = three_slots();
    std::string damaged = real;  // a copy of it would be kept before the write
    damaged[ArchiveNameAt(real, 0) + 4 + 3] ^= 0x20;
    const std::string refused = NativePath(save_path()) + ":ファイルに書き込めません";
    for (const std::string& bytes : {real, damaged}) {
        SCOPED_TRACE(bytes == real ? "whole" : "damaged");
        DeleteFile(save_path());
        folder.WriteFile("save.dat", bytes);
        ASSERT_EQ(chmod(NativePath(save_path()).c_str(), 0444), 0);
        open(TestProjectData("main.vsb"));
        EXPECT_TRUE(mentions(boxes_during([&] { Project->SaveGame(7, "", 0, "slot 7"); }), refused.c_str()));
        // The status at the end, on stderr where it outlasts the window.
        testing::internal::CaptureStderr();
        close();
        EXPECT_NE(testing::internal::GetCapturedStderr().find(refused), std::string::npos);
        EXPECT_EQ(file_bytes(save_path()), bytes);
        struct stat st {};
        ASSERT_EQ(stat(NativePath(save_path()).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0444u);
        EXPECT_EQ(ListDirectory(folder.Path()).size(), 3u) << "save.dat, vorq.vpb, main.vsb";
    }
}

// ---- a save killed while it writes ----------------------------------------------------------

TEST_F(GameSave, ASaveKilledAtAnyPointLeavesEveryEarlierSlotLoadable) {
    TPageWriter main;
    main.VarNew("big", PT_STR, "\"\"");
    main.Wait("1000000");
    start(main);
    idle(2);
    std::mt19937 rng(20261207);
    // Slots of 200 KB of little-packing text, as large saves are.
    std::string text(200000, ' ');
    for (char& ch : text) ch = char('A' + rng() % 26);
    Params->Find("big")->SetAsString(text);
    ASSERT_TRUE(boxes_during([&] {
                    for (int32_t slot = 0; slot < 8; ++slot)
                        Project->SaveGame(slot, "", 0, "slot " + std::to_string(slot));
                }).empty());
    std::map<int32_t, std::string> earlier;
    for (int32_t slot = 0; slot < 8; ++slot) earlier[slot] = game_record(slot);
    TMemoryStream next;
    WriteGameRecord(next, TGameSaveHead{kGameSaveVersion, "next", "", 0}, *Project->CallMan);

    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves without end into new slots until killed.
            try {
                for (int32_t slot = 100;; ++slot) {
                    const std::string name = GameSaveEntryName(slot % 4 + 100);
                    const TMemoryStream* content = &next;
                    TSaveFile(save_path()).Store(&name, &content, 1);
                }
            } catch (...) {
            }
            _exit(3);
        }
        usleep(1000 + rng() % 40000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        for (const auto& [slot, bytes] : earlier) ASSERT_EQ(game_record(slot), bytes) << slot;
    }
    Project->LoadGame(3);
    EXPECT_FALSE(Terminating);
    EXPECT_EQ(Params->Find("big")->GetAsString(), text);
}

}  // namespace

// A flip in a slot's packed bytes that the stream's own Adler-32 misses,
// its stored CRC rightly disagreeing: the slot is damaged, not shown, not
// loaded, and not carried into the next file under a fresh CRC.
TEST(SaveFileDamage, AFlipThePackedStreamsAdlerMissesLeavesTheSlotDamaged) {
    const struct {
        const char* What;
        bool Lost;  // the bit of slot 1's packed bytes flipped
    } cases[] = {
        {"no flip", false},
        {"a bit that Adler-32 misses flipped", true},
    };
    const std::string record = LongCaptionRecord();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        size_t flip_at = 0;
        std::string bytes = LongCaptionSaveFile(&flip_at);
        if (c.Lost) {
            const size_t packed = (flip_at - kAdlerMissedBit) / 8;
            bytes[flip_at / 8] = static_cast<char>(bytes[flip_at / 8] ^ (1 << (flip_at % 8)));
            // zlib itself takes the damaged stream whole, to another record.
            std::string out(record.size() + 64, '\0');
            uLongf got = out.size();
            ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &got,
                                 reinterpret_cast<const Bytef*>(bytes.data() + packed),
                                 static_cast<uLong>(bytes.size() - packed)),
                      Z_OK);
            ASSERT_EQ(got, record.size());
            ASSERT_NE(out.substr(0, got), record);
        }
        auto source = std::make_unique<TWzBigMemoryStream>();
        source->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        source->SetPosition(0);
        TSaveFile save("");
        save.ReadImage(std::move(source));
        EXPECT_EQ(save.State(GameSaveEntryName(1)), c.Lost ? TSaveEntryState::Damaged : TSaveEntryState::Whole);
        EXPECT_EQ(save.Captions().size(), c.Lost ? 0u : 1u);
        EXPECT_EQ(save.Damaged(), c.Lost);
        TWzBigMemoryStream next;
        save.BuildImage(nullptr, nullptr, 0, next);
        TSaveFile again("");
        auto next_source = std::make_unique<TWzBigMemoryStream>();
        next_source->Write(next.Inner().Memory(), next.Inner().GetSize());
        next_source->SetPosition(0);
        again.ReadImage(std::move(next_source));
        EXPECT_EQ(again.State(GameSaveEntryName(1)), c.Lost ? TSaveEntryState::Missing : TSaveEntryState::Whole);
        if (!c.Lost) {
            TMemoryStream m;
            again.Load(GameSaveEntryName(1), m);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize())), record);
        }
    }
}
