#include "render/text/tag_compiler.h"

#include "script/param_collection.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/text/wz_word.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes of the character at i: two for a lead byte with its trail, so a
// trail byte (0x5C in 表 or ソ) is never read as a backslash.
inline size_t char_len(const std::string& s, size_t i) {
    return IsDBCSLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// s has word at i, ASCII letters compared without case.
bool at_nocase(const std::string& s, size_t i, const char* word) {
    const size_t n = std::strlen(word);
    if (i + n > s.size()) return false;
    for (size_t k = 0; k < n; ++k)
        if (upper(s[i + k]) != upper(word[k])) return false;
    return true;
}

bool starts_nocase(const std::string& s, const char* word) { return at_nocase(s, 0, word); }

bool same_nocase(const std::string& a, const char* b) { return a.size() == std::strlen(b) && starts_nocase(a, b); }

bool ends_with_space(const std::string& s) { return !s.empty() && s.back() == ' '; }

constexpr const char* kOpeners[] = {"<!--", "<SCRIPT", "<STYLE"};
constexpr const char* kClosers[] = {"-->", "</SCRIPT>", "</STYLE>"};

// Pushes and pops that never remove the base.
template <typename T>
struct Stack {
    T base;
    std::vector<T> items;
    explicit Stack(T b) : base(std::move(b)) {}
    const T& top() const { return items.empty() ? base : items.back(); }
    void push(T v) { items.push_back(std::move(v)); }
    void pop() {
        if (!items.empty()) items.pop_back();
    }
};

bool parse_int(const std::string& text, int32_t& out) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
    if (i >= text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > int64_t{1} << 31) return false;
    }
    v = neg ? -v : v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

// An opener or closer of a comment, script or style block at i: appended
// to the item, the depth changed, i moved behind it.
template <typename Flush>
bool block_edge(const std::string& src, size_t& i, int& comment, std::string& item, Flush& flush) {
    for (const char* o : kOpeners)
        if (at_nocase(src, i, o)) {
            if (comment == 0) flush();
            item.append(src, i, std::strlen(o));
            ++comment;
            i += std::strlen(o);
            return true;
        }
    for (const char* cl : kClosers)
        if (at_nocase(src, i, cl)) {
            comment = std::max(0, comment - 1);
            item.append(src, i, std::strlen(cl));
            if (comment == 0) flush();
            i += std::strlen(cl);
            return true;
        }
    return false;
}

}  // namespace

std::string ResolveValueEscapes(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size();) {
        const size_t n = char_len(v, i);
        if (n == 1 && v[i] == '\\' && i + 1 < v.size()) {
            const char c = v[i + 1];
            if (c == 'n') {
                out += "\r\n";
                i += 2;
                continue;
            }
            if (c == '\\' || c == '"') {
                out += c;
                i += 2;
                continue;
            }
        }
        out.append(v, i, n);
        i += n;
    }
    return out;
}

// ---- TTag ----

int TTag::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i].Name.size() == name.size() && starts_nocase(Items[i].Name, name.c_str()))
            return static_cast<int>(i);
    return -1;
}

std::string TTag::Value(const std::string& name, const std::string& def) const {
    const int i = IndexOf(name);
    return i < 0 ? def : Items[static_cast<size_t>(i)].Value;
}

uint32_t TTag::Color(const std::string& name, uint32_t def) const {
    const int i = IndexOf(name);
    if (i < 0) return def;
    const std::string& v = Items[static_cast<size_t>(i)].Value;
    if (v.empty() || v[0] != '#') return def;
    // At most the six digits that follow; a shorter value reads what is there.
    const size_t n = std::min<size_t>(6, v.size() - 1);
    if (n == 0) return def;
    uint32_t rgb = 0;
    for (size_t k = 1; k <= n; ++k) {
        const char c = upper(v[k]);
        uint32_t d;
        if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
        else return def;
        rgb = rgb << 4 | d;
    }
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

int32_t TTag::Int(const std::string& name, int32_t def) const {
    const int i = IndexOf(name);
    if (i < 0) return def;
    int32_t v;
    return parse_int(Items[static_cast<size_t>(i)].Value, v) ? v : def;
}

uint8_t TTag::Align(uint8_t lo, uint8_t hi, uint8_t def) const {
    static const char* const names[] = {"LEFT", "RIGHT", "CENTER", "TOP", "BOTTOM"};
    const std::string v = Value("ALIGN", "");
    for (uint8_t k = 0; k < 5; ++k)
        if (same_nocase(v, names[k])) {
            const uint8_t a = static_cast<uint8_t>(k + 1);
            return a >= lo && a <= hi ? a : def;
        }
    return def;
}

// ---- clean-up ----

void PreprocessSource(std::vector<std::string>& lines) {
    std::string src;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) src += '\r';
        src += lines[i];
    }
    std::vector<std::string> out;
    std::string item;
    int comment = 0, tag = 0;
    bool pre = false, textarea = false, quote = false;
    auto flush = [&] {
        if (!item.empty()) {
            out.push_back(std::move(item));
            item.clear();
        }
    };
    size_t i = 0;
    const size_t n = src.size();
    while (i < n) {
        const size_t len = char_len(src, i);
        const char c = src[i];
        if (quote) {
            if (len == 1 && c == '"') quote = false;
            if (len == 2 || (c != '\r' && c != '\n' && c != '\t')) item.append(src, i, len);
            i += len;
            continue;
        }
        // Comment, script and style blocks; every opener and closer begins
        // with "<" or "-".
        if ((c == '<' || c == '-') && block_edge(src, i, comment, item, flush)) continue;
        if (comment > 0) {
            item.append(src, i, len);
            if (c == '\r') item += '\n';
            i += len;
            continue;
        }
        if (len == 2) {
            item.append(src, i, 2);
            i += 2;
            continue;
        }
        if (c == '<') {
            if (tag == 0) flush();
            item += '<';
            ++tag;
            ++i;
            continue;
        }
        if (c == '>' && tag >= 1) {
            --tag;
            ++i;
            if (tag > 0 || item.empty()) continue;
            item += '>';
            out.push_back(item);
            bool opened = false;
            if (!textarea) {
                if (starts_nocase(item, "<PRE")) pre = opened = true;
                else if (starts_nocase(item, "</PRE")) pre = false;
            }
            if (!pre) {
                if (starts_nocase(item, "<TEXTAREA")) textarea = opened = true;
                else if (starts_nocase(item, "</TEXTAREA")) textarea = false;
            }
            if (opened && i < n && src[i] == '\r') ++i;
            if ((starts_nocase(item, "</PRE") || starts_nocase(item, "</TEXTAREA")) && out.size() >= 2 &&
                same_nocase(out[out.size() - 2], "<BR>"))
                out.erase(out.end() - 2);
            item.clear();
            continue;
        }
        if (c == '\\' && i + 1 < n) {
            const char next = src[i + 1];
            if (std::strchr("\\{}%<>", next) && next != '\0') {
                item += next;
                i += 2;
            } else {
                ++i;  // the backslash goes; the next character is read as usual
            }
            continue;
        }
        if (c == '\r') {
            if (tag == 0 && (pre || textarea)) {
                flush();
                if (pre) out.push_back("<BR>");
            } else if (!item.empty() && i != 0 && src[i - 1] != ' ') {
                item += ' ';
            }
            ++i;
            continue;
        }
        if (c == '\x14') {
            if (!(ends_with_space(item) && !pre && !textarea)) item += ' ';
            ++i;
            continue;
        }
        if (c == '\t') {
            if (pre || textarea) item.append(8, ' ');
            ++i;
            continue;
        }
        if (c == '"') {
            item += '"';
            quote = true;
            ++i;
            continue;
        }
        if (!(c == ' ' && ends_with_space(item))) item += c;
        ++i;
    }
    flush();
    lines = std::move(out);
}

// ---- tokenizer ----

void TokenizeTag(TTag& tag, const std::string& item) {
    tag.Items.clear();
    const bool is_tag = item.size() >= 2 && item.front() == '<' && item.back() == '>' &&
                        item.compare(0, 4, "<!--") != 0 && item.compare(0, 7, "<SCRIPT") != 0 &&
                        item.compare(0, 6, "<STYLE") != 0;
    if (!is_tag) {
        tag.Text = item;
        return;
    }
    std::string rest = item.substr(1, item.size() - 2);
    bool first = true;
    auto trim = [](std::string& s) {
        size_t a = 0;
        while (a < s.size() && static_cast<uint8_t>(s[a]) <= ' ') ++a;
        size_t b = s.size();
        while (b > a && static_cast<uint8_t>(s[b - 1]) <= ' ') --b;
        s = s.substr(a, b - a);
    };
    trim(rest);
    while (first || !rest.empty()) {
        // The name runs to the first space or "=", walking by character.
        size_t p = 0;
        while (p < rest.size() && rest[p] != ' ' && rest[p] != '=') p += char_len(rest, p);
        TTag::Attr a{rest.substr(0, p), {}};
        rest.erase(0, p);
        if (!rest.empty() && rest[0] == '=') {
            // A lone "=" (NAME= just before ">") is an empty value, not a new attribute.
            rest.erase(0, 1);
            if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
                const char q = rest[0];
                size_t e = 1;
                while (e < rest.size() && rest[e] != q) e += char_len(rest, e);
                if (e < rest.size()) {
                    a.Value = rest.substr(1, e - 1);
                    rest.erase(0, e + 1);
                } else {
                    size_t sp = rest.find(' ');
                    a.Value = rest.substr(1, sp == std::string::npos ? std::string::npos : sp - 1);
                    rest.erase(0, sp == std::string::npos ? rest.size() : sp);
                }
            } else {
                size_t e = 0;
                while (e < rest.size() && rest[e] != ' ') e += char_len(rest, e);
                a.Value = rest.substr(0, e);
                rest.erase(0, e);
            }
        }
        if (first) {
            tag.Text = "<" + a.Name + ">";
            first = false;
        }
        if (!a.Name.empty() || !a.Value.empty()) tag.Items.push_back(std::move(a));
        trim(rest);
    }
}

uint8_t LookupTagKind(const TTag& tag) {
    static const char* const names[] = {"A",    "/A",    "B",     "/B",  "FONT",   "/FONT", "I",   "/I",   "S",
                                        "/S",   "U",     "/U",    "NOBR", "/NOBR", "RUBY",  "/RUBY", "DIV", "/DIV",
                                        "INDENT", "UNDENT", "BR", "CLEAR", "EVENT", "WAIT",  "/WAIT", "VAR", "IMG"};
    const std::string& t = tag.Text;
    if (t.size() < 3 || t.front() != '<' || t.back() != '>') return tkText;
    const std::string inner = t.substr(1, t.size() - 2);
    for (uint8_t k = 0; k < 27; ++k)
        if (same_nocase(inner, names[k])) return static_cast<uint8_t>(k + 2);
    return tkUnknown;
}

// ---- compiler ----

namespace {

struct TagState {
    Stack<int32_t> size{0};
    Stack<uint32_t> color{0xFFFFFFFF};
    Stack<uint32_t> border_color{0xFFFFFFFF};
    Stack<uint32_t> shadow_color{0xFFFFFFFF};
    Stack<std::string> font{std::string()};
    uint8_t style = 0;
    uint8_t no_break = 0;
    std::string ruby;
    Stack<uint8_t> align{waLeft};
    std::string link;
    Stack<int32_t> wait;
    Stack<int32_t> border_width{-1};
    Stack<int32_t> shadow_width{-1};
    explicit TagState(int32_t default_wait) : wait(default_wait) {}

    TDecorateValues values() const {
        TDecorateValues v;
        v.Size = size.top();
        v.Color = color.top();
        v.BorderColor = border_color.top();
        v.ShadowColor = shadow_color.top();
        v.FontName = font.top();
        v.Style = style;
        v.NoBreak = no_break;
        v.Ruby = ruby;
        v.BorderWidth = border_width.top();
        v.ShadowWidth = shadow_width.top();
        return v;
    }
};

int32_t width_attr(const TTag& t, const char* name, int32_t current) {
    if (t.IndexOf(name) < 0) return current;
    return std::clamp(t.Int(name, 1), 0, TWzWord::kMaxEdgeWidth);
}

void compile_text(TWzWord& word, const TagState& st, const std::string& text) {
    const TDecorateValues v = st.values();
    TDecorate* d = nullptr;
    for (size_t i = 0; i < text.size();) {
        const size_t n = char_len(text, i);
        const uint16_t code = n == 2 ? static_cast<uint16_t>(static_cast<uint8_t>(text[i]) << 8 |
                                                             static_cast<uint8_t>(text[i + 1]))
                                     : static_cast<uint8_t>(text[i]);
        auto g = std::make_unique<TWdChar>(word);
        g->Code = code;
        g->Link = st.link;
        g->Wait = st.wait.top();
        // One look-up per run: the style cannot change within it.
        if (!d) d = word.Decorations().AcquireDecorate(v);
        else ++d->RefCount;
        g->Decorate = d;
        word.AddGlyph(std::move(g));
        i += n;
    }
}

}  // namespace

void CompileTags(TWzWord& word, const std::vector<std::string>& lines) {
    word.Clear();
    std::vector<std::string> items = lines;
    PreprocessSource(items);
    TagState st(Params ? Params->text_delay : 50);
    TTag tag;
    for (const std::string& item : items) {
        TokenizeTag(tag, item);
        switch (LookupTagKind(tag)) {
            case tkText: compile_text(word, st, tag.Text); break;
            case tkA:
                if (tag.IndexOf("HREF") < 0) throw Exception(Sjis("<A>タグにHREF値がありません"));
                st.link = ResolveValueEscapes(tag.Value("HREF", ""));
                break;
            case tkEndA: st.link.clear(); break;
            case tkB: st.style |= 1; break;
            case tkEndB: st.style &= ~1; break;
            case tkI: st.style |= 2; break;
            case tkEndI: st.style &= ~2; break;
            case tkS: st.style |= 8; break;
            case tkEndS: st.style &= ~8; break;
            case tkU: st.style |= 4; break;
            case tkEndU: st.style &= ~4; break;
            case tkFont:
                st.size.push(tag.Int("SIZE", st.size.top()));
                st.color.push(tag.Color("COLOR", st.color.top()));
                st.border_color.push(tag.Color("BCOLOR", st.border_color.top()));
                st.shadow_color.push(tag.Color("SCOLOR", st.shadow_color.top()));
                st.font.push(tag.Value("NAME", st.font.top()));
                st.border_width.push(width_attr(tag, "BORDER", st.border_width.top()));
                st.shadow_width.push(width_attr(tag, "SHADOW", st.shadow_width.top()));
                break;
            case tkEndFont:
                st.size.pop();
                st.color.pop();
                st.border_color.pop();
                st.shadow_color.pop();
                st.font.pop();
                st.border_width.pop();
                st.shadow_width.pop();
                break;
            case tkNoBr: st.no_break = 1; break;
            case tkEndNoBr: st.no_break = 0; break;
            case tkRuby: st.ruby = tag.Value("VALUE", ""); break;
            case tkEndRuby: st.ruby.clear(); break;
            case tkDiv:
            case tkEndDiv: {
                if (LookupTagKind(tag) == tkDiv) st.align.push(tag.Align(waLeft, waCenter, waLeft));
                else st.align.pop();
                auto g = std::make_unique<TWdOpeAlign>(word);
                g->Align = st.align.top();
                word.AddGlyph(std::move(g));
                break;
            }
            case tkIndent: word.AddGlyph(std::make_unique<TWdOpeIndent>(word)); break;
            case tkUndent: word.AddGlyph(std::make_unique<TWdOpeUndent>(word)); break;
            case tkBr:
            case tkClear: {
                auto g = std::make_unique<TWdOpeReturn>(word);
                g->Clear = LookupTagKind(tag) == tkClear || tag.IndexOf("CLEAR") >= 0;
                word.AddGlyph(std::move(g));
                break;
            }
            case tkEvent: {
                // The END flag is set here, as the stored-list reader sets it,
                // so a text compiled at run time stops the typewriter too.
                auto g = std::make_unique<TWdOpeEvent>(word);
                g->Value = ResolveValueEscapes(tag.Value("VALUE", ""));
                g->End = tag.IndexOf("END") >= 0;
                word.AddGlyph(std::move(g));
                break;
            }
            case tkWait: st.wait.push(tag.Int("VALUE", st.wait.top())); break;
            case tkEndWait: st.wait.pop(); break;
            case tkVar: {
                const std::string name = tag.Value("NAME", "");
                if (name.empty()) break;
                auto g = std::make_unique<TWdOpeVar>(word);
                g->Name = name;
                g->Decorate = word.Decorations().AcquireDecorate(st.values());
                g->Wait = st.wait.top();
                g->Link = st.link;
                word.AddGlyph(std::move(g));
                break;
            }
            case tkImg: {
                const std::string src = tag.Value("SRC", "");
                if (src.empty()) break;
                auto g = std::make_unique<TWdImg>(word);
                g->Src = src;
                g->Align = tag.Align(waCenter, waBottom, waBottom);
                g->NoBreak = st.no_break;
                g->Ruby = st.ruby;
                g->Link = st.link;
                g->Wait = st.wait.top();
                word.AddGlyph(std::move(g));
                break;
            }
            default: break;
        }
    }
}
