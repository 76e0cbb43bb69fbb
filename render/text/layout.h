// Page layout of rich text: line breaking with the Japanese rules (no
// closing mark at a line start, no opening mark at a line end), words and
// no-break runs kept whole, floats, and paging by the page height.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

class TWdGlyph;
class TWdPage;
class TWzWord;

using TWdPageList = std::vector<std::unique_ptr<TWdPage>>;

// Whether a line may break between prev (nullptr: none) and g.
bool CanBreakBefore(const TWdGlyph* g, const TWdGlyph* prev);
// Whether g may be the last glyph of a line.
bool MayEndLine(const TWdGlyph* g);
// The run starting at glyph index that must stay on one line: its width
// and glyph count, not reaching end (exclusive).
void UnbreakableRunWidth(const TWzWord& word, int32_t index, int32_t end, int32_t& width, int32_t& count);

// Lays out glyphs from first up to the glyph that ends source position
// last_source (negative, or not below the glyph count: to the end) and
// appends the new pages.
void LayoutPages(TWzWord& word, TWdPageList& pages, int32_t first, int32_t last_source);
