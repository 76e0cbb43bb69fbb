#include "objects/text/mes_data.h"

#include "files/field_reader.h"
#include "files/save_stream.h"
#include "objects/text/scenario_text.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"
#include "render/text/glyphs.h"
#include "render/text/wz_word.h"

#include <algorithm>

TScenarioText* ScenarioText = nullptr;

namespace {

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        if (stop > at && text[stop - 1] == '\r') --stop;
        lines.push_back(text.substr(at, stop - at));
        at = end + 1;
    }
    return lines;
}

bool page_exists(const std::string& name) { return ScenarioText && !name.empty() && ScenarioText->PageExists(name); }

// Appends source's glyphs first..last to word with the piece's captured
// values, expands its variables and lays it out from start into pages.
void append_piece(TWzWord& word, const TWzWord& source, int32_t first, int32_t last, const std::string& text,
                  TWdPageList& pages) {
    const int32_t start = word.GlyphCount();
    word.AppendGlyphsFrom(source, first, last);
    word.CapturedValues = split_lines(text);
    word.ExpandVars(start, -1);
    LayoutPages(word, pages, start, -1);
    // A list appended later indexes its own decorations.
    word.DecorationIndexBase = word.Decorations().Count();
}

// y below the last row of page, plus the line space.
int32_t below_last_row(const TWdPage& page, int32_t line_space) {
    const TWdRow* last = page.RowAt(page.RowCount() - 1);
    return last->Y + last->GetHeight() + line_space;
}

}  // namespace

void LoadStoredText(TWzWord& word, const std::string& bytes) {
    TMemoryStream m;
    if (!bytes.empty()) m.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    m.SetPosition(0);
    word.LoadGlyphStream(m);
}

void MoveRows(TWdPage& from, TWdPage& to, int32_t dy) {
    for (TWdGlyph* row : from.Children) {
        auto it = std::find_if(from.Owned.begin(), from.Owned.end(), [row](const auto& p) { return p.get() == row; });
        if (it == from.Owned.end()) continue;
        std::unique_ptr<TWdGlyph> owned = std::move(*it);
        from.Owned.erase(it);
        row->Y += dy;
        to.AddOwned(std::move(owned));
        to.AddChild(row);
    }
    from.Children.clear();
}

// ---- cache ----

TMesDataCache::TMesDataCache(std::string name, std::unique_ptr<TScenarioTextPage> page)
    : name_(std::move(name)), page_(std::move(page)) {}
TMesDataCache::~TMesDataCache() = default;

TWzWord* TMesDataCache::GetWord(int32_t command_index) {
    for (size_t i = 0; i < words_.size(); ++i) {
        if (words_[i].command_index != command_index) continue;
        std::rotate(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(i),
                    words_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return words_.front().word.get();
    }
    const std::string* text = page_ ? page_->StoredText(command_index) : nullptr;
    if (!text) return nullptr;
    auto word = std::make_unique<TWzWord>();
    LoadStoredText(*word, *text);
    words_.insert(words_.begin(), Word{command_index, std::move(word)});
    if (words_.size() > kMaxWords) words_.resize(kMaxWords);
    return words_.front().word.get();
}

TMesDataCache* TMesDataCacheList::GetCache(const std::string& page_name) {
    for (size_t i = 0; i < caches_.size(); ++i) {
        if (!AnsiSameText(caches_[i]->Name(), page_name)) continue;
        std::rotate(caches_.begin(), caches_.begin() + static_cast<std::ptrdiff_t>(i),
                    caches_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return caches_.front().get();
    }
    if (!ScenarioText) return nullptr;
    auto cache = std::make_unique<TMesDataCache>(page_name, ScenarioText->LoadPage(page_name));
    caches_.insert(caches_.begin(), std::move(cache));
    if (caches_.size() > kMaxPages) caches_.resize(kMaxPages);
    return caches_.front().get();
}

TWzWord* TMesDataCacheList::GetWord(const std::string& page_name, int32_t command_index) {
    TMesDataCache* c = GetCache(page_name);
    return c ? c->GetWord(command_index) : nullptr;
}

// ---- message data ----

void TVorqNewMesData::Rebuild(TWzWord& word, TWdPageList& pages, bool packed, int32_t first_offset) {
    if (Pieces.Count() == 0) {
        RebuildOld(word, pages, packed);
        return;
    }
    word.Clear();
    if (Pieces.Count() == 1 && Pieces.TotalHeight == 0) {
        const std::string name = Pieces.NearestPageName(0);
        if (!page_exists(name)) return;
        const TWzWord* source = Cache.GetWord(name, Pieces.CommandIndexes[0]);
        if (!source) return;
        append_piece(word, *source, Pieces.FirstPositions[0], Pieces.LastPositions[0], Pieces.Texts[0], pages);
        return;
    }
    pages.push_back(std::make_unique<TWdPage>(word));
    TWdPage& single = *pages.back();
    int32_t y = first_offset;
    for (int32_t i = 0; i < Pieces.Count(); ++i) {
        const std::string name = Pieces.NearestPageName(i);
        if (!page_exists(name)) break;
        const TWzWord* source = Cache.GetWord(name, Pieces.CommandIndexes[static_cast<size_t>(i)]);
        if (!source) continue;
        TWdPageList temp;
        const size_t k = static_cast<size_t>(i);
        append_piece(word, *source, Pieces.FirstPositions[k], Pieces.LastPositions[k], Pieces.Texts[k], temp);
        if (!temp.empty() && temp[0]->RowCount() > 0) {
            MoveRows(*temp[0], single, y);
            y = below_last_row(single, word.LineSpacing);
        }
    }
    single.Layout();
}

void TVorqNewMesData::RebuildOld(TWzWord& word, TWdPageList& pages, bool packed) {
    word.Clear();
    const int32_t width = word.ViewWidth, height = word.PageHeight;
    struct Restore {
        TWzWord& w;
        int32_t width, height;
        ~Restore() {
            w.ViewWidth = width;
            w.PageHeight = height;
        }
    } restore{word, width, height};
    if (OldNames.empty()) return;
    auto nearest = [&](size_t i) {
        for (size_t k = i + 1; k-- > 0;)
            if (!OldNames[k].empty()) return OldNames[k];
        return std::string();
    };
    if (OldNames.size() == 1 && OldPageIndexes[0] < 0) {
        const std::string name = nearest(0);
        if (!page_exists(name)) return;
        const TWzWord* source = Cache.GetWord(name, OldCommands[0]);
        if (!source) return;
        word.ViewWidth = OldWidths[0];
        word.PageHeight = OldHeights[0];
        append_piece(word, *source, 0, -1, std::string(), pages);
        return;
    }
    pages.push_back(std::make_unique<TWdPage>(word));
    TWdPage& single = *pages.back();
    int32_t y = 0;
    for (size_t i = 0; i < OldNames.size(); ++i) {
        const std::string name = nearest(i);
        if (!page_exists(name)) break;
        const TWzWord* source = Cache.GetWord(name, OldCommands[i]);
        if (!source) continue;
        word.ViewWidth = OldWidths[i];
        word.PageHeight = OldHeights[i];
        TWdPageList temp;
        append_piece(word, *source, 0, -1, std::string(), temp);
        const int32_t p = OldPageIndexes[i];
        if (p < 0 || static_cast<size_t>(p) >= temp.size() || temp[static_cast<size_t>(p)]->RowCount() == 0) continue;
        MoveRows(*temp[static_cast<size_t>(p)], single, y);
        y = packed ? below_last_row(single, word.LineSpacing) : y + OldHeights[i];
    }
    single.Layout();
}

void TVorqNewMesData::AddOldRef(const std::string& page_name, int32_t command_index, int32_t width, int32_t height,
                                int32_t page_index) {
    OldNames.push_back(page_name);
    OldCommands.push_back(command_index);
    OldPageIndexes.push_back(page_index);
    OldWidths.push_back(width);
    OldHeights.push_back(height);
}

void TVorqNewMesData::ClearOldRefs() {
    OldNames.clear();
    OldCommands.clear();
    OldPageIndexes.clear();
    OldWidths.clear();
    OldHeights.clear();
}

void TVorqNewMesData::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, static_cast<int32_t>(OldNames.size()));
    for (const std::string& n : OldNames) WriteStreamString(s, n);
    for (int32_t v : OldCommands) WriteStreamInteger(s, v);
    for (int32_t v : OldPageIndexes) WriteStreamInteger(s, v);
    for (size_t i = 0; i < OldWidths.size(); ++i) {
        WriteStreamInteger(s, OldWidths[i]);
        WriteStreamInteger(s, OldHeights[i]);
    }
    Pieces.SaveToStream(s);
}

void TVorqNewMesData::LoadFromStream(FieldReader& r, int32_t version) {
    ClearOldRefs();
    Pieces.Clear();
    // A name, a command, a page index and a size per reference.
    const uint32_t n = r.Count("older reference count", 4 + 4 + 4 + 8, 1u << 20);
    for (uint32_t i = 0; i < n; ++i) OldNames.push_back(r.String("older page name"));
    for (uint32_t i = 0; i < n; ++i) {
        const int32_t c = r.I32("older command index");
        if (c < 0) r.Fail("older command index");
        OldCommands.push_back(c);
    }
    // Below 0 stands for the whole text.
    for (uint32_t i = 0; i < n; ++i) OldPageIndexes.push_back(r.I32("older page index"));
    for (uint32_t i = 0; i < n; ++i) {
        OldWidths.push_back(r.I32("older width"));
        OldHeights.push_back(r.I32("older height"));
    }
    if (version >= 113) Pieces.LoadFromStream(r, version);
}
