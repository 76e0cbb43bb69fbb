#include "files/vr_file_manager.h"
#include "files/install_set.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/drives.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "platform/display/video.h"

#include <algorithm>
#include <cstdio>

TVrFileManager* FileManager = nullptr;

std::vector<std::string>& TempDeletionQueue() {
    static std::vector<std::string> queue;
    return queue;
}

void DeleteTempFiles() {
    auto& queue = TempDeletionQueue();
    for (const auto& f : queue) DeleteFile(f);
    queue.clear();
}

void CreateFileManager() {
    if (!FileManager) FileManager = new TVrFileManager();
}

void FreeFileManager() {
    delete FileManager;
    FileManager = nullptr;
    DeleteTempFiles();
}

namespace {
// Position of the last "\" or "/" that is not the trail byte of a character.
size_t last_path_delimiter(const std::string& s) {
    size_t pos = std::string::npos;
    for (size_t i = 0; i < s.size(); ++i) {
        if (IsDBCSLeadByte(s[i]) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        if (IsPathDelimiter(s[i])) pos = i;
    }
    return pos;
}

bool starts_with_text(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && AnsiSameText(std::string_view(s).substr(0, prefix.size()), prefix);
}

void deliver(TMemoryStream& content, TStream& stream) {
    stream.WriteBuffer(content.Memory(), content.GetSize());
    stream.SetPosition(0);
}
}  // namespace

std::string FormatDiskRequest(const std::string& text, int disk) {
    std::string r;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsDBCSLeadByte(text[i]) && i + 1 < text.size()) {
            r += text[i];
            r += text[++i];
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd') {
            r += std::to_string(disk);
            ++i;
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            r += '%';
            ++i;
        } else {
            r += text[i];
        }
    }
    return r;
}

// ---- TVrCacheList

TVrCache* TVrCacheList::Lookup(const std::string& name) {
    const std::string key = AnsiUpperCase(name);
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]->Name == key) {
            std::rotate(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(i),
                        items_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return items_.front().get();
        }
    }
    auto item = std::make_unique<TVrCache>();
    item->Name = key;
    items_.insert(items_.begin(), std::move(item));
    // The new item is still empty, so after it is filled the total may pass
    // the limit by up to one file.
    while (items_.size() >= 2 && GetTotalSize() >= kEvictAt) items_.pop_back();
    return items_.front().get();
}

void TVrCacheList::Remove(const std::string& name) {
    const std::string key = AnsiUpperCase(name);
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]->Name == key) {
            items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void TVrCacheList::Delete(TVrCache* cache) {
    std::erase_if(items_, [cache](const auto& p) { return p.get() == cache; });
}

int64_t TVrCacheList::GetTotalSize() const {
    int64_t total = 0;
    for (const auto& c : items_) total += static_cast<int64_t>(c->Content->Bytes().size());
    return total;
}

// ---- TVrLockList

TVrLockData* TVrLockList::Get(int i) const {
    return i < 0 || i >= Count() ? nullptr : locks_[static_cast<size_t>(i)].get();
}

int TVrLockList::IndexOfName(const std::string& name) const {
    for (size_t i = 0; i < locks_.size(); ++i)
        if (locks_[i]->Name == name) return static_cast<int>(i);
    return -1;
}

int TVrLockList::IndexOfId(uint32_t id) const {
    for (size_t i = 0; i < locks_.size(); ++i)
        if (locks_[i]->Id == id) return static_cast<int>(i);
    return -1;
}

uint32_t TVrLockList::ReserveId() {
    uint32_t id = next_id_;
    do {
        ++next_id_;
    } while (IndexOfId(next_id_) >= 0);
    return id;
}

TVrLockData* TVrLockList::Add(const std::string& name, uint32_t id, const std::string& path) {
    auto lock = std::make_unique<TVrLockData>();
    lock->Name = name;
    lock->Path = path;
    lock->Id = id;
    lock->UseCount = 1;
    locks_.push_back(std::move(lock));
    return locks_.back().get();
}

std::string TVrLockList::TempFileName(uint32_t id, const std::string& name) const {
    return TempFileName(TempPath, id, name);
}

std::string TVrLockList::TempFileName(const std::string& folder, uint32_t id, const std::string& name) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", id);
    return folder + "~vq" + hex + ExtractFileExt(name);
}

void TVrLockList::free_lock(std::unique_ptr<TVrLockData>& lock) {
    TempDeletionQueue().push_back(lock->Path);
    lock.reset();
}

void TVrLockList::Clear() {
    for (auto& l : locks_) free_lock(l);
    locks_.clear();
    for (auto& l : released_) free_lock(l);
    released_.clear();
}

void TVrLockList::Tick(uint32_t frame_time) {
    for (size_t i = released_.size(); i-- > 0;) {
        auto& l = released_[i];
        l->Remaining = static_cast<int32_t>(static_cast<uint32_t>(l->Remaining) - frame_time);
        if (l->Remaining <= 1) {
            free_lock(l);
            released_.erase(released_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// ---- TVrFileManager

TVrFileManager::TVrFileManager() {
    for (const auto& root : CdRomRoots())
        if (VolumeInformationAvailable(root)) CdRoots.push_back(root);
    // Temporary copies go to this process's own folder: no predictable
    // names in a folder other users can write to.
    // Without one (TempPath empty) copies fail rather than land elsewhere.
    const std::string temp = PrivateTempFolder();
    TempPath = temp.empty() ? temp : IncludeTrailingPathDelimiter(temp);
    Locks.TempPath = TempPath;
}

TVrFileManager::~TVrFileManager() {
    archives_.clear();
    Cache.Clear();
    Locks.Clear();
}

TVrFileCollection* TVrFileManager::GetCollection(int index) const {
    if (index < 0 || index >= Count()) throw EListError("File manager: archive index " + std::to_string(index) + " out of range");
    return archives_[static_cast<size_t>(index)].get();
}

void TVrFileManager::SetBaseFolder(const std::string& folder) {
    BaseFolder = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

int TVrFileManager::AddArchive(const std::string& file_name) {
    for (const auto& a : archives_)
        if (AnsiSameText(a->BaseFolder, file_name)) return -1;
    auto c = std::make_unique<TVrFileCollection>();
    c->Open(file_name);
    archives_.push_back(std::move(c));
    return Count() - 1;
}

int TVrFileManager::AddResourceArchive(const std::string& module_name, const std::string& res_name,
                                       const std::string& res_type) {
    auto c = std::make_unique<TVrFileCollection>();
    c->OpenResource(module_name, res_name, res_type);
    archives_.push_back(std::move(c));
    return Count() - 1;
}

void TVrFileManager::DeleteCollection(int index) {
    GetCollection(index);
    archives_.erase(archives_.begin() + index);
}

TVrFile* TVrFileManager::FindEntry(const std::string& name) const {
    for (const auto& a : archives_)
        if (TVrFile* e = a->FindEntry(name)) return e;
    return nullptr;
}

bool TVrFileManager::FileExists(const std::string& name) const {
    if (name.empty()) return false;
    if (FindEntry(name)) return true;
    if (!BaseFolder.empty() && ::FileExists(BaseFolder + name)) return true;
    for (const auto& root : CdRoots)
        if (::FileExists(root + name)) return true;
    return false;
}

void TVrFileManager::LoadToStream(TStream& stream, const std::string& name) {
    if (auto* mem = dynamic_cast<TMemoryStream*>(&stream)) mem->Clear();
    TVrCache* cache = Cache.Lookup(name);
    if (cache->Content->GetSize() > 0) return deliver(*cache->Content, stream);
    const std::string loose = BaseFolder + name;
    if (!name.empty() && ::FileExists(loose)) {
        cache->Content->LoadFromFile(loose);
        return deliver(*cache->Content, stream);
    }
    for (const auto& a : archives_) {
        TVrFile* e = a->FindEntry(name);
        if (!e) continue;
        if (e->Data) {
            // Entries being written change under us: never cached.
            Cache.Delete(cache);
            stream.WriteBuffer(e->Data->Memory(), e->Data->GetSize());
            stream.SetPosition(0);
            return;
        }
        if (!a->Source) continue;
        // Unpacked into a scratch buffer: a damaged entry raises and leaves
        // the cache item empty (a miss) instead of holding half a file.
        auto content = std::make_unique<TMemoryStream>();
        a->LoadEntry(*e, *content);
        std::swap(cache->Content, content);
        return deliver(*cache->Content, stream);
    }
    for (const auto& root : CdRoots) {
        if (::FileExists(root + name)) {
            cache->Content->LoadFromFile(root + name);
            return deliver(*cache->Content, stream);
        }
    }
    throw Exception(FileNotFoundMessage(name));
}

std::unique_ptr<TStream> TVrFileManager::OpenRangeStream(const std::string& name) {
    const std::string loose = BaseFolder + name;
    if (!name.empty() && ::FileExists(loose)) return std::make_unique<TFileRangeStream>(loose, 0, 0);
    for (const auto& a : archives_)
        if (auto s = a->OpenRangeStream(name)) return s;
    for (const auto& root : CdRoots)
        if (::FileExists(root + name)) return std::make_unique<TFileRangeStream>(root + name, 0, 0);
    throw Exception(FileNotFoundMessage(name));
}

std::string TVrFileManager::GetLocalFileName(const std::string& name) {
    if (!BaseFolder.empty() && ::FileExists(BaseFolder + name)) return BaseFolder + name;
    if (FindEntry(name)) {
        int i = Locks.IndexOfName(name);
        if (i >= 0) {
            TVrLockData* lock = Locks.Get(i);
            ++lock->UseCount;
            return lock->Path;
        }
        return ExtractToTempFile(name);
    }
    for (const auto& root : CdRoots)
        if (::FileExists(root + name)) return root + name;
    return name;
}

void TVrFileManager::temp_file_failed() {
    const std::string message = Sjis("作業用ファイルが作れません");
    // Every medium that needs a copy fails alike: told once, not per medium.
    if (!temp_failure_reported_) {
        temp_failure_reported_ = true;
        ShowMessageBox(message, Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
    }
    throw Exception(message);
}

bool TVrFileManager::write_temp_copy(const std::string& name, const std::string& file) {
    if (::FileExists(file)) DeleteFile(file);
    try {
        TFileStream out(file, fmCreate);
        try {
            LoadToStream(out, name);
        } catch (...) {
            DeleteFile(file);
            throw;
        }
    } catch (const EFCreateError&) {
        return false;
    } catch (const EWriteError&) {
        // Only the copy writes: reading the entry never raises this.
        return false;
    }
    return true;
}

std::string TVrFileManager::ExtractToTempFile(const std::string& name) {
    Locks.TempPath = TempPath;
    if (TempPath.empty()) temp_file_failed();
    const uint32_t id = Locks.ReserveId();
    std::string file = Locks.TempFileName(id, name);
    if (!write_temp_copy(name, file)) {
        // A small $TMPDIR that filled up: /tmp may still have room, as it
        // serves when $TMPDIR cannot take a folder at all.
        const std::string fallback = FallbackTempFolder();
        if (fallback.empty() || fallback == TempPath) temp_file_failed();
        file = TVrLockList::TempFileName(fallback, id, name);
        if (!write_temp_copy(name, file)) temp_file_failed();
    }
    // Recorded only now that the file is complete: a failed extraction
    // leaves no lock that would hand out a partial file.
    Locks.Add(name, id, file);
    return file;
}

std::string TVrFileManager::ExtractFolder(const std::string& name) {
    if (name.empty()) return name;
    if (name.compare(0, 2, "\\\\") == 0 || (name.size() >= 2 && name[1] == ':')) return ExtractFilePath(name);
    size_t p = last_path_delimiter(name);
    return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

bool TVrFileManager::MountDisk(int disk_index) {
    bool mounted = false;
    for (const auto& root : CdRoots) {
        const std::string archive = root + "game.dat";
        const std::string settings = root + "install.dat";
        if (!::FileExists(archive) || !::FileExists(settings)) continue;
        TVorqInstallSet set;
        try {
            set.LoadFromFile(settings);
        } catch (const Exception&) {
            continue;  // unreadable settings: not a disc of ours
        }
        if (set.Title == GameTitle && set.DiskIndex == disk_index) {
            AddArchive(archive);
            mounted = true;
        }
    }
    return mounted;
}

bool TVrFileManager::ask(const std::string& text) {
    if (AskOkCancel) return AskOkCancel(text);
    return ShowMessageBox(text, ApplicationTitle, MessageBoxKind::OKCancel) == IDOK;
}

bool TVrFileManager::RequestDisk(int disk) {
    for (int i = Count() - 1; i >= 0; --i) {
        const std::string& folder = archives_[static_cast<size_t>(i)]->BaseFolder;
        if (std::any_of(CdRoots.begin(), CdRoots.end(), [&](const std::string& r) { return starts_with_text(folder, r); }))
            archives_.erase(archives_.begin() + i);
    }
    // Without a display nobody can change the disc: one look is all there is.
    const bool someone_answers = AskOkCancel || DisplayAvailable();
    for (;;) {
        if (ask(FormatDiskRequest(DiskRequestMessage, disk))) {
            if (MountDisk(disk - 1)) return true;
            if (!someone_answers) return false;
            continue;
        }
        if (ask(ExitMessage)) {
            if (OnQuit) OnQuit();
            return false;
        }
    }
}
