#include "engine/game_save.h"

#include "engine/call_man.h"
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "engine/save_file.h"
#include "files/big_stream.h"
#include "files/db_table.h"
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "files/vr_file_collection.h"
#include "objects/scene/scene.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "platform/filesystem/replace_file.h"
#include "render/tesk_collection.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

std::string save_message() { return Sjis("セーブデータが壊れています"); }

// Both records need the running project's interpreter and the main scene.
TCallMan& call_man() {
    if (!Project || !Project->CallMan) throw Exception("game save: no interpreter runs");
    return *Project->CallMan;
}

TVorqBaseList& scene() {
    if (!VorqBaseList) throw Exception("game save: no scene exists");
    return *VorqBaseList;
}

TParamCollection& params() {
    if (!Params) throw Exception("game save: no variable table exists");
    return *Params;
}

}  // namespace

std::string GameSaveEntryName(int32_t slot) { return kGameSaveEntryPrefix + std::to_string(slot); }

int32_t GameSaveSlotOf(std::string_view entry_name) {
    const size_t prefix = std::strlen(kGameSaveEntryPrefix);
    if (entry_name.size() <= prefix || entry_name.substr(0, prefix) != kGameSaveEntryPrefix) return -1;
    int32_t slot = 0;
    const char* last = entry_name.data() + entry_name.size();
    auto [end, ec] = std::from_chars(entry_name.data() + prefix, last, slot);
    return ec != std::errc() || end != last || slot < 0 ? -1 : slot;
}

const TVrNameRule& SaveEntryNames() {
    static const TVrNameRule rule{
        [](std::string_view name) {
            const int32_t slot = GameSaveSlotOf(name);
            return slot >= 0 ? name == GameSaveEntryName(slot) : name == kStatusEntryName;
        },
        // "GAMESAVEDATA0" to "GAMESAVEDATA2147483647"; "STATUSSAVEDATA" lies between.
        static_cast<uint32_t>(std::strlen(kGameSaveEntryPrefix) + 1),
        static_cast<uint32_t>(std::strlen(kGameSaveEntryPrefix) + 10)};
    return rule;
}

std::string UnusableSaveMessage() { return Sjis("このセーブデータは使用できません\r\n終了してください"); }

std::string OldSaveMessage() {
    return Sjis("セーブファイルの形式が古いため読めません\r\nsave.dat を削除してから実行してください");
}

std::string DamagedSaveKeptMessage(const std::string& kept_path) {
    return Sjis("save.dat が壊れていたため、") + DisplayPath(kept_path) +
           Sjis(" として残し、新しい save.dat に保存しました");
}

std::string DamagedSaveMessage(const std::string& save_path) {
    return DisplayPath(save_path) + Sjis(" が壊れているため読めません\r\n次に保存するとき、別の名前で残して新しく作ります");
}

// ---- records -------------------------------------------------------------------------

void WriteGameRecord(TStream& s, const TGameSaveHead& head, const TCallMan& cm) {
    WriteStreamInteger(s, static_cast<int32_t>(head.Version));
    WriteStreamString(s, head.Caption);
    WriteStreamString(s, head.ResumePage);
    WriteStreamInteger(s, static_cast<int32_t>(head.ResumePC));
    scene().SaveToStream(s);
    History().SaveToStream(s);
    cm.SaveToStream(s);
    params().SaveGameVariables(s);
    DBManager().SaveToStream(s, 0);
}

TGameSaveHead LoadGameRecord(TStream& s, TCallMan& cm) {
    const TGameSaveHead head = ReadGameHead(s);
    const int32_t version = static_cast<int32_t>(head.Version);
    scene().LoadFromStream(s, version);
    History().LoadFromStream(s, version);
    cm.LoadFromStream(s, version);
    if (!head.ResumePage.empty()) {
        if (cm.Page) {
            // The loaded flow waits under the resume page and goes on when
            // that page returns.
            TStack& f = cm.Stack.Push();
            f.PageName = cm.Page->Name;
            f.PC = static_cast<uint32_t>(cm.PC);
            f.ContinueFlag = cm.ContinueFlag;
            f.Prepared = cm.Prepared;
            f.EventObject = cm.EventObject;
            f.Locals.Assign(cm.Locals);
        }
        cm.Page = cm.GetPage(head.ResumePage, true);
        cm.PC = head.ResumePC > 0 ? static_cast<int32_t>(head.ResumePC) : 0;
        cm.Prepared = 0;
    }
    params().LoadGameVariables(s, version);
    if (version >= 123) DBManager().LoadFromStream(s, 0);
    return head;
}

TGameSaveHead ReadGameHead(TStream& s) {
    FieldReader r(s, save_message());
    TGameSaveHead head;
    head.Version = r.U32("save version");
    if (head.Version < kOldestGameSave) throw ECorruptData(OldSaveMessage());
    // A newer player wrote it: its records hold fields this one cannot know.
    if (head.Version > kGameSaveVersion) r.Fail("save version");
    head.Caption = r.String("caption");
    head.ResumePage = r.String("resume page");
    head.ResumePC = r.U32("resume command index");
    return head;
}

bool StatusRecordAvailable() { return Params && TeskCollection; }

void WriteStatusRecord(TStream& s) {
    char tag[10];
    std::snprintf(tag, sizeof tag, "Status%.3d", kStatusVersion);
    s.WriteBuffer(tag, 9);
    params().SaveStatusVariables(s);
    ReadList().SaveToStream(s);
    if (!TeskCollection) throw Exception("status save: no image cache exists");
    TeskCollection->SaveToStream(s);
    DBManager().SaveToStream(s, 1);
}

void ReadStatusRecord(TStream& s) {
    int32_t version = 0;
    char tag[9];
    if (s.Read(tag, 9) == 9 && std::memcmp(tag, "Status", 6) == 0) {
        for (int i = 6; i < 9; ++i) {
            if (tag[i] < '0' || tag[i] > '9') {
                version = 0;
                break;
            }
            version = version * 10 + (tag[i] - '0');
        }
    } else {
        // Untagged: the oldest form, read from its first byte.
        s.SetPosition(0);
    }
    params().LoadStatusVariables(s);
    ReadList().LoadFromStream(s, version);
    if (TeskCollection) {
        TeskCollection->LoadFromStream(s, version);
    } else if (version > 100) {
        FieldReader(s, save_message()).U8("image cache setting");
    }
    if (version >= 103) DBManager().LoadFromStream(s, 1);
}

// ---- the project's requests ----------------------------------------------------------

bool TProject::ProcessRequests() {
    bool loaded = false;
    if (LoadSlot >= 0) {
        const int32_t slot = LoadSlot;
        LoadGame(slot);
        LoadSlot = -1;
        loaded = true;
    }
    if (SaveSlot >= 0) {
        const int32_t slot = SaveSlot;
        SaveSlot = -1;
        // A load that failed left a half-made scene: it never overwrites a
        // slot.
        if (!Terminating) SaveGame(slot, SaveResumePage, SaveResumePC, SaveCaption);
    }
    return loaded;
}

void TProject::WriteGameSave(TWzBigMemoryStream& out, int32_t slot, const std::string& caption, int32_t resume_pc,
                             const std::string& resume_page) {
    if (caption.empty()) return;
    TGameSaveHead head;
    head.Caption = caption;
    head.ResumePage = resume_page;
    head.ResumePC = static_cast<uint32_t>(resume_pc);
    TMemoryStream record;
    WriteGameRecord(record, head, call_man());
    const std::string name = GameSaveEntryName(slot);
    const TMemoryStream* content = &record;
    save_file_->BuildImage(&name, &content, 1, out);
    SetSlotCaption(slot, caption);
}

void TProject::SaveGame(int32_t slot, const std::string& resume_page, int32_t resume_pc, const std::string& caption) {
    if (caption.empty()) return;
    try {
        TGameSaveHead head;
        head.Caption = caption;
        head.ResumePage = resume_page;
        head.ResumePC = static_cast<uint32_t>(resume_pc);
        TMemoryStream game, status;
        WriteGameRecord(game, head, call_man());
        // The status goes into the same new file: one replacement, so the
        // slot and the status never disagree after a crash.
        std::string names[2] = {GameSaveEntryName(slot), kStatusEntryName};
        const TMemoryStream* contents[2] = {&game, &status};
        int count = 1;
        if (StatusRecordAvailable() && SaveStatusToDisk) {
            WriteStatusRecord(status);
            count = 2;
        }
        const std::string kept = save_file_->Store(names, contents, count);
        SetSlotCaption(slot, caption);
        if (!kept.empty())
            ShowMessageBox(DamagedSaveKeptMessage(kept), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
    } catch (const std::exception& e) {
        // The old file stands whole; the player learns the game was not
        // saved and may go on.
        ShowMessageBox(e.what(), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
    }
}

void TProject::LoadGame(int32_t slot) {
    const std::string name = GameSaveEntryName(slot);
    save_file_->Refresh();
    // A slot that is not there loads nothing; one that is there but
    // damaged is as unusable as a record that does not read.
    if (save_file_->State(name) == TSaveEntryState::Missing) return;
    try {
        TMemoryStream m;
        save_file_->Load(name, m);
        LoadGameRecord(m, call_man());
    } catch (const std::exception&) {
        ShowMessageBox(UnusableSaveMessage(), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
        RequestTermination();
    }
}

void TProject::WriteStatus() {
    // A folder the player found no game in gets no save.dat.
    if (!game_loaded_ || !StatusRecordAvailable() || !SaveStatusToDisk) return;
    const std::string path = SavePath();
    if (!DirectoryExists(ExtractFilePath(path))) return;
    TMemoryStream status;
    WriteStatusRecord(status);
    const std::string name = kStatusEntryName;
    const TMemoryStream* content = &status;
    const std::string kept = save_file_->Store(&name, &content, 1);
    if (!kept.empty())
        ShowMessageBox(DamagedSaveKeptMessage(kept), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
}
