#include "engine/project.h"

#include "script/game_clock.h"
#include "engine/game_save.h"
#include "engine/save_file.h"
#include "script/param_collection.h"
#include "files/extended.h"
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "files/vocab.h"
#include "files/vr_file_collection.h"
#include "files/vr_file_manager.h"
#include "media/base/media_managers.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/drives.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "platform/display/video.h"
#include "render/wipes/custom_wipe.h"

#include <cstdio>

TProject* Project = nullptr;

bool ProjectFileExists(const std::string& name) {
    if (Project) return Project->FileExists(name);
    return !name.empty() && FileManager && FileManager->FileExists(name);
}

// ---- the project file -------------------------------------------------------------

namespace {

// Far more variables than a project declares; the bytes left bound them
// first.
constexpr uint32_t kMaxProjectVariables = 1u << 20;

void write_u32(TStream& s, uint32_t v) { WriteStreamInteger(s, static_cast<int32_t>(v)); }

}  // namespace

bool ReadProjectFile(TStream& s, TProjectFileData& d) {
    d = TProjectFileData();
    FieldReader r(s, Sjis("プロジェクトファイルが壊れています"));
    d.Version = r.U32("version");
    if (d.Version > TProject::kMaxVersion) return false;
    d.Title = r.String("title");
    d.Width = r.I32("width");
    d.Height = r.I32("height");
    d.FullScreenWidth = r.I32("full screen width");
    d.FullScreenHeight = r.I32("full screen height");
    d.StartPage = r.String("start page");
    d.RegistryKey = r.String("registry key");
    d.IdCode = r.U32("id code");
    if (d.Version >= 104) d.SaveStatusToDisk = r.U8("save status to disk");
    d.SleepBetweenFrames = d.Version >= 106 ? r.U8("sleep between frames") : 0;
    d.SoundExtensions = d.Version >= 109 ? r.String("sound extensions") : std::string(".wav.wma.ogg.mid");
    d.DiscPrompt = r.String("disc prompt");
    d.QuitText = r.String("quit text");
    // A variable takes at least its type byte and name length.
    d.Variables.resize(r.Count("variable count", 5, kMaxProjectVariables));
    for (auto& v : d.Variables) {
        v.Type = r.U8("variable type");
        v.Name = r.String("variable name");
        switch (v.Type) {
        case PT_INT: v.Int = r.I32("integer value"); break;
        case PT_FLOAT: v.Float = r.Extended("real value"); break;
        case PT_BOOL: v.Flag = r.U8("flag value"); break;
        case PT_STR: v.Text = r.String("text value"); break;
        default: break;
        }
    }
    TFolderDiskList rows;
    rows.LoadFromStream(s);
    for (int i = 0; i < rows.Count(); ++i) d.FolderDisks.push_back(rows.Get(i));
    return true;
}

void WriteProjectFile(TStream& s, const TProjectFileData& d) {
    write_u32(s, d.Version);
    WriteStreamString(s, d.Title);
    WriteStreamInteger(s, d.Width);
    WriteStreamInteger(s, d.Height);
    WriteStreamInteger(s, d.FullScreenWidth);
    WriteStreamInteger(s, d.FullScreenHeight);
    WriteStreamString(s, d.StartPage);
    WriteStreamString(s, d.RegistryKey);
    write_u32(s, d.IdCode);
    if (d.Version >= 104) WriteStreamByte(s, d.SaveStatusToDisk);
    if (d.Version >= 106) WriteStreamByte(s, d.SleepBetweenFrames);
    if (d.Version >= 109) WriteStreamString(s, d.SoundExtensions);
    WriteStreamString(s, d.DiscPrompt);
    WriteStreamString(s, d.QuitText);
    write_u32(s, static_cast<uint32_t>(d.Variables.size()));
    for (auto& v : d.Variables) {
        WriteStreamByte(s, v.Type);
        WriteStreamString(s, v.Name);
        switch (v.Type) {
        case PT_INT: WriteStreamInteger(s, v.Int); break;
        case PT_FLOAT: {
            uint8_t b[ExtendedSize];
            StoreExtended(b, v.Float);
            s.WriteBuffer(b, ExtendedSize);
            break;
        }
        case PT_BOOL: WriteStreamByte(s, v.Flag); break;
        case PT_STR: WriteStreamString(s, v.Text); break;
        default: break;
        }
    }
    TFolderDiskList rows;
    for (auto& r : d.FolderDisks) rows.AddFolder(r.Folder, r.Disk);
    rows.SaveToStream(s);
}

// ---- the project --------------------------------------------------------------------

TProject::TProject(std::vector<std::string> args)
    : args_(std::move(args)), save_file_(std::make_unique<TSaveFile>(SavePath())) {
    create();
}

TProject::~TProject() {
    try {
        Finish();
    } catch (...) {
        // Nothing may stop the program's end.
    }
}

bool TProject::Finish() {
    if (finished_) return status_written_;
    finished_ = true;
    try {
        WriteStatus();
    } catch (const std::exception& e) {
        // The status (kept variables, read marks, status tables) is lost
        // with this run. A box shown as the program ends may go unread, so
        // the text goes to stderr, where it outlasts the window, and to a
        // box while a display can show one.
        status_written_ = false;
        const std::string caption = Sjis("警告");
        std::fprintf(stderr, "%s: %s\n", SjisToSystemName(caption).c_str(), SjisToSystemName(e.what()).c_str());
        if (DisplayAvailable()) ShowMessageBox(e.what(), caption, MessageBoxKind::OK, MessageBoxIcon::Warning);
    }
    return status_written_;
}

void TProject::create() {
    Title = Sjis("情報");
    DiscPrompt = Sjis("ディスク%dを入れてから[OK]をクリックしてください");
    QuitText = Sjis("終了します");
    Terminating = true;
    RefreshSlotCaptions();
    LoadSlot = -1;
    SaveSlot = -1;
    read_status_record();
    Title = Sjis("情報");
    if (args_.empty() && !LocateData()) return;
    if (!read_project()) return;
    ReadOriginalProject();
    CallMan = std::make_unique<TCallMan>();
    if (!FileManager || !FileManager->FileExists(StartPage)) {
        ShowMessageBox(Sjis("スタートページがありません"), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
        Terminating = true;
        return;
    }
    try {
        CallMan->Start(StartPage);
    } catch (const Exception&) {
        // The page's loader has told the player why already.
        Terminating = true;
    }
}

bool TProject::read_project() {
    static const char kProjectFile[] = "vorq.vpb";
    TMemoryStream m;
    if (!FileManager || !FileManager->FileExists(kProjectFile)) {
        ShowMessageBox(Sjis("プロジェクトがありません"), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
        return false;
    }
    try {
        FileManager->LoadToStream(m, kProjectFile);
    } catch (const std::exception&) {
        return false;
    }
    if (m.GetSize() == 0) {
        ShowMessageBox(Sjis("プロジェクトがありません"), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
        return false;
    }
    TProjectFileData d;
    try {
        if (!ReadProjectFile(m, d)) return false;
        apply(d);
    } catch (const std::exception&) {
        return false;
    }
    Terminating = false;
    game_loaded_ = true;
    return true;
}

void TProject::apply(const TProjectFileData& d) {
    Title = d.Title;
    Width = d.Width;
    Height = d.Height;
    // A zoom-in given no point closes in on the middle of this game's screen.
    constexpr int32_t kZoomInWipe = 30;
    SetWipeDefaults(kZoomInWipe, Width / 2, Height / 2);
    FullScreenWidth = d.FullScreenWidth;
    FullScreenHeight = d.FullScreenHeight;
    StartPage = d.StartPage;
    RegistryKey = d.RegistryKey;
    // The CD manager reads the preferred drive under the game's key.
    MediaRegistryKey = RegistryKey;
    IdCode = d.IdCode;
    SaveStatusToDisk = d.SaveStatusToDisk;
    SleepBetweenFrames = d.SleepBetweenFrames;
    SoundExtensions = d.SoundExtensions;
    DiscPrompt = d.DiscPrompt;
    QuitText = d.QuitText;
    if (Params) {
        for (auto& v : d.Variables) {
            if (v.Type < PT_INT || v.Type > PT_STR || Params->Find(v.Name)) continue;
            TParamCollectionItem* item = Params->AddVariable(v.Type);
            try {
                item->SetName(v.Name);
            } catch (...) {
                Params->Delete(item->GetIndex());
                throw;
            }
            item->SetKept(true);
            switch (v.Type) {
            case PT_INT: item->SetAsInt(v.Int); break;
            case PT_FLOAT: item->SetAsFloat(v.Float); break;
            case PT_BOOL: item->SetAsBool(v.Flag != 0); break;
            default: item->SetAsString(v.Text); break;
            }
        }
    }
    FolderDisks.Clear();
    for (auto& r : d.FolderDisks) FolderDisks.AddFolder(r.Folder, r.Disk);
    if (FileManager) {
        FileManager->GameTitle = Title;
        FileManager->ApplicationTitle = Title;
        FileManager->DiskRequestMessage = DiscPrompt;
        FileManager->ExitMessage = QuitText;
    }
}

void TProject::ReadOriginalProject() {
    static const char kOriginal[] = "/original_vorq.vpb";
    if (!FileManager || !FileManager->FileExists(kOriginal)) return;
    TMemoryStream m;
    FileManager->LoadToStream(m, kOriginal);
    FolderDisks.Clear();
    TProjectFileData d;
    if (!ReadProjectFile(m, d)) return;
    for (auto& r : d.FolderDisks) FolderDisks.AddFolder(r.Folder, r.Disk);
}

void TProject::read_status_record() {
    if (!Params) return;
    save_file_->Refresh();
    if (!save_file_->OpenError().empty()) {
        // A file the system will not open (no permission) is no damage.
        ShowMessageBox(save_file_->OpenError(), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
        return;
    }
    if (save_file_->State(kStatusEntryName) == TSaveEntryState::Whole) {
        try {
            TMemoryStream m;
            save_file_->Load(kStatusEntryName, m);
            ReadStatusRecord(m);
        } catch (const Exception&) {
            // A record that does not read costs the kept values, not the
            // game.
            save_file_->MarkDamaged(kStatusEntryName);
        } catch (const std::exception&) {
        }
    }
    // The status is written anew at the end, so the next save keeps a
    // damaged file aside first, and the player is told so.
    if (save_file_->Damaged()) report_save_damage();
}

void TProject::Step() {
    if (CallMan) CallMan->Drive();
}

std::string TProject::SavePath() const {
    const std::string folder = args_.empty() ? ExeFolder() : args_[0];
    return AddTrailingBackslash(folder) + "save.dat";
}

bool TProject::FileExists(const std::string& name) {
    if (name.empty() || !FileManager) return false;
    if (FileManager->FileExists(name)) return true;
    const int32_t disk = FolderDisks.DiskOf(name);
    if (disk <= 0) return false;
    const std::string ext = AnsiLowerCase(ExtractFileExt(name)) + ".";
    const std::string sounds = AnsiLowerCase(SoundExtensions) + ".";
    // A sound on another disc is reported missing rather than asked for.
    if (sounds.find(ext) != std::string::npos) return false;
    return FileManager->RequestDisk(disk);
}

bool TProject::LocateData() {
    if (!FileManager) return false;
    const std::string exe = ExeFolder();
    if (::FileExists(exe + "install.dat") && FileManager->BaseFolder.empty()) FileManager->SetBaseFolder(exe);
    if (!FileManager->FileExists("install.dat")) {
        ShowMessageBox(Sjis("インストールし直してください"), Sjis("情報"), MessageBoxKind::OK,
                       MessageBoxIcon::Information);
        return false;
    }
    TVorqInstallSet install;
    {
        TMemoryStream m;
        FileManager->LoadToStream(m, "install.dat");
        install.LoadFromStream(m);
    }
    // The installer's "copy all" choice: the data was copied to the hard disk.
    const bool on_disk = install.CopyAll != 0;
    if (::FileExists(exe + "game.dat")) {
        FileManager->AddArchive(exe + "game.dat");
        if (on_disk) return true;
    } else if (FileManager->Count() > 0 && on_disk) {
        return true;
    }
    // Without a display nobody can insert a disc: one look is all there is,
    // else the prompt would answer OK for ever.
    const bool someone_answers = DisplayAvailable();
    for (;;) {
        if (search_discs(install.Title)) return true;
        if (!someone_answers) return false;
        if (ShowMessageBox(Sjis("ディスクを入れてください"), Sjis("情報"), MessageBoxKind::OKCancel,
                           MessageBoxIcon::Information) == IDOK)
            continue;
        if (ShowMessageBox(QuitText, Title, MessageBoxKind::OKCancel, MessageBoxIcon::Information) == IDOK) return false;
    }
}

bool TProject::search_discs(const std::string& id_text) {
    for (const std::string& root : CdRomRoots()) {
        if (DiskSize(root) <= 0) continue;
        if (!::FileExists(root + "game.dat") || !::FileExists(root + "install.dat")) continue;
        try {
            TVorqInstallSet disc;
            disc.LoadFromFile(root + "install.dat");
            if (disc.Title != id_text) continue;
        } catch (const std::exception&) {
            continue;
        }
        FileManager->AddArchive(root + "game.dat");
        return true;
    }
    return false;
}

std::string TProject::GetSlotCaption(int32_t slot) const {
    for (auto& [n, caption] : SlotCaptions)
        if (n == slot) return caption;
    return {};
}

void TProject::SetSlotCaption(int32_t slot, const std::string& caption) {
    for (auto& [n, text] : SlotCaptions)
        if (n == slot) {
            text = caption;
            return;
        }
    SlotCaptions.emplace_back(slot, caption);
}

void TProject::RefreshSlotCaptions() {
    save_file_->Refresh();
    // Each slot on its own: a damaged one shows no caption and hides none
    // of the others.
    SlotCaptions = save_file_->Captions();
    if (save_file_->Damaged()) report_save_damage();
}

void TProject::report_save_damage() {
    if (save_file_->TakeDamageToTell())
        ShowMessageBox(DamagedSaveMessage(SavePath()), Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
}
