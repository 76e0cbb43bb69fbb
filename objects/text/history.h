// The backlog and the read marks: what recording message windows showed,
// kept as references into the scenario (page name, text-insert command,
// glyph range) with the variable values the page showed, and which pages of
// which text commands were revealed to their end. One of each for the
// whole run; the backlog is saved in game saves, the read marks in the
// status save.
#pragma once
#include "render/text/layout.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FieldReader;
class TStream;
class TVorqObject;
class TWzWord;

// One backlog entry: pieces stacked until the next would overflow the
// template window's height. A page name equal (ignoring case) to the
// nearest non-empty one before it is kept empty.
class TVorqHistData {
public:
    void AddPiece(const std::string& page_name, int32_t command_index, const std::string& text, int32_t height,
                  int32_t last, int32_t first);
    void Clear();
    int32_t Count() const { return static_cast<int32_t>(PageNames.size()); }
    // The name of piece i, looking back to the nearest non-empty one.
    std::string NearestPageName(int32_t i) const;
    void SaveToStream(TStream& s) const;
    // Piece texts are stored from version 124.
    void LoadFromStream(FieldReader& r, int32_t version);

    std::vector<std::string> PageNames;
    std::vector<int32_t> CommandIndexes;
    std::vector<int32_t> FirstPositions;
    std::vector<int32_t> LastPositions;
    std::vector<int32_t> Heights;
    int32_t TotalHeight = 0;
    std::vector<std::string> Texts;  // NAME=value lines
};

// One entry of the older backlog: one window page per entry.
struct THistoryOldData {
    std::string PageName;
    int32_t CommandIndex = 0;
    int32_t PageIndex = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

class TVorqNewHistory {
public:
    TVorqNewHistory();
    ~TVorqNewHistory();

    void SetPending(const TVorqObject& window, const std::string& page_name, const std::string& text,
                    int32_t page_index, int32_t last, int32_t first, int32_t command_index);
    void CommitPending(const std::string& window_name);
    // @HistoryCount: pixel height of the backlog, or older entries.
    int32_t GetCount() const;
    int32_t EntryCount() const;
    bool NewFormat() const;
    // Lays the backlog rows first..first+count-1 (older: entries) out in a
    // message window.
    void ShowInMes(int32_t first, int32_t count, TVorqObject* window);
    // The pieces covering rows first..first+count-1; offset receives where
    // the first piece starts relative to row first (0 or negative).
    void ExtractRange(int32_t first, int32_t count, TVorqHistData& target, int32_t& offset) const;
    void Clear();
    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s, int32_t version);

    std::unique_ptr<TWzWord> Word;  // lays history text out
    std::vector<std::unique_ptr<TVorqHistData>> Entries;
    std::vector<THistoryOldData> OldEntries;
    int32_t PendingWidth = 0, PendingHeight = 0, PendingPageIndex = 0;
    std::string PendingWindow;
    std::string PendingPage;  // empty: nothing pending
    int32_t PendingCommand = 0;
    int32_t PendingFirst = 0, PendingLast = 0;
    std::string PendingText;
    int32_t MaxCount = 0;  // @HistoryMaxCount; 0 keeps all

private:
    std::string old_nearest_name() const;
    void drop_pending();
    // The loaded command whose glyph list Word holds, by reference only.
    std::string cached_page_;
    int32_t cached_command_ = -1;
};

// Pages marked read, by scenario page name: pairs of (command index, page index).
class TVorqReadList {
public:
    bool IsRead(const std::string& page_name, int32_t command_index, int32_t page_index) const;
    void SetPending(const std::string& window_name, const std::string& page_name, int32_t page_index,
                    int32_t command_index);
    void CommitPending(const std::string& window_name);
    void Clear();
    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s, int32_t version);

    struct Item {
        std::string PageName;
        std::vector<int32_t> CommandIndexes;
        std::vector<int32_t> PageIndexes;
    };
    std::vector<Item> Items;
    std::string PendingPage, PendingWindow;
    int32_t PendingCommand = 0, PendingPageIndex = 0;

private:
    Item* find(const std::string& page_name);
    const Item* find(const std::string& page_name) const;
};

// The run's backlog and read marks.
TVorqNewHistory& History();
TVorqReadList& ReadList();
