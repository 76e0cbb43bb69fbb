// Small games for tests: a temporary game folder holding a project file,
// scenario pages written with TPageWriter and any other files, or the same
// packed into a game archive.
#pragma once
#include "engine/project.h"
#include "engine/scenario_writer.h"

#include <map>
#include <string>

// A project file's fields with a start page and a 640 x 480 screen.
TProjectFileData TestProjectData(const std::string& start_page, uint32_t version = 109);

class TTestGameFolder {
public:
    TTestGameFolder();
    ~TTestGameFolder();
    TTestGameFolder(const TTestGameFolder&) = delete;
    TTestGameFolder& operator=(const TTestGameFolder&) = delete;

    // The folder, ending in "/".
    const std::string& Path() const { return path_; }
    void WriteFile(const std::string& name, const std::string& bytes);
    void WriteProject(const TProjectFileData& data);
    void WritePage(const std::string& name, const TPageWriter& page);
    // A game whose one page, "main.vsb", waits for ever: a player to watch.
    void WriteWaitingGame();
    // Packs the named files (contents given) into an archive file here.
    void WriteArchive(const std::string& archive_name, const std::map<std::string, std::string>& files);

private:
    std::string path_;
};

// A game in the folder whose every run adds 1 to the status variable
// "count", with save_slot saves into slot count (caption "slot"), and ends.
void WriteCountingGame(TTestGameFolder& game, bool save_slot);

// A slot's record whose 3,000-letter caption packs (zlib level 1) so that
// flipping bit kAdlerMissedBit of its packed bytes leaves a stream that
// still unpacks, its Adler-32 matching, to another record: found once by
// trying every bit of the packed bytes with Python's zlib.
std::string LongCaptionRecord();
constexpr size_t kAdlerMissedBit = 996;
// save.dat holding that record as slot 1 and as the status; the bit of slot
// 1's packed bytes at kAdlerMissedBit lies at bit *flip_at of the file.
std::string LongCaptionSaveFile(size_t* flip_at);

// A memory stream holding bytes, at position 0.
TMemoryStream StreamOf(const std::string& bytes);

// The bytes of a project file.
std::string ProjectFileBytes(const TProjectFileData& data);
