#include "tests/support/glyph_list_writer.h"


void PutU8(std::string& out, uint8_t v) { out += static_cast<char>(v); }
void PutU16(std::string& out, uint16_t v) {
    PutU8(out, static_cast<uint8_t>(v));
    PutU8(out, static_cast<uint8_t>(v >> 8));
}
void PutU32(std::string& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) PutU8(out, static_cast<uint8_t>(v >> (8 * k)));
}
void PutText(std::string& out, const std::string& s) {
    PutU32(out, static_cast<uint32_t>(s.size()));
    out += s;
}

uint32_t TGlyphListWriter::AddDecoration(const StoredDecoration& d) {
    decorations_.push_back(d);
    return static_cast<uint32_t>(decorations_.size() - 1);
}

void TGlyphListWriter::Char(uint16_t code, uint32_t decoration, const std::string& link, int32_t wait) {
    PutU8(glyphs_, 1);
    PutText(glyphs_, link);
    PutU32(glyphs_, static_cast<uint32_t>(wait));
    PutU16(glyphs_, code);
    PutU32(glyphs_, decoration);
    ++count_;
}

void TGlyphListWriter::Text(const std::string& sjis, uint32_t decoration, int32_t wait) {
    for (size_t i = 0; i < sjis.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(sjis[i]);
        const bool lead = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && i + 1 < sjis.size();
        const uint16_t code = lead ? static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(sjis[++i])) : b;
        Char(code, decoration, "", wait);
    }
}

void TGlyphListWriter::Align(uint8_t a) {
    PutU8(glyphs_, 2);
    PutU8(glyphs_, a);
    ++count_;
}
void TGlyphListWriter::Return(bool clear) {
    PutU8(glyphs_, 3);
    PutU8(glyphs_, clear ? 1 : 0);
    ++count_;
}
void TGlyphListWriter::Indent() {
    PutU8(glyphs_, 4);
    ++count_;
}
void TGlyphListWriter::Undent() {
    PutU8(glyphs_, 5);
    ++count_;
}
void TGlyphListWriter::Event(const std::string& value, bool end) {
    PutU8(glyphs_, 6);
    PutText(glyphs_, end ? "\x01" + value : value);
    ++count_;
}
void TGlyphListWriter::Var(uint32_t decoration, const std::string& name, int32_t wait, const std::string& link,
                           const std::string& expression) {
    PutU8(glyphs_, 7);
    PutU32(glyphs_, decoration);
    if (version_ >= 101) {
        PutU32(glyphs_, static_cast<uint32_t>(wait));
        PutText(glyphs_, link);
    }
    if (version_ >= 102) PutText(glyphs_, name);
    else glyphs_ += expression;
    ++count_;
}
void TGlyphListWriter::Image(const std::string& src, uint8_t align, const std::string& link, int32_t wait) {
    PutU8(glyphs_, 9);
    PutText(glyphs_, link);
    PutU32(glyphs_, static_cast<uint32_t>(wait));
    PutText(glyphs_, src);
    PutU8(glyphs_, align);
    ++count_;
}
void TGlyphListWriter::Raw(uint8_t kind, const std::string& bytes) {
    PutU8(glyphs_, kind);
    glyphs_ += bytes;
    ++count_;
}

std::string TGlyphListWriter::Bytes() const {
    std::string out;
    if (version_ > 0) {
        const int v = version_ % 1000;
        out += "WzWord";
        out += static_cast<char>('0' + v / 100);
        out += static_cast<char>('0' + v / 10 % 10);
        out += static_cast<char>('0' + v % 10);
    }
    PutU32(out, static_cast<uint32_t>(decorations_.size()));
    for (const StoredDecoration& d : decorations_) {
        PutU32(out, static_cast<uint32_t>(d.refs));
        PutU32(out, d.color);
        PutU32(out, d.border_color);
        PutU32(out, static_cast<uint32_t>(d.size));
        PutU8(out, d.style);
        PutU8(out, d.no_break);
        if (version_ < 100) PutU8(out, d.border_width != 0 ? 1 : 0);
        else PutU32(out, static_cast<uint32_t>(d.border_width));
        PutText(out, d.font);
        PutText(out, d.ruby);
        if (version_ >= 100) {
            PutU32(out, static_cast<uint32_t>(d.shadow_width));
            PutU32(out, d.shadow_color);
        }
    }
    PutU32(out, count_);
    out += glyphs_;
    return out;
}
