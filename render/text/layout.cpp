#include "render/text/layout.h"

#include "platform/text/codepage.h"
#include "render/text/glyphs.h"
#include "render/text/wz_word.h"

#include <bitset>

namespace {

// The characters of a Shift-JIS text as codes, so that the sets match by
// character: the trail byte of one character never matches another.
std::bitset<65536> code_set(const char* utf8) {
    std::bitset<65536> set;
    const std::string s = Sjis(utf8);
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        if (IsDBCSLeadByte(b) && i + 1 < s.size()) {
            set.set(static_cast<size_t>(b << 8 | static_cast<uint8_t>(s[i + 1])));
            i += 2;
        } else {
            set.set(b);
            ++i;
        }
    }
    return set;
}

const std::bitset<65536>& no_line_start() {
    static const std::bitset<65536> set = code_set("。、｣」』)）､｡!?！？】");
    return set;
}
const std::bitset<65536>& no_line_end() {
    static const std::bitset<65536> set = code_set("｢「『（([<【");
    return set;
}

// Only characters have text to match against the sets.
bool in_set(const TWdGlyph* g, const std::bitset<65536>& set) {
    return g->GetKind() == gkChar && set.test(g->GetCharCode());
}

bool is_float(uint8_t a) { return a == waLeft || a == waRight; }

}  // namespace

bool CanBreakBefore(const TWdGlyph* g, const TWdGlyph* prev) {
    if (prev) {
        if (g->GetNoBreak() && prev->GetNoBreak()) return false;
        const std::string& ruby = g->GetRuby();
        if (!ruby.empty() && ruby == prev->GetRuby()) return false;
        const uint16_t a = g->GetCharCode(), b = prev->GetCharCode();
        if (a >= 33 && a <= 255 && b >= 33 && b <= 255) return false;
        if (b != 32 && a == 32) return false;
    }
    return !in_set(g, no_line_start());
}

bool MayEndLine(const TWdGlyph* g) { return !in_set(g, no_line_end()); }

void UnbreakableRunWidth(const TWzWord& word, int32_t index, int32_t end, int32_t& width, int32_t& count) {
    const TWdGlyph* g = word.GlyphAt(index);
    width = g->GetWidth();
    count = 1;
    if (g->GetKind() == gkReturn) return;
    auto join_following = [&](int32_t from) {
        const TWdGlyph* prev = word.GlyphAt(from - 1);
        for (int32_t i = from; i < end; ++i) {
            const TWdGlyph* n = word.GlyphAt(i);
            if (CanBreakBefore(n, prev)) return;
            width += n->GetWidth();
            ++count;
            if (n->GetKind() == gkReturn) return;
            prev = n;
        }
    };
    join_following(index + 1);
    if (count == 1 && !MayEndLine(g) && index + 1 < end) {
        const TWdGlyph* n = word.GlyphAt(index + 1);
        // Alignment and indent operators are never pulled into a run: in a
        // row they would be lost instead of acting.
        const uint8_t k = n->GetKind();
        if (k != gkReturn && k != gkAlign && k != gkIndent && k != gkUndent) {
            width += n->GetWidth();
            ++count;
            join_following(index + 2);
        }
    }
}

void LayoutPages(TWzWord& word, TWdPageList& pages, int32_t first, int32_t last_source) {
    const int32_t count = word.GlyphCount();
    int32_t end = count;
    if (last_source >= 0 && last_source < count) {
        const int32_t k = word.GlyphOfSource(last_source);
        // A range that ends with the text lays out to its end.
        end = k < 0 ? count : k;
    }
    if (first < 0) first = 0;
    if (first >= end) return;
    for (int32_t i = first; i < end; ++i) word.GlyphAt(i)->LoadResources();

    const bool paging = word.Paging != 0;
    const int32_t view_width = word.ViewWidth;
    const size_t first_page = pages.size();
    int32_t y = 0, indent = 0;
    uint8_t align = waLeft;
    TWdPage* page = nullptr;
    TWdRow* row = nullptr;
    // Where the open row started, to take it back when it overflows the page.
    struct RowStart {
        int32_t glyph, indent;
        uint8_t align;
        size_t floats;
    } start{};

    auto open_page = [&] {
        pages.push_back(std::make_unique<TWdPage>(word));
        page = pages.back().get();
        page->Clips.ViewWidth = view_width;
        y = 0;
    };
    auto open_row = [&](int32_t at) {
        if (!page) open_page();
        auto owned = std::make_unique<TWdRow>(word);
        row = owned.get();
        page->AddOwned(std::move(owned));
        page->AddChild(row);
        row->Y = y;
        row->Align = align;
        row->Width = indent;
        page->Clips.SpanAt(y, row->RowLeft, row->RowRight);
        if (indent > 0) {
            auto space = std::make_unique<TWdSpace>(word, indent);
            TWdGlyph* s = space.get();
            row->AddOwned(std::move(space));
            row->AddChild(s);
        }
        start = {at, indent, align, page->Clips.Floats.size()};
    };
    auto close_row = [&](int32_t spacing) {
        y += row->GetHeight() + spacing;
        row = nullptr;
    };

    int32_t i = first;
    while (i < end) {
        TWdGlyph* g = word.GlyphAt(i);
        const uint8_t kind = g->GetKind();
        if (kind == gkAlign) {
            align = g->GetAlign();
            if (row && !row->HasGlyphs()) row->Align = align;
            ++i;
            continue;
        }
        if (kind == gkIndent) {
            if (row) indent = row->Width;
            ++i;
            continue;
        }
        if (kind == gkUndent) {
            indent = 0;
            ++i;
            continue;
        }
        if (!row) open_row(i);
        const uint8_t a = g->GetAlign();
        if (!is_float(a)) {
            int32_t w, n;
            UnbreakableRunWidth(word, i, end, w, n);
            // A run too wide even for a fresh row stays in it: wrapping
            // again would only open empty rows for ever.
            if (row->HasGlyphs() && view_width > 0 && row->Width + w > row->RowRight - row->RowLeft) {
                close_row(word.LineSpacing);
                continue;
            }
            for (int32_t k = 0; k < n; ++k) row->AddChild(word.GlyphAt(i + k));
            if (page->RowCount() > 1 && paging && y + row->GetHeight() > word.PageHeight) {
                const RowStart back = start;
                page->Clips.Floats.resize(back.floats);
                TWdRow* dead = row;
                page->DeleteChild(page->IndexOfChild(dead));
                page->RemoveOwned(dead);
                row = nullptr;
                page = nullptr;
                i = back.glyph;
                indent = back.indent;
                align = back.align;
                continue;
            }
            row->Width += w;
            const TWdGlyph* last = word.GlyphAt(i + n - 1);
            i += n;
            if (last->GetKind() == gkReturn) {
                close_row(word.LineSpacing);
                if (last->GetClear()) page = nullptr;
            }
        } else {
            if (row->HasGlyphs()) {
                close_row(0);
                continue;
            }
            // A float taller than the page opens a new page only when the
            // page has something else on it; alone it stays on its page.
            const bool page_used = page->RowCount() > 1 || !page->Clips.Floats.empty() || y > 0;
            if (paging && y + g->GetHeight() > word.PageHeight && page_used) {
                TWdRow* dead = row;
                page->DeleteChild(page->IndexOfChild(dead));
                page->RemoveOwned(dead);
                row = nullptr;
                page = nullptr;
                continue;
            }
            const TRect r = page->Clips.AddFloat(y, g->GetWidth(), g->GetHeight(), a == waRight);
            row->AddChild(g);
            g->X = r.Left;
            g->Y = 0;
            page->Clips.SpanAt(y, row->RowLeft, row->RowRight);
            ++i;
        }
    }

    if (view_width == 0) {
        int32_t widest = 0;
        for (size_t p = first_page; p < pages.size(); ++p)
            for (const TWdGlyph* r : pages[p]->Children) widest = std::max(widest, r->Width);
        word.ViewWidth = widest;
        for (size_t p = first_page; p < pages.size(); ++p) {
            pages[p]->Clips.ViewWidth = widest;
            for (TWdGlyph* r : pages[p]->Children) {
                auto* rw = static_cast<TWdRow*>(r);
                pages[p]->Clips.SpanAt(rw->Y, rw->RowLeft, rw->RowRight);
            }
        }
    }
    for (size_t p = first_page; p < pages.size(); ++p) pages[p]->Layout();
}
