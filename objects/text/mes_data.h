// The text of a message window as references into the compiled scenario
// (page name and text-insert command index, with the glyph range and the
// variable values shown), so that a saved game shows the same text without
// storing it; and the window's own small cache of loaded pages and decoded
// glyph lists, keyed by (page name, command index).
#pragma once
#include "objects/text/history.h"
#include "render/text/layout.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FieldReader;
class TScenarioTextPage;
class TStream;
class TWzWord;

// One page's decoded glyph lists, most recently used first.
class TMesDataCache {
public:
    static constexpr size_t kMaxWords = 16;
    TMesDataCache(std::string name, std::unique_ptr<TScenarioTextPage> page);
    ~TMesDataCache();
    // nullptr for an index outside the page or a command that is no text-insert.
    TWzWord* GetWord(int32_t command_index);
    const std::string& Name() const { return name_; }

private:
    struct Word {
        int32_t command_index;
        std::unique_ptr<TWzWord> word;
    };
    std::string name_;
    std::unique_ptr<TScenarioTextPage> page_;
    std::vector<Word> words_;
};

class TMesDataCacheList {
public:
    static constexpr size_t kMaxPages = 4;
    // nullptr when the page cannot be loaded.
    TMesDataCache* GetCache(const std::string& page_name);
    TWzWord* GetWord(const std::string& page_name, int32_t command_index);
    size_t Count() const { return caches_.size(); }
    const TMesDataCache& At(size_t i) const { return *caches_[i]; }

private:
    std::vector<std::unique_ptr<TMesDataCache>> caches_;
};

class TVorqNewMesData {
public:
    // Lays the references out into word and pages: one text-insert message
    // paged by the window's size, or the backlog as one tall page.
    void Rebuild(TWzWord& word, TWdPageList& pages, bool packed, int32_t first_offset);
    void RebuildOld(TWzWord& word, TWdPageList& pages, bool packed);
    bool IsEmpty() const { return Pieces.Count() == 0 && OldNames.empty(); }
    void AddOldRef(const std::string& page_name, int32_t command_index, int32_t width, int32_t height,
                   int32_t page_index);
    void ClearOldRefs();
    void SaveToStream(TStream& s) const;
    void LoadFromStream(FieldReader& r, int32_t version);

    TMesDataCacheList Cache;
    TVorqHistData Pieces;
    std::vector<std::string> OldNames;
    std::vector<int32_t> OldCommands;
    std::vector<int32_t> OldPageIndexes;
    std::vector<int32_t> OldWidths, OldHeights;
};

// Moves the rows of from into to, each row's y increased by dy.
void MoveRows(TWdPage& from, TWdPage& to, int32_t dy);
// Reads the glyph list bytes into word (appending).
void LoadStoredText(TWzWord& word, const std::string& bytes);
