// The tag language of message texts: a source clean-up that splits the
// text into text runs and tag tokens, the tag tokenizer, and the compiler
// that stamps the current style onto every character glyph.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TWzWord;

// Tag kinds: 0 text run, 1 unknown (ignored), 2.. the tags.
enum : uint8_t {
    tkText = 0, tkUnknown, tkA, tkEndA, tkB, tkEndB, tkFont, tkEndFont, tkI, tkEndI, tkS, tkEndS, tkU, tkEndU,
    tkNoBr, tkEndNoBr, tkRuby, tkEndRuby, tkDiv, tkEndDiv, tkIndent, tkUndent, tkBr, tkClear, tkEvent, tkWait,
    tkEndWait, tkVar, tkImg
};

// A tag token's attributes (the first being the tag name) or a text run.
struct TTag {
    struct Attr {
        std::string Name;
        std::string Value;
    };
    std::vector<Attr> Items;
    std::string Text;  // "<NAME>" for a tag, the whole text of a run

    // Index of the first attribute of that name (without case), -1 when absent.
    int IndexOf(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& def) const;
    // "#RRGGBB" as 0x00BBGGRR; anything else gives def.
    uint32_t Color(const std::string& name, uint32_t def) const;
    int32_t Int(const std::string& name, int32_t def) const;
    // The ALIGN value when within lo..hi, else def.
    uint8_t Align(uint8_t lo, uint8_t hi, uint8_t def) const;
};

// Joins the lines with CR and replaces them by the text runs and tag tokens.
void PreprocessSource(std::vector<std::string>& lines);
void TokenizeTag(TTag& tag, const std::string& item);
uint8_t LookupTagKind(const TTag& tag);
// Clears the word and compiles the lines into its glyph list. Raises
// "<A>タグにHREF値がありません" for a link without HREF (glyphs before it stay).
void CompileTags(TWzWord& word, const std::vector<std::string>& lines);

// Resolves backslash-n (CR LF), two backslashes and backslash-quote in
// HREF and EVENT values; other backslashes stay.
std::string ResolveValueEscapes(const std::string& v);
