#include "objects/text/history.h"

#include "script/param_collection.h"
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "objects/text/mes.h"
#include "objects/text/mes_data.h"
#include "objects/object_record.h"
#include "objects/text/scenario_text.h"
#include "platform/text/codepage.h"
#include "render/text/glyphs.h"
#include "render/text/wz_word.h"

#include <algorithm>
#include <limits>

namespace {

constexpr uint32_t kMaxEntries = 1u << 20;

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

// The first or last glyph of a laid-out page that stands for source items
// (not an indent space or a variable's character).
const TWdGlyph* edge_source_glyph(const TWdPage& page, bool last) {
    const int32_t rows = page.RowCount();
    for (int32_t ri = 0; ri < rows; ++ri) {
        const TWdRow* row = page.RowAt(last ? rows - 1 - ri : ri);
        const int32_t n = row->ChildCount();
        for (int32_t gi = 0; gi < n; ++gi) {
            const TWdGlyph* g = row->GetChild(last ? n - 1 - gi : gi);
            if (g->GetKind() != gkBase && g->SourceItems() == 1) return g;
        }
    }
    return nullptr;
}

int32_t history_setting(size_t i) { return Params ? Params->history_settings[i] : 0; }

int32_t non_negative(FieldReader& r, const char* field) {
    const int32_t v = r.I32(field);
    if (v < 0) r.Fail(field);
    return v;
}

}  // namespace

// ---- one entry ----

void TVorqHistData::AddPiece(const std::string& page_name, int32_t command_index, const std::string& text,
                             int32_t height, int32_t last, int32_t first) {
    const std::string nearest = NearestPageName(Count() - 1);
    PageNames.push_back(!nearest.empty() && AnsiSameText(nearest, page_name) ? std::string() : page_name);
    CommandIndexes.push_back(command_index);
    FirstPositions.push_back(first);
    LastPositions.push_back(last);
    Heights.push_back(height);
    Texts.push_back(text);
    TotalHeight = static_cast<int32_t>(static_cast<uint32_t>(TotalHeight) + static_cast<uint32_t>(height));
}

void TVorqHistData::Clear() {
    PageNames.clear();
    CommandIndexes.clear();
    FirstPositions.clear();
    LastPositions.clear();
    Heights.clear();
    Texts.clear();
    TotalHeight = 0;
}

std::string TVorqHistData::NearestPageName(int32_t i) const {
    if (i >= Count()) i = Count() - 1;
    for (; i >= 0; --i)
        if (!PageNames[static_cast<size_t>(i)].empty()) return PageNames[static_cast<size_t>(i)];
    return {};
}

void TVorqHistData::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, Count());
    for (size_t i = 0; i < PageNames.size(); ++i) {
        WriteStreamString(s, PageNames[i]);
        WriteStreamInteger(s, CommandIndexes[i]);
        WriteStreamInteger(s, FirstPositions[i]);
        WriteStreamInteger(s, LastPositions[i]);
        WriteStreamInteger(s, Heights[i]);
        WriteStreamString(s, Texts[i]);
    }
    WriteStreamInteger(s, TotalHeight);
}

void TVorqHistData::LoadFromStream(FieldReader& r, int32_t version) {
    Clear();
    const bool texts = version >= 124;
    const uint32_t n = r.Count("piece count", 4 + 16 + (texts ? 4 : 0), kMaxEntries);
    int64_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
        PageNames.push_back(r.String("piece page name"));
        CommandIndexes.push_back(non_negative(r, "piece command index"));
        FirstPositions.push_back(non_negative(r, "piece first position"));
        const int32_t last = r.I32("piece last position");
        // -1 stands for the end of the text.
        if (last < -1) r.Fail("piece last position");
        LastPositions.push_back(last);
        const int32_t h = non_negative(r, "piece height");
        Heights.push_back(h);
        total += h;
        Texts.push_back(texts ? r.String("piece text") : std::string());
    }
    TotalHeight = r.I32("total height");
    // The total is what the backlog's rows are counted by: it must be the sum.
    if (TotalHeight != total) r.Fail("total height");
}

// ---- the backlog ----

TVorqNewHistory::TVorqNewHistory() : Word(std::make_unique<TWzWord>()) {}
TVorqNewHistory::~TVorqNewHistory() = default;

bool TVorqNewHistory::NewFormat() const { return Word->ViewWidth != 0; }

void TVorqNewHistory::SetPending(const TVorqObject& window, const std::string& page_name, const std::string& text,
                                 int32_t page_index, int32_t last, int32_t first, int32_t command_index) {
    PendingPage = page_name;
    PendingCommand = command_index;
    PendingFirst = first;
    PendingLast = last;
    PendingWindow = window.GetName();
    PendingText = text;
    if (history_setting(0) == 0) {
        PendingWidth = window.GetWidth();
        PendingHeight = window.GetHeight();
        PendingPageIndex = page_index;
    }
    if (Entries.empty()) {
        // The template may come from any object: what a message window
        // cannot lay out with is clamped, here and when a save is loaded.
        Word->FontSize = TWzWord::ClampFontSize(history_setting(0));
        Word->BorderWidth = TWzWord::ClampEdgeWidth(history_setting(1));
        Word->ShadowWidth = TWzWord::ClampEdgeWidth(history_setting(2));
        Word->ViewWidth = history_setting(3);
        Word->PageHeight = history_setting(4);
        Word->LineSpacing = TWzWord::ClampLineSpacing(history_setting(5));
    }
}

void TVorqNewHistory::drop_pending() {
    PendingPage.clear();
    PendingText.clear();
}

std::string TVorqNewHistory::old_nearest_name() const {
    for (auto it = OldEntries.rbegin(); it != OldEntries.rend(); ++it)
        if (!it->PageName.empty()) return it->PageName;
    return {};
}

void TVorqNewHistory::CommitPending(const std::string& window_name) {
    if (PendingPage.empty() || window_name != PendingWindow) return;
    if (!NewFormat()) {
        const std::string nearest = old_nearest_name();
        OldEntries.push_back({!nearest.empty() && AnsiSameText(nearest, PendingPage) ? std::string() : PendingPage,
                              PendingCommand, PendingPageIndex, PendingWidth, PendingHeight});
        while (MaxCount >= 1 && OldEntries.size() > static_cast<size_t>(MaxCount)) OldEntries.erase(OldEntries.begin());
        drop_pending();
        return;
    }
    if (!ScenarioText || !ScenarioText->PageExists(PendingPage)) {
        drop_pending();
        return;
    }
    if (!AnsiSameText(cached_page_, PendingPage) || cached_command_ != PendingCommand) {
        cached_page_.clear();
        cached_command_ = -1;
        std::unique_ptr<TScenarioTextPage> page = ScenarioText->LoadPage(PendingPage);
        const std::string* text = page ? page->StoredText(PendingCommand) : nullptr;
        // Not a text command (any more): the page stays pending.
        if (!text) return;
        Word->Clear();
        LoadStoredText(*Word, *text);
        cached_page_ = PendingPage;
        cached_command_ = PendingCommand;
    }
    TWdPageList pages;
    Word->CapturedValues = split_lines(PendingText);
    Word->ExpandVars(PendingFirst, PendingLast);
    // The layout takes the count of source items to cover: one past the last.
    LayoutPages(*Word, pages, PendingFirst, PendingLast < 0 ? -1 : PendingLast + 1);
    for (const auto& page : pages) {
        const int32_t height = page->GetHeight() + Word->LineSpacing;
        const TWdGlyph* fg = edge_source_glyph(*page, false);
        const TWdGlyph* lg = edge_source_glyph(*page, true);
        const int32_t first = fg ? Word->SourceIndexOfGlyph(fg) : PendingFirst;
        const int32_t last = lg ? Word->SourceIndexOfGlyph(lg) : PendingLast;
        if (!Entries.empty() && int64_t{Entries.back()->TotalHeight} + height <= Word->PageHeight)
            Entries.back()->AddPiece(PendingPage, PendingCommand, PendingText, height, last, first);
        else {
            Entries.push_back(std::make_unique<TVorqHistData>());
            Entries.back()->AddPiece(PendingPage, PendingCommand, PendingText, height, last, first);
        }
    }
    while (MaxCount >= 1 && Entries.size() > static_cast<size_t>(MaxCount)) Entries.erase(Entries.begin());
    pages.clear();
    Word->RemoveVarGlyphs(PendingFirst, -1);
    Word->CapturedValues.clear();
    drop_pending();
}

int32_t TVorqNewHistory::GetCount() const {
    if (!NewFormat()) return static_cast<int32_t>(OldEntries.size());
    int64_t sum = 0;
    for (const auto& e : Entries) sum += e->TotalHeight;
    return static_cast<int32_t>(std::min<int64_t>(sum, std::numeric_limits<int32_t>::max()));
}

int32_t TVorqNewHistory::EntryCount() const {
    return static_cast<int32_t>(NewFormat() ? Entries.size() : OldEntries.size());
}

void TVorqNewHistory::ExtractRange(int32_t first, int32_t count, TVorqHistData& target, int32_t& offset) const {
    target.Clear();
    offset = 0;
    const int64_t end = int64_t{first} + count;
    int64_t before_k = 0;
    size_t k = 0;
    for (; k < Entries.size(); ++k) {
        if (before_k + Entries[k]->TotalHeight > first) break;
        before_k += Entries[k]->TotalHeight;
    }
    if (k == Entries.size()) return;
    const TVorqHistData& ek = *Entries[k];
    int64_t start = before_k;
    int32_t j = 0;
    for (; j < ek.Count(); ++j) {
        if (start + ek.Heights[static_cast<size_t>(j)] > first) break;
        start += ek.Heights[static_cast<size_t>(j)];
    }
    if (j == ek.Count()) {
        j = ek.Count() - 1;
        start -= j >= 0 ? ek.Heights[static_cast<size_t>(j)] : 0;
    }
    offset = static_cast<int32_t>(std::max<int64_t>(start - first, std::numeric_limits<int32_t>::min()));
    size_t m = k;
    int64_t before_m = before_k;
    for (; m < Entries.size(); ++m) {
        if (before_m + Entries[m]->TotalHeight >= end) break;
        before_m += Entries[m]->TotalHeight;
    }
    if (m == Entries.size()) {
        m = Entries.size() - 1;
        before_m -= Entries[m]->TotalHeight;
    }
    const TVorqHistData& em = *Entries[m];
    int32_t p = 0;
    int64_t piece_end = before_m;
    for (; p < em.Count(); ++p) {
        piece_end += em.Heights[static_cast<size_t>(p)];
        if (piece_end >= end) break;
    }
    if (p == em.Count()) p = em.Count() - 1;
    for (size_t e = k; e <= m; ++e) {
        const TVorqHistData& d = *Entries[e];
        const int32_t from = e == k ? j : 0;
        const int32_t to = e == m ? p : d.Count() - 1;
        for (int32_t i = from; i <= to; ++i) {
            const size_t s = static_cast<size_t>(i);
            target.AddPiece(d.NearestPageName(i), d.CommandIndexes[s], d.Texts[s], d.Heights[s], d.LastPositions[s],
                            d.FirstPositions[s]);
        }
    }
}

void TVorqNewHistory::ShowInMes(int32_t first, int32_t count, TVorqObject* window) {
    auto* mes = dynamic_cast<TVorqMes*>(window);
    if (!mes) return;
    mes->RecordMode = 2;
    if (NewFormat()) {
        ExtractRange(first, count, mes->MesData.Pieces, mes->FirstPieceOffset);
    } else {
        // The text-insert piece would win over the older references.
        mes->MesData.Pieces.Clear();
        mes->MesData.ClearOldRefs();
        const int64_t end = int64_t{first} + count;
        std::string nearest;
        for (int64_t i = 0; i < static_cast<int64_t>(OldEntries.size()); ++i) {
            const THistoryOldData& d = OldEntries[static_cast<size_t>(i)];
            if (!d.PageName.empty()) nearest = d.PageName;
            if (i < first || i >= end) continue;
            mes->MesData.AddOldRef(nearest, d.CommandIndex, d.Width, d.Height, d.PageIndex);
        }
        mes->SetOffsetY(0);
    }
    // Showing page 0 starts it; a restart here would queue its start twice.
    mes->RebuildPages(false);
    mes->ForgetPageIndex();
    mes->SetPageIndex(0);
}

void TVorqNewHistory::Clear() {
    Entries.clear();
    OldEntries.clear();
    drop_pending();
    Word->Clear();
    cached_page_.clear();
    cached_command_ = -1;
}

void TVorqNewHistory::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, static_cast<int32_t>(OldEntries.size()));
    for (const THistoryOldData& d : OldEntries) {
        WriteStreamString(s, d.PageName);
        WriteStreamInteger(s, d.CommandIndex);
        WriteStreamInteger(s, d.PageIndex);
        WriteStreamInteger(s, d.Width);
        WriteStreamInteger(s, d.Height);
    }
    WriteStreamString(s, PendingPage);
    WriteStreamInteger(s, PendingCommand);
    WriteStreamInteger(s, PendingPageIndex);
    WriteStreamInteger(s, PendingWidth);
    WriteStreamInteger(s, PendingHeight);
    WriteStreamString(s, PendingWindow);
    WriteStreamInteger(s, MaxCount);
    WriteStreamInteger(s, Word->FontSize);
    WriteStreamInteger(s, Word->BorderWidth);
    WriteStreamInteger(s, Word->ShadowWidth);
    WriteStreamInteger(s, Word->ViewWidth);
    WriteStreamInteger(s, Word->PageHeight);
    WriteStreamInteger(s, Word->LineSpacing);
    WriteStreamInteger(s, PendingFirst);
    WriteStreamInteger(s, PendingLast);
    WriteStreamInteger(s, static_cast<int32_t>(Entries.size()));
    for (const auto& e : Entries) e->SaveToStream(s);
    WriteStreamString(s, PendingText);
}

void TVorqNewHistory::LoadFromStream(TStream& s, int32_t version) {
    FieldReader r = ObjectRecordReader(s);
    TVorqNewHistory loaded;
    if (version < 113) r.String("ignored");
    const uint32_t n = r.Count("older entry count", 4 + 16, kMaxEntries);
    loaded.OldEntries.resize(n);
    if (version < 113) {
        for (auto& d : loaded.OldEntries) d.PageName = r.String("older page name");
        for (auto& d : loaded.OldEntries) d.CommandIndex = non_negative(r, "older command index");
        for (auto& d : loaded.OldEntries) d.PageIndex = non_negative(r, "older page index");
        for (auto& d : loaded.OldEntries) {
            d.Width = r.I32("older width");
            d.Height = r.I32("older height");
        }
    } else {
        for (auto& d : loaded.OldEntries) {
            d.PageName = r.String("older page name");
            d.CommandIndex = non_negative(r, "older command index");
            d.PageIndex = non_negative(r, "older page index");
            d.Width = r.I32("older width");
            d.Height = r.I32("older height");
        }
    }
    loaded.PendingPage = r.String("pending page name");
    loaded.PendingCommand = non_negative(r, "pending command index");
    loaded.PendingPageIndex = non_negative(r, "pending page index");
    loaded.PendingWidth = r.I32("pending width");
    loaded.PendingHeight = r.I32("pending height");
    loaded.PendingWindow = r.String("pending window name");
    if (version >= 113) {
        loaded.MaxCount = r.I32("max count");
        TWzWord& w = *loaded.Word;
        w.FontSize = TWzWord::ClampFontSize(r.I32("template font height"));
        w.BorderWidth = TWzWord::ClampEdgeWidth(r.I32("template font border"));
        w.ShadowWidth = TWzWord::ClampEdgeWidth(r.I32("template font shadow"));
        w.ViewWidth = r.I32("template width");
        w.PageHeight = r.I32("template height");
        w.LineSpacing = TWzWord::ClampLineSpacing(r.I32("template line space"));
        loaded.PendingFirst = non_negative(r, "pending first position");
        loaded.PendingLast = r.I32("pending last position");
        if (loaded.PendingLast < -1) r.Fail("pending last position");
        const uint32_t entries = r.Count("entry count", 8, kMaxEntries);
        for (uint32_t i = 0; i < entries; ++i) {
            loaded.Entries.push_back(std::make_unique<TVorqHistData>());
            loaded.Entries.back()->LoadFromStream(r, version);
        }
    }
    if (version >= 124) loaded.PendingText = r.String("pending text");
    // All or nothing: a damaged save leaves the backlog as it was.
    Word.swap(loaded.Word);
    Entries.swap(loaded.Entries);
    OldEntries.swap(loaded.OldEntries);
    PendingWidth = loaded.PendingWidth;
    PendingHeight = loaded.PendingHeight;
    PendingPageIndex = loaded.PendingPageIndex;
    PendingWindow = loaded.PendingWindow;
    PendingPage = loaded.PendingPage;
    PendingCommand = loaded.PendingCommand;
    PendingFirst = loaded.PendingFirst;
    PendingLast = loaded.PendingLast;
    PendingText = loaded.PendingText;
    if (version >= 113) MaxCount = loaded.MaxCount;
    cached_page_.clear();
    cached_command_ = -1;
}

// ---- read marks ----

TVorqReadList::Item* TVorqReadList::find(const std::string& page_name) {
    for (Item& i : Items)
        if (AnsiSameText(i.PageName, page_name)) return &i;
    return nullptr;
}

const TVorqReadList::Item* TVorqReadList::find(const std::string& page_name) const {
    return const_cast<TVorqReadList*>(this)->find(page_name);
}

bool TVorqReadList::IsRead(const std::string& page_name, int32_t command_index, int32_t page_index) const {
    const Item* item = find(page_name);
    if (!item) return false;
    for (size_t i = 0; i < item->CommandIndexes.size(); ++i)
        if (item->CommandIndexes[i] == command_index && item->PageIndexes[i] == page_index) return true;
    return false;
}

void TVorqReadList::SetPending(const std::string& window_name, const std::string& page_name, int32_t page_index,
                               int32_t command_index) {
    PendingWindow = window_name;
    PendingPage = page_name;
    PendingPageIndex = page_index;
    PendingCommand = command_index;
}

void TVorqReadList::CommitPending(const std::string& window_name) {
    if (PendingPage.empty() || window_name != PendingWindow) return;
    if (IsRead(PendingPage, PendingCommand, PendingPageIndex)) return;
    Item* item = find(PendingPage);
    if (!item) {
        Items.push_back(Item{PendingPage, {}, {}});
        item = &Items.back();
    }
    item->CommandIndexes.push_back(PendingCommand);
    item->PageIndexes.push_back(PendingPageIndex);
    PendingPage.clear();
}

void TVorqReadList::Clear() {
    Items.clear();
    PendingPage.clear();
}

void TVorqReadList::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, static_cast<int32_t>(Items.size()));
    for (const Item& i : Items) {
        WriteStreamString(s, i.PageName);
        WriteStreamInteger(s, static_cast<int32_t>(i.CommandIndexes.size()));
        for (int32_t v : i.CommandIndexes) WriteStreamInteger(s, v);
        for (int32_t v : i.PageIndexes) WriteStreamInteger(s, v);
    }
    WriteStreamString(s, PendingPage);
    WriteStreamInteger(s, PendingCommand);
    WriteStreamInteger(s, PendingPageIndex);
    WriteStreamString(s, PendingWindow);
}

void TVorqReadList::LoadFromStream(TStream& s, int32_t version) {
    Clear();
    if (version < 100) return;
    FieldReader r = ObjectRecordReader(s);
    TVorqReadList loaded;
    const uint32_t n = r.Count("read item count", 8, kMaxEntries);
    for (uint32_t k = 0; k < n; ++k) {
        Item item;
        item.PageName = r.String("read page name");
        const uint32_t pairs = r.Count("read pair count", 8, kMaxEntries);
        for (uint32_t i = 0; i < pairs; ++i) item.CommandIndexes.push_back(non_negative(r, "read command index"));
        for (uint32_t i = 0; i < pairs; ++i) item.PageIndexes.push_back(non_negative(r, "read page index"));
        if (Item* same = loaded.find(item.PageName)) {
            same->CommandIndexes.insert(same->CommandIndexes.end(), item.CommandIndexes.begin(), item.CommandIndexes.end());
            same->PageIndexes.insert(same->PageIndexes.end(), item.PageIndexes.begin(), item.PageIndexes.end());
        } else {
            loaded.Items.push_back(std::move(item));
        }
    }
    loaded.PendingPage = r.String("pending page name");
    loaded.PendingCommand = non_negative(r, "pending command index");
    loaded.PendingPageIndex = non_negative(r, "pending page index");
    loaded.PendingWindow = r.String("pending window name");
    *this = std::move(loaded);
}

TVorqNewHistory& History() {
    static TVorqNewHistory history;
    return history;
}

TVorqReadList& ReadList() {
    static TVorqReadList list;
    return list;
}
