// The one file manager through which the player reads every game file by
// its relative name: opened archives, the base folder of loose files and
// CD-ROM roots, in an order fixed per operation; a 4 MiB cache of loaded
// files; windows onto stored entries and temporary copies for players that
// need them; and the prompt for another disc.
#pragma once
#include "files/vr_file_collection.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One loaded file; the key is the name upper-cased.
class TVrCache {
public:
    std::unique_ptr<TMemoryStream> Content = std::make_unique<TMemoryStream>();
    std::string Name;
};

// Most recently used first. An empty item counts as a miss.
class TVrCacheList {
public:
    // Eviction starts when the contents reach this many bytes.
    static constexpr int64_t kEvictAt = 0x400001;

    // The item of that name, moved to the front; a miss inserts an empty
    // item at the front and evicts the least recently used ones.
    TVrCache* Lookup(const std::string& name);
    void Remove(const std::string& name);
    void Delete(TVrCache* cache);
    int64_t GetTotalSize() const;
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TVrCache* Get(int i) const { return items_.at(static_cast<size_t>(i)).get(); }

private:
    std::vector<std::unique_ptr<TVrCache>> items_;
};

// One temporary file extracted for a player.
struct TVrLockData {
    std::string Name;  // the file name asked for
    std::string Path;  // its temporary file
    uint32_t Id = 0;
    int32_t UseCount = 0;
    int32_t Remaining = 0;  // in the frame loop's time unit, for released locks
};

class TVrLockList {
public:
    ~TVrLockList() { Clear(); }
    int Count() const { return static_cast<int>(locks_.size()); }
    TVrLockData* Get(int i) const;  // nullptr outside 0..Count-1
    int IndexOfName(const std::string& name) const;  // case-sensitive
    int IndexOfId(uint32_t id) const;
    // The id for the next lock; the counter then skips ids still in use.
    uint32_t ReserveId();
    TVrLockData* Add(const std::string& name, uint32_t id, const std::string& path);
    // Temporary file of a lock: TempPath (or the given folder) + "~vq" + 8
    // hex digits + extension.
    std::string TempFileName(uint32_t id, const std::string& name) const;
    static std::string TempFileName(const std::string& folder, uint32_t id, const std::string& name);
    // Frees every lock (queueing its file for deletion), then the released ones.
    void Clear();
    // Ages the released locks by frame_time; those at 1 or below are freed.
    void Tick(uint32_t frame_time);

    std::string TempPath;  // ends with a path delimiter

private:
    void free_lock(std::unique_ptr<TVrLockData>& lock);

    std::vector<std::unique_ptr<TVrLockData>> locks_;
    std::vector<std::unique_ptr<TVrLockData>> released_;
    uint32_t next_id_ = 0;
};

class TVrFileManager {
public:
    TVrFileManager();
    ~TVrFileManager();
    TVrFileManager(const TVrFileManager&) = delete;
    TVrFileManager& operator=(const TVrFileManager&) = delete;

    std::vector<std::string> CdRoots;  // CD-ROM roots with a disc, ending in a delimiter
    std::string BaseFolder;            // loose game files, with a trailing delimiter (or empty)
    TVrCacheList Cache;
    TVrLockList Locks;
    std::string TempPath;  // this process's private temporary folder ("" when none)

    // What the disc prompt needs of the running project (Shift-JIS).
    std::string GameTitle;
    std::string DiskRequestMessage;  // takes the disc number as %d
    std::string ExitMessage;
    std::string ApplicationTitle;
    // Asks an OK/Cancel question; true for OK. Unset: a message box.
    std::function<bool(const std::string& sjis_text)> AskOkCancel;
    // Called when the player gives up at the disc prompt (quit the program).
    std::function<void()> OnQuit;

    int Count() const { return static_cast<int>(archives_.size()); }
    TVrFileCollection* GetCollection(int index) const;
    void SetBaseFolder(const std::string& folder);
    // -1 when an opened archive already has this base folder.
    int AddArchive(const std::string& file_name);
    int AddResourceArchive(const std::string& module_name, const std::string& res_name, const std::string& res_type);
    void DeleteCollection(int index);
    void Clear() { archives_.clear(); }

    bool FileExists(const std::string& name) const;
    // The whole file, stream left at position 0; raises when missing.
    void LoadToStream(TStream& stream, const std::string& name);
    // A read-only stream for players that read by themselves.
    std::unique_ptr<TStream> OpenRangeStream(const std::string& name);
    // A real file path for players that need one (extracted once per name).
    std::string GetLocalFileName(const std::string& name);
    // A copy in TempPath; when that folder cannot take it (full), one more
    // try in FallbackTempFolder. Raises "作業用ファイルが作れません" when
    // neither can, and leaves no part-written file.
    std::string ExtractToTempFile(const std::string& name);
    TVrFile* FindEntry(const std::string& name) const;
    static std::string ExtractFolder(const std::string& name);

    // Closes the disc archives and asks for disc number disk (from 1) until
    // it is mounted (true) or the player quits (false).
    bool RequestDisk(int disk);
    // Adds game.dat of every CD root whose install.dat names our game and
    // disc disk_index (from 0).
    bool MountDisk(int disk_index);

private:
    bool ask(const std::string& text);
    // Raises "作業用ファイルが作れません", telling the player the first time.
    [[noreturn]] void temp_file_failed();
    // Writes the copy of name to file; false (no file left) when the file
    // cannot be created or written. Other faults (a damaged entry) raise.
    bool write_temp_copy(const std::string& name, const std::string& file);
    std::vector<std::unique_ptr<TVrFileCollection>> archives_;
    bool temp_failure_reported_ = false;
};

// The disc-request text with each %d replaced by the disc number and %%
// by %; nothing else in the game's text is interpreted.
std::string FormatDiskRequest(const std::string& text, int disk);

// The global file manager, made by CreateFileManager and freed (with its
// temporary files) by FreeFileManager.
extern TVrFileManager* FileManager;
void CreateFileManager();
void FreeFileManager();
// Deletes the temporary files of freed locks; once per frame and at exit.
void DeleteTempFiles();
// Temporary files waiting for DeleteTempFiles.
std::vector<std::string>& TempDeletionQueue();
