// Helpers of the rich-text tests: texts written in UTF-8, compiled into a
// word, and layouts printed as "row|row" per page, "/" between pages.
#pragma once
#include "platform/text/codepage.h"
#include "render/text/glyphs.h"
#include "render/text/layout.h"
#include "render/text/tag_compiler.h"
#include "render/text/wz_word.h"
#include "tests/support/plain_dibx.h"

#include <memory>
#include <string>
#include <vector>

namespace texttest {

inline TSurfaceMaker plain_maker() {
    return [](int32_t, int32_t, int32_t) { return std::make_unique<TPlainDIBX>(); };
}

inline std::unique_ptr<TWzWord> make_word() { return std::make_unique<TWzWord>(plain_maker()); }

inline void compile(TWzWord& w, const std::string& utf8) { CompileTags(w, {Sjis(utf8)}); }

// A glyph as the layout strings show it: its character, "⏎" for a line
// break, "_" for an indent space, "{e}" for an event, "[img]" for an image.
inline std::string show(const TWdGlyph* g) {
    switch (g->GetKind()) {
        case gkChar: return Cp932ToUtf8(g->GetText());
        case gkReturn: return "⏎";
        case gkEvent: return "{" + g->GetValue() + "}";
        case gkImage: return "[" + g->GetValue() + "]";
        case gkVar: return "";
        default: return dynamic_cast<const TWdSpace*>(g) ? "_" : "?";
    }
}

inline std::string rows_of(const TWdPageList& pages) {
    std::string out;
    for (size_t p = 0; p < pages.size(); ++p) {
        if (p) out += "/";
        for (int32_t r = 0; r < pages[p]->RowCount(); ++r) {
            if (r) out += "|";
            for (const TWdGlyph* g : pages[p]->RowAt(r)->Children) out += show(g);
        }
    }
    return out;
}

inline std::string layout(TWzWord& w, TWdPageList& pages) {
    pages.clear();
    LayoutPages(w, pages, 0, -1);
    return rows_of(pages);
}

}  // namespace texttest
