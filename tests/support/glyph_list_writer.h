// Writes stored glyph lists ("WzWord" + 3 digits) as the authoring editor
// does, field by field, so tests, tools and the demo can make message text
// without the editor. Independent of the player's reader.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct StoredDecoration {
    int32_t refs = 1;
    uint32_t color = 0xFFFFFFFF;
    uint32_t border_color = 0xFFFFFFFF;
    int32_t size = 0;
    uint8_t style = 0;
    uint8_t no_break = 0;
    int32_t border_width = 0;  // before version 100 stored as one byte, non-zero = 1
    std::string font;
    std::string ruby;
    int32_t shadow_width = 0;  // from version 100
    uint32_t shadow_color = 0;
};

class TGlyphListWriter {
public:
    // version 0 writes no tag at all (the oldest lists).
    explicit TGlyphListWriter(int version = 102) : version_(version) {}

    uint32_t AddDecoration(const StoredDecoration& d);
    void Char(uint16_t code, uint32_t decoration, const std::string& link = "", int32_t wait = 0);
    // Every character of a Shift-JIS text.
    void Text(const std::string& sjis, uint32_t decoration, int32_t wait = 0);
    void Align(uint8_t a);
    void Return(bool clear = false);
    void Indent();
    void Undent();
    void Event(const std::string& value, bool end = false);
    // Version 102 on: the name; before: expression holds a compiled expression's stored bytes.
    void Var(uint32_t decoration, const std::string& name, int32_t wait = 0, const std::string& link = "",
             const std::string& expression = "");
    void Image(const std::string& src, uint8_t align, const std::string& link = "", int32_t wait = 0);
    // A glyph of any kind byte followed by raw field bytes.
    void Raw(uint8_t kind, const std::string& bytes = "");

    std::string Bytes() const;

private:
    int version_;
    std::vector<StoredDecoration> decorations_;
    std::string glyphs_;
    uint32_t count_ = 0;
};

// Little-endian field helpers shared with tests that damage stored forms.
void PutU8(std::string& out, uint8_t v);
void PutU16(std::string& out, uint16_t v);
void PutU32(std::string& out, uint32_t v);
void PutText(std::string& out, const std::string& s);
