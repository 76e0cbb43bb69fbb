// The tag language: source clean-up, tokenizing, the style stacks and the
// shared style records, with Shift-JIS walked by character throughout.
#include "script/param_collection.h"
#include "files/jstring.h"
#include "platform/exception.h"
#include "tests/render/text/text_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace texttest;

namespace {

std::string items_of(std::vector<std::string> lines) {
    for (auto& l : lines) l = Sjis(l);
    PreprocessSource(lines);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) out += (i ? "|" : "") + Cp932ToUtf8(lines[i]);
    return out;
}

std::string tag_of(const std::string& item) {
    TTag t;
    TokenizeTag(t, Sjis(item));
    std::string out = t.Text;
    for (const auto& a : t.Items) out += " " + a.Name + "=" + a.Value;
    return Cp932ToUtf8(out);
}

std::vector<TWdGlyph*> glyphs(const TWzWord& w) {
    std::vector<TWdGlyph*> out;
    for (int32_t i = 0; i < w.GlyphCount(); ++i) out.push_back(w.GlyphAt(i));
    return out;
}

}  // namespace

TEST(TagSource, CleanUpRules) {
    struct Case {
        std::vector<std::string> lines;
        const char* items;
    };
    const Case cases[] = {
        {{"a  b"}, "a b"},
        {{"a\tb"}, "ab"},
        {{"line1", "line2"}, "line1 line2"},
        {{"a ", "b"}, "a b"},
        {{"", "b"}, "b"},
        {{"x\x14\x14y"}, "x y"},
        {{"a\\<b\\>"}, "a<b>"},
        {{"\\<B\\>"}, "<B>"},
        {{"100\\%\\{\\}\\\\"}, "100%{}\\"},
        {{"\\q"}, "q"},
        {{"end\\"}, "end\\"},
        {{"say \"<B>  x\" now"}, "say \"<B>  x\" now"},
        {{"<A HREF=\"a>b\">x</A>"}, "<A HREF=\"a>b\">|x|</A>"},
        {{"a<!-- x <B> -->b"}, "a|<!-- x <B> -->|b"},
        {{"a<script>if (a<b) x;</SCRIPT>b"}, "a|<script>if (a<b) x;</SCRIPT>|b"},
        {{"<<B>>x"}, "<<B>|x"},
        {{"<PRE>a\tb", "c</PRE>"}, "<PRE>|a        b|<BR>|c|</PRE>"},
        {{"<PRE>", "x", "</PRE>"}, "<PRE>|x|</PRE>"},
        {{"<pre>a   b</pre>"}, "<pre>|a b|</pre>"},
        {{"<TEXTAREA>", "x", "y</TEXTAREA>"}, "<TEXTAREA>|x|y|</TEXTAREA>"},
        // Trail bytes 0x5C (表, ソ, 能, 十) are never escapes.
        {{"表<B>x"}, "表|<B>|x"},
        {{"ソ\\n能"}, "ソn能"},
        {{"十 \\<"}, "十 <"},
        {{"能\"表\"<I>"}, "能\"表\"|<I>"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& l : c.lines) joined += l + "⏎";
        EXPECT_EQ(items_of(c.lines), c.items) << joined;
    }
}

TEST(TagSource, Tokenizer) {
    struct Case {
        const char* item;
        const char* tag;
    };
    const Case cases[] = {
        {"<FONT SIZE=20 COLOR=\"#FF0000\">", "<FONT> FONT= SIZE=20 COLOR=#FF0000"},
        {"<IMG SRC='a b.png' ALIGN=top>", "<IMG> IMG= SRC=a b.png ALIGN=top"},
        {"<BR CLEAR>", "<BR> BR= CLEAR="},
        {"<EVENT VALUE=\"x y\" END>", "<EVENT> EVENT= VALUE=x y END="},
        // NAME= just before ">" ends with an empty value instead of looping.
        {"<A HREF=>", "<A> A= HREF="},
        {"<A HREF= >", "<A> A= HREF="},
        {"<FONT SIZE=\"20>", "<FONT> FONT= SIZE=20"},
        {"<RUBY VALUE=かんじ>", "<RUBY> RUBY= VALUE=かんじ"},
        {"hello", "hello"},
        {"<!-- x -->", "<!-- x -->"},
    };
    for (const Case& c : cases) EXPECT_EQ(tag_of(c.item), c.tag) << c.item;
}

TEST(TagSource, KindsAndAttributeValues) {
    const char* names[] = {"A",    "/A",   "B",    "/B",   "FONT", "/FONT", "I",      "/I",     "S",
                           "/S",   "U",    "/U",   "NOBR", "/NOBR", "RUBY", "/RUBY", "DIV",   "/DIV",
                           "INDENT", "UNDENT", "BR", "CLEAR", "EVENT", "WAIT", "/WAIT", "VAR", "IMG"};
    TTag t;
    for (uint8_t k = 0; k < 27; ++k) {
        std::string lower = names[k];
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        TokenizeTag(t, "<" + lower + " X=1>");
        EXPECT_EQ(LookupTagKind(t), k + 2) << names[k];
    }
    for (const char* other : {"<BLINK>", "<!-- c -->", "<P>"}) {
        TokenizeTag(t, other);
        EXPECT_EQ(LookupTagKind(t), tkUnknown) << other;
    }
    for (const char* text : {"ab", "<>", "<a"}) {
        TokenizeTag(t, text);
        EXPECT_EQ(LookupTagKind(t), tkText) << text;
    }

    struct ColourCase {
        const char* value;
        uint32_t colour;
    };
    const ColourCase colours[] = {{"#FF0000", 0x0000FF}, {"#00ff80", 0x80FF00}, {"#123456", 0x563412},
                                  {"FF0000", 7},         {"#", 7},              {"#F00", 0x000F00},
                                  {"#12345678", 0x563412}, {"#GG0000", 7}};
    for (const ColourCase& c : colours) {
        TokenizeTag(t, std::string("<FONT COLOR=") + c.value + ">");
        EXPECT_EQ(t.Color("color", 7), c.colour) << c.value;
    }
    TokenizeTag(t, "<DIV ALIGN=Right>");
    EXPECT_EQ(t.Align(waLeft, waCenter, waLeft), waRight);
    EXPECT_EQ(t.Align(waCenter, waBottom, waBottom), waBottom);
    TokenizeTag(t, "<WAIT VALUE=12x>");
    EXPECT_EQ(t.Int("VALUE", 9), 9);
    TokenizeTag(t, "<WAIT VALUE=-12>");
    EXPECT_EQ(t.Int("VALUE", 9), -12);
}

TEST(TagCompile, FontStackRestoresOuterValues) {
    auto w = make_word();
    compile(*w, "<FONT SIZE=20 COLOR=#FF0000 BORDER>a<FONT SIZE=30 BORDER=-3 SHADOW=2 NAME=X>b</FONT>c"
                "</FONT>d</FONT>e<FONT SIZE=x COLOR=00FF00>f");
    struct Want {
        int32_t size;
        uint32_t colour;
        int32_t border, shadow;
        const char* font;
    };
    const Want want[] = {{20, 0xFF, 1, -1, ""}, {30, 0xFF, 0, 2, "X"}, {20, 0xFF, 1, -1, ""},
                         {0, 0xFFFFFFFF, -1, -1, ""}, {0, 0xFFFFFFFF, -1, -1, ""}, {0, 0xFFFFFFFF, -1, -1, ""}};
    ASSERT_EQ(w->GlyphCount(), 6);
    for (int i = 0; i < 6; ++i) {
        const TDecorate* d = w->GlyphAt(i)->GetDecorate();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Values.Size, want[i].size) << i;
        EXPECT_EQ(d->Values.Color, want[i].colour) << i;
        EXPECT_EQ(d->Values.BorderWidth, want[i].border) << i;
        EXPECT_EQ(d->Values.ShadowWidth, want[i].shadow) << i;
        EXPECT_EQ(d->Values.FontName, want[i].font) << i;
    }
}

TEST(TagCompile, StyleBitsRubyLinkWaitAndOperators) {
    TParamCollection table;
    Params = &table;
    table.text_delay = 40;
    auto w = make_word();
    compile(*w, "<B>a<I>b</B>c<U><S>d</S></U></I><NOBR><RUBY VALUE=かな>e</RUBY></NOBR>"
                "<A HREF=\"x\\ny\\\\z\\w\">f</A><WAIT VALUE=5>g<WAIT VALUE=bad>h</WAIT></WAIT></WAIT>i");
    Params = nullptr;
    struct Want {
        uint8_t style, no_break;
        const char* ruby;
        const char* link;
        int32_t wait;
    };
    const Want want[] = {{1, 0, "", "", 40},       {3, 0, "", "", 40},           {2, 0, "", "", 40},
                         {2 | 4 | 8, 0, "", "", 40}, {0, 1, "かな", "", 40},        {0, 0, "", "x\r\ny\\z\\w", 40},
                         {0, 0, "", "", 5},        {0, 0, "", "", 5},            {0, 0, "", "", 40}};
    ASSERT_EQ(w->GlyphCount(), 9);
    for (int i = 0; i < 9; ++i) {
        const TWdGlyph* g = w->GlyphAt(i);
        EXPECT_EQ(g->GetStyle(), want[i].style) << i;
        EXPECT_EQ(g->GetNoBreak(), want[i].no_break) << i;
        EXPECT_EQ(Cp932ToUtf8(g->GetRuby()), want[i].ruby) << i;
        EXPECT_EQ(g->GetLink(), want[i].link) << i;
        EXPECT_EQ(g->GetWait(), want[i].wait) << i;
    }

    compile(*w, "<DIV ALIGN=center>a<INDENT><BR CLEAR><UNDENT></DIV><CLEAR><BR><EVENT VALUE=\"v\\n\" END>"
                "<EVENT VALUE=w><VAR><VAR NAME=\" x \"><IMG><IMG SRC=p.png ALIGN=left><IMG SRC=q.png ALIGN=top>"
                "<BLINK><!-- <B> -->");
    std::string kinds;
    for (const TWdGlyph* g : glyphs(*w)) kinds += std::to_string(g->GetKind()) + ",";
    EXPECT_EQ(kinds, "2,1,4,3,5,2,3,3,6,6,7,9,9,");
    EXPECT_EQ(w->GlyphAt(0)->GetAlign(), waCenter);
    EXPECT_EQ(w->GlyphAt(5)->GetAlign(), waLeft);
    EXPECT_TRUE(w->GlyphAt(3)->GetClear());
    EXPECT_TRUE(w->GlyphAt(6)->GetClear());
    EXPECT_FALSE(w->GlyphAt(7)->GetClear());
    // A compiled END event carries the flag, its value stays plain.
    EXPECT_EQ(w->GlyphAt(8)->GetValue(), "v\r\n");
    EXPECT_EQ(w->GlyphAt(8)->GetWait(), 1);
    EXPECT_EQ(w->GlyphAt(9)->GetWait(), 0);
    EXPECT_EQ(w->GlyphAt(10)->GetValue(), " x ");
    EXPECT_EQ(w->GlyphAt(11)->GetAlign(), waBottom);  // LEFT is not an inline image alignment
    EXPECT_EQ(w->GlyphAt(12)->GetAlign(), waTop);
}

TEST(TagCompile, LinkWithoutHrefStopsAfterEarlierGlyphs) {
    auto w = make_word();
    try {
        compile(*w, "ab<A>c");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), Sjis("<A>タグにHREF値がありません"));
    }
    EXPECT_EQ(w->GlyphCount(), 2);
}

// Character boundaries against Python's cp932 codec (tests/data/richtext).
TEST(TagCompile, CharactersMatchCodecBoundaries) {
    std::ifstream in(std::string(VORQ_TEST_DATA) + "/richtext/sjis_chars.txt");
    ASSERT_TRUE(in.good());
    auto from_hex = [](const std::string& h) {
        std::string out;
        for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
        return out;
    };
    std::string line;
    int n = 0;
    auto w = make_word();
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string text_hex, code;
        fields >> text_hex;
        std::vector<uint16_t> want;
        while (fields >> code) want.push_back(static_cast<uint16_t>(std::stoi(code, nullptr, 16)));
        CompileTags(*w, {from_hex(text_hex)});
        std::vector<uint16_t> got;
        for (const TWdGlyph* g : glyphs(*w)) got.push_back(g->GetCharCode());
        EXPECT_EQ(got, want) << Cp932ToUtf8(from_hex(text_hex));
        EXPECT_EQ(JLength(from_hex(text_hex)), static_cast<int>(want.size()));
        ++n;
    }
    EXPECT_GT(n, 5);
}

TEST(Decorations, SharingSplittingAndCells) {
    auto w = make_word();
    compile(*w, "ab<B>c");
    TDecorateList& list = w->Decorations();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(0)->RefCount, 2);
    EXPECT_EQ(w->GlyphAt(0)->GetDecorate(), w->GlyphAt(1)->GetDecorate());

    w->GlyphAt(1)->SetColor(0x123456);  // splits from a
    EXPECT_EQ(list.Count(), 3);
    EXPECT_NE(w->GlyphAt(0)->GetDecorate(), w->GlyphAt(1)->GetDecorate());
    EXPECT_EQ(w->GlyphAt(0)->GetDecorate()->RefCount, 1);
    w->GlyphAt(1)->SetStyle(1);  // now equal to c's record except colour: changed in place
    EXPECT_EQ(list.Count(), 3);
    w->GlyphAt(1)->SetColor(0xFFFFFFFF);  // equal to c's: joins it, its own record goes
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(w->GlyphAt(1)->GetDecorate(), w->GlyphAt(2)->GetDecorate());
    EXPECT_EQ(w->GlyphAt(2)->GetDecorate()->RefCount, 2);
    w->DeleteGlyph(0);
    EXPECT_EQ(list.Count(), 1);

    struct Cell {
        TDecorateValues v;
        int32_t owner_border, owner_shadow;
        int32_t w, h;
    };
    auto vals = [](int32_t size, uint8_t style, const char* ruby, int32_t border, int32_t shadow) {
        TDecorateValues v;
        v.Size = size;
        v.Style = style;
        v.Ruby = ruby;
        v.BorderWidth = border;
        v.ShadowWidth = shadow;
        return v;
    };
    const Cell cells[] = {
        {vals(0, 0, "", 0, 0), 0, 0, 12, 12},     {vals(20, 2, "", 0, 0), 0, 0, 24, 20},
        {vals(20, 0, "r", 0, 0), 0, 0, 20, 30},   {vals(1, 0, "r", 0, 0), 0, 0, 1, 2},
        {vals(10, 0, "", 2, 3), 0, 0, 17, 17},    {vals(10, 0, "", -1, -1), 1, 2, 14, 14},
        {vals(24, 2, "r", -1, 0), 3, 9, 34, 42},
    };
    for (const Cell& c : cells) {
        w->BorderWidth = c.owner_border;
        w->ShadowWidth = c.owner_shadow;
        TDecorate d;
        d.Values = c.v;
        int32_t cw, ch;
        list.CellSize(&d, cw, ch);
        EXPECT_EQ(cw, c.w) << c.v.Size;
        EXPECT_EQ(ch, c.h) << c.v.Size;
    }
}

// Tag soup from fragments that stress the clean-up and the tokenizer:
// every text compiles (or is refused for a link without HREF), lays out and
// keeps one glyph per character of what survived the clean-up.
TEST(TagCompile, TagSoupNeverFaultsOrHangs) {
    const std::vector<std::string> fragments = {
        "<", ">", "=", "\"", "'", "\\", " ", "\r", "\t", "\x14", "<!--", "-->", "<SCRIPT>", "</STYLE>", "<PRE>",
        "</PRE>", "<BR>", "A", "HREF", "<FONT", "SIZE=", "COLOR=#", "12", "</FONT>", "<RUBY VALUE=", "<NOBR>",
        "<EVENT", " END", "<VAR NAME=", "<IMG SRC=", "<DIV ALIGN=", "<INDENT>", "<UNDENT>", "<CLEAR>", "<WAIT VALUE=",
        Sjis("表"), Sjis("ソ"), Sjis("。"), Sjis("「"), "\x81", "x"};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    auto w = make_word();
    w->ViewWidth = 48;
    w->PageHeight = 40;
    int compiled = 0;
    for (int n = 0; n < 3000; ++n) {
        std::string text;
        const uint32_t len = next() % 24;
        for (uint32_t k = 0; k < len; ++k) text += fragments[next() % fragments.size()];
        try {
            CompileTags(*w, {text});
            ++compiled;
        } catch (const Exception&) {
        }
        TWdPageList pages;
        LayoutPages(*w, pages, 0, -1);
        int32_t laid = 0;
        for (const auto& p : pages)
            for (int32_t r = 0; r < p->RowCount(); ++r)
                for (const TWdGlyph* g : p->RowAt(r)->Children) laid += dynamic_cast<const TWdSpace*>(g) == nullptr;
        int32_t placed = 0;
        for (int32_t i = 0; i < w->GlyphCount(); ++i) {
            const uint8_t kind = w->GlyphAt(i)->GetKind();
            placed += kind != gkAlign && kind != gkIndent && kind != gkUndent;
        }
        ASSERT_EQ(laid, placed) << n << " " << Cp932ToUtf8(text) << " => " << rows_of(pages);
    }
    EXPECT_GT(compiled, 1000);
}
