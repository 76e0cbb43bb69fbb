#include "script/parser.h"

#include "files/field_reader.h"
#include "files/number_text.h"
#include "script/param_collection.h"
#include "script/sys_funcs.h"
#include "files/save_stream.h"
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <cmath>
#include <typeinfo>
#include <unordered_map>

namespace {

const char* const kOpNames[kOpCodeCount] = {
    "ocNone", "ocTo",   "ocPlus",  "ocMinus", "ocMul",   "ocDiv",    "ocMod",
    "ocOr",   "ocAnd",  "ocXor",   "ocDimTo", "ocFunc",  "ocEqual",  "ocBig",
    "ocSmall", "ocEBig", "ocESmall", "ocShiftL", "ocShiftR", "ocComboStr", "ocNEqual",
};

constexpr std::string_view kTempPrefix = "____";
constexpr std::string_view kRefTempPrefix = "____d_";
constexpr std::string_view kResultName = "____arg";

[[noreturn]] void syntax_error() {
    static const std::string msg = Sjis("構文エラー");
    throw Exception(msg);
}

bool is_blank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool is_ident_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
// Characters that make an argument or index an expression of its own.
bool is_operator_char(char c) { return std::string_view("+-*/%|&^=[](),<>").find(c) != std::string_view::npos; }
// Characters that split the flat text into tokens.
bool is_token_operator(char c) { return std::string_view("%&*+-/<=>^|").find(c) != std::string_view::npos; }

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b])) ++b;
    while (e > b && is_blank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// 1 at every trail byte of a double-byte character.
std::vector<uint8_t> mark_trails(std::string_view s) {
    std::vector<uint8_t> t(s.size(), 0);
    for (size_t i = 0; i < s.size(); ++i)
        if (IsDBCSLeadByte(s[i]) && i + 1 < s.size()) t[++i] = 1;
    return t;
}

bool has_operator_char(std::string_view s) {
    auto tr = mark_trails(s);
    for (size_t i = 0; i < s.size(); ++i)
        if (!tr[i] && is_operator_char(s[i])) return true;
    return false;
}

// Position of the nearest non-blank byte before i, or -1.
ptrdiff_t prev_nonblank(std::string_view s, size_t i) {
    ptrdiff_t j = static_cast<ptrdiff_t>(i) - 1;
    while (j >= 0 && is_blank(s[static_cast<size_t>(j)])) --j;
    return j;
}

// First (or, with last, last) single-byte c at or after from, or npos.
size_t find_char(std::string_view s, const std::vector<uint8_t>& tr, char c, bool last, size_t from = 0) {
    if (last) {
        for (size_t i = s.size(); i-- > from;)
            if (!tr[i] && s[i] == c) return i;
    } else {
        for (size_t i = from; i < s.size(); ++i)
            if (!tr[i] && s[i] == c) return i;
    }
    return std::string_view::npos;
}

// The ")" that closes the "(" at open, or npos.
size_t matching_paren(std::string_view s, const std::vector<uint8_t>& tr, size_t open) {
    int depth = 0;
    for (size_t q = open; q < s.size(); ++q) {
        if (tr[q]) continue;
        if (s[q] == '(') ++depth;
        else if (s[q] == ')' && --depth == 0) return q;
    }
    return std::string_view::npos;
}

uint8_t operator_code(std::string_view t) {
    static const std::pair<std::string_view, uint8_t> kOps[] = {
        {"=", ocTo},      {"+", ocPlus},   {"-", ocMinus},  {"*", ocMul},       {"/", ocDiv},    {"%", ocMod},
        {"|", ocOr},      {"&", ocAnd},    {"^", ocXor},    {"==", ocEqual},    {">", ocBig},    {"<", ocSmall},
        {">=", ocEBig},   {"<=", ocESmall}, {"<<", ocShiftL}, {">>", ocShiftR}, {"++", ocComboStr}, {"<>", ocNEqual},
    };
    for (auto& [text, code] : kOps)
        if (text == t) return code;
    return ocNone;
}

// Operator levels, tightest first.
const std::vector<std::vector<std::string_view>> kLevels = {
    {"*", "/", "%"}, {"+", "-"}, {"<<", ">>"}, {"==", ">=", "<=", ">", "<", "<>"}, {"++"}, {"&"}, {"^"}, {"|"}, {"="},
};

// A token made of operator characters only: never an operand.
bool is_operator_token(std::string_view t) {
    for (char c : t)
        if (!is_token_operator(c)) return false;
    return !t.empty();
}

bool begins_with_any(std::string_view token, std::string_view chars) {
    return !token.empty() && chars.find(token[0]) != std::string_view::npos;
}

}  // namespace

const char* OpCodeName(uint8_t op) { return op < kOpCodeCount ? kOpNames[op] : ""; }

// ---- compiler -------------------------------------------------------------

std::string StripOuterParens(std::string_view text) {
    std::string s(text);
    while (s.size() >= 2 && s.front() == '(' && s.back() == ')') {
        auto tr = mark_trails(s);
        int depth = 1;
        bool encloses = true;
        for (size_t i = 1; i + 1 < s.size(); ++i) {
            if (tr[i]) continue;
            if (s[i] == '(') ++depth;
            else if (s[i] == ')' && --depth == 0) {
                encloses = false;
                break;
            }
        }
        if (!encloses) break;
        s = s.substr(1, s.size() - 2);
    }
    return s;
}

TBuildOpeData* TBuildVorqParser::Add() {
    ops_.push_back(std::make_unique<TBuildOpeData>());
    return ops_.back().get();
}

void TBuildVorqParser::append(uint8_t op, std::string dest, std::vector<std::string> operands) {
    TBuildOpeData* d = Add();
    d->op = op;
    d->dest = std::move(dest);
    d->operands = std::move(operands);
}

std::string TBuildVorqParser::new_temp() { return std::string(kTempPrefix) + std::to_string(++counter_); }
std::string TBuildVorqParser::new_ref_temp() { return std::string(kRefTempPrefix) + std::to_string(++counter_); }

void TBuildVorqParser::Parse(std::string_view text) {
    compile_text(std::string(text));
    eliminate_copies();
}

void TBuildVorqParser::compile_assignment(const std::string& dest, const std::string& source) {
    compile_text(dest + " = " + source);
}

// An argument or index: stripped of enclosing parentheses, compiled into a
// temporary when it is an expression of its own.
std::string TBuildVorqParser::compile_operand(std::string text) {
    text = trim(StripOuterParens(trim(text)));
    if (text.empty() || !has_operator_char(text)) return text;
    std::string temp = new_temp();
    compile_assignment(temp, text);
    return temp;
}

void TBuildVorqParser::compile_text(std::string text) {
    // 1. String literals become temporaries.
    for (;;) {
        auto tr = mark_trails(text);
        size_t p = find_char(text, tr, '"', false);
        if (p == std::string::npos) break;
        std::string lit = "\"";
        size_t i = p + 1;
        bool closed = false;
        while (i < text.size()) {
            char c = text[i];
            if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
                lit.append(text, i, 2);
                i += 2;
            } else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
                lit += text[i + 1];
                i += 2;
            } else if (c == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
                lit += "\r\n";
                i += 2;
            } else if (c == '"') {
                closed = true;
                break;
            } else {
                lit += c;
                ++i;
            }
        }
        if (!closed) break;  // an unterminated literal stays in the text
        lit += '"';
        std::string temp = new_temp();
        text = text.substr(0, p) + temp + text.substr(i + 1);
        append(ocTo, temp, {std::move(lit)});
    }

    // 2. Calls, innermost (last opening parenthesis) first.
    for (;;) {
        auto tr = mark_trails(text);
        size_t open = std::string::npos;
        size_t name_end = 0;
        for (size_t i = text.size(); i-- > 0;) {
            if (tr[i] || text[i] != '(') continue;
            ptrdiff_t j = prev_nonblank(text, i);
            if (j >= 0 && !tr[static_cast<size_t>(j)] && is_ident_char(text[static_cast<size_t>(j)])) {
                open = i;
                name_end = static_cast<size_t>(j) + 1;
                break;
            }
        }
        if (open == std::string::npos) break;
        size_t start = name_end;
        while (start > 0 && !tr[start - 1] && is_ident_char(text[start - 1])) --start;
        size_t close = matching_paren(text, tr, open);
        if (close == std::string::npos) syntax_error();
        std::string name = trim(std::string_view(text).substr(start, open - start));
        std::string args_text = text.substr(open + 1, close - open - 1);
        std::string dest = new_temp();
        std::vector<std::string> operands{name};
        if (!trim(args_text).empty()) {
            auto atr = mark_trails(args_text);
            std::vector<std::string> pieces;
            int depth = 0;
            size_t from = 0;
            for (size_t i = 0; i < args_text.size(); ++i) {
                if (atr[i]) continue;
                char c = args_text[i];
                if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    if (depth == 0) syntax_error();
                    --depth;
                } else if (c == ',' && depth == 0) {
                    pieces.push_back(args_text.substr(from, i - from));
                    from = i + 1;
                }
            }
            if (depth != 0) syntax_error();
            pieces.push_back(args_text.substr(from));
            for (auto& piece : pieces) operands.push_back(compile_operand(piece));
        }
        text = text.substr(0, start) + dest + text.substr(close + 1);
        append(ocFunc, dest, std::move(operands));
    }

    // 3. Array indexes, last "[" first.
    for (;;) {
        auto tr = mark_trails(text);
        size_t open = find_char(text, tr, '[', true);
        if (open == std::string::npos) break;
        ptrdiff_t j = prev_nonblank(text, open);
        if (j < 0 || (!tr[static_cast<size_t>(j)] && is_operator_char(text[static_cast<size_t>(j)]))) syntax_error();
        size_t start = static_cast<size_t>(j);
        while (start > 0 && (tr[start - 1] || (!is_blank(text[start - 1]) && !is_operator_char(text[start - 1]))))
            --start;
        size_t close = find_char(text, tr, ']', false, open + 1);
        if (close == std::string::npos) syntax_error();
        std::string name = trim(std::string_view(text).substr(start, static_cast<size_t>(j) + 1 - start));
        std::string index_text = text.substr(open + 1, close - open - 1);
        if (trim(index_text).empty()) {
            static const std::string msg = Sjis("配列の添え字が不正です");
            throw Exception(msg);
        }
        std::string dest = new_ref_temp();
        std::vector<std::string> operands{name};
        auto itr = mark_trails(index_text);
        size_t from = 0;
        for (size_t i = 0; i <= index_text.size(); ++i) {
            if (i < index_text.size() && (itr[i] || index_text[i] != ',')) continue;
            operands.push_back(compile_operand(index_text.substr(from, i - from)));
            from = i + 1;
        }
        text = text.substr(0, start) + dest + text.substr(close + 1);
        append(ocDimTo, dest, std::move(operands));
    }

    // 4. Parenthesised groups, last first.
    for (;;) {
        auto tr = mark_trails(text);
        size_t open = find_char(text, tr, '(', true);
        if (open == std::string::npos) break;
        size_t close = matching_paren(text, tr, open);
        if (close == std::string::npos) syntax_error();
        std::string inside = trim(std::string_view(text).substr(open + 1, close - open - 1));
        std::string temp = new_temp();
        text = text.substr(0, open) + temp + text.substr(close + 1);
        compile_assignment(temp, inside);
    }

    // 5. Tokens.
    std::vector<std::string> tokens;
    {
        auto tr = mark_trails(text);
        size_t from = 0;
        for (size_t i = 0; i < text.size();) {
            if (tr[i] || !is_token_operator(text[i])) {
                ++i;
                continue;
            }
            std::string before = trim(std::string_view(text).substr(from, i - from));
            if (!before.empty()) tokens.push_back(std::move(before));
            size_t len = 1;
            if (i + 1 < text.size()) {
                std::string_view two = std::string_view(text).substr(i, 2);
                if (two == "==" || two == ">=" || two == "<=" || two == "++" || two == "<>" || two == "<<" || two == ">>")
                    len = 2;
            }
            tokens.push_back(text.substr(i, len));
            i += len;
            from = i;
        }
        std::string last = trim(std::string_view(text).substr(from));
        if (!last.empty()) tokens.push_back(std::move(last));
    }

    // 6. Unary signs, right to left.
    for (size_t i = tokens.size() >= 2 ? tokens.size() - 2 : 0; i >= 1 && i + 1 < tokens.size(); --i) {
        if ((tokens[i] == "+" || tokens[i] == "-") && begins_with_any(tokens[i - 1], "=+-*/%&^|[(,<>")) {
            if (tokens[i] == "-") {
                std::string temp = new_temp();
                append(ocMinus, temp, {"0", tokens[i + 1]});
                tokens[i] = temp;
            } else {
                tokens[i] = tokens[i + 1];
            }
            tokens.erase(tokens.begin() + static_cast<ptrdiff_t>(i) + 1);
        }
    }

    // 7. Reduction by precedence.
    if (tokens.empty()) {
        append(ocTo, std::string(kResultName), {trim(text)});
        return;
    }
    bool assigned = false;
    while (!tokens.empty()) {
        size_t p = std::string::npos;
        for (const auto& level : kLevels) {
            for (size_t i = 0; i < tokens.size() && p == std::string::npos; ++i)
                for (std::string_view op : level)
                    if (tokens[i] == op) {
                        p = i;
                        break;
                    }
            if (p != std::string::npos) break;
        }
        if (p == std::string::npos) {
            if (tokens.size() != 1 || assigned) syntax_error();
            append(ocTo, std::string(kResultName), {tokens[0]});
            tokens.clear();
            break;
        }
        // Every operator needs the operand after it.
        if (p + 1 >= tokens.size() || is_operator_token(tokens[p + 1])) syntax_error();
        uint8_t code = operator_code(tokens[p]);
        if (code == ocTo) {
            if (p < 1) syntax_error();
            append(ocTo, tokens[p - 1], {tokens[p + 1]});
            tokens.erase(tokens.begin() + static_cast<ptrdiff_t>(p) - 1, tokens.begin() + static_cast<ptrdiff_t>(p) + 2);
            assigned = true;
        } else if (p == 0) {
            if (tokens[0] != "+" && tokens[0] != "-") syntax_error();
            std::string temp = new_temp();
            append(code, temp, {"0", tokens[1]});
            tokens[0] = temp;
            tokens.erase(tokens.begin() + 1);
        } else {
            if (begins_with_any(tokens[p - 1], "+-*/%|&^=[(<>")) syntax_error();
            std::string temp = new_temp();
            append(code, temp, {tokens[p - 1], tokens[p + 1]});
            tokens[p - 1] = temp;
            tokens.erase(tokens.begin() + static_cast<ptrdiff_t>(p), tokens.begin() + static_cast<ptrdiff_t>(p) + 2);
        }
    }
}

void TBuildVorqParser::eliminate_copies() {
    auto plain_temp = [](const std::string& s) {
        return starts_with(s, kTempPrefix) && !starts_with(s, kRefTempPrefix) && s != kResultName;
    };
    for (size_t i = 0; i < ops_.size();) {
        TBuildOpeData& o = *ops_[i];
        if (o.op == ocTo && o.operands.size() == 1 && plain_temp(o.dest) && plain_temp(o.operands[0])) {
            const std::string from = o.dest, to = o.operands[0];
            for (size_t k = i + 1; k < ops_.size(); ++k) {
                TBuildOpeData& later = *ops_[k];
                if (later.dest == from) later.dest = to;
                for (auto& operand : later.operands)
                    if (operand == from) operand = to;
            }
            ops_.erase(ops_.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
}

void TBuildVorqParser::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, Count());
    for (const auto& o : ops_) {
        WriteStreamByte(s, o->op);
        WriteStreamString(s, o->dest);
        bool func = o->op == ocFunc;
        int32_t count = static_cast<int32_t>(o->operands.size());
        WriteStreamInteger(s, func ? count - 1 : count);
        for (size_t k = 0; k < o->operands.size(); ++k) {
            const std::string& t = o->operands[k];
            int32_t iv;
            long double fv;
            if (func && k == 0) {
                // The function name is never a literal, whatever it looks like.
                uint8_t index;
                if (!FindSysFuncIndex(t, index)) {
                    static const std::string tail = Sjis(" 関数名がありません");
                    throw Exception("\"" + t + "\"" + tail);
                }
                const TSysFuncInfo& f = SysFuncTable[index];
                int32_t args = count - 1;
                if (args < f.min_args || (f.max_args >= 0 && args > f.max_args)) {
                    static const std::string tail = Sjis(" 引数の数が不正です");
                    throw Exception(f.name + tail);
                }
                WriteStreamByte(s, index);
            } else if (TryStrToInt32(t, iv)) {
                WriteStreamByte(s, PT_INT);
                WriteStreamInteger(s, iv);
            } else if (TryStrToExtended(t, fv)) {
                WriteStreamByte(s, PT_FLOAT);
                WriteStreamExtended(s, fv);
            } else if (t == "TRUE" || t == "FALSE") {
                WriteStreamByte(s, PT_BOOL);
                WriteStreamByte(s, t == "TRUE" ? 1 : 0);
            } else if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
                WriteStreamByte(s, PT_STR);
                WriteStreamString(s, t.substr(1, t.size() - 2));
            } else {
                WriteStreamByte(s, PT_NONE);
                WriteStreamString(s, t);
            }
        }
    }
}

void CompileExpression(TVorqParser& into, std::string_view text) {
    TBuildVorqParser build;
    build.Parse(text);
    TMemoryStream stored;
    build.SaveToStream(stored);
    stored.SetPosition(0);
    into.LoadFromStream(stored);
}

// ---- compiled expressions -------------------------------------------------

namespace {

// Smallest stored operation: op, empty destination, operand count.
constexpr uint64_t kMinOpBytes = 1 + 4 + 4;
// Far more operations than one statement compiles to; the bytes left bound
// them first.
constexpr uint32_t kMaxStoredOps = 1u << 20;
constexpr uint32_t kMaxOperands = 4096;
// Smallest stored operand: type byte and a one-byte flag.
constexpr uint64_t kMinOperandBytes = 2;

// Whether an operation of that kind can take m operands.
bool operand_count_fits(uint8_t op, uint8_t func, uint32_t m) {
    bool ok;
    switch (op) {
    case ocNone: ok = true; break;
    case ocTo: ok = m >= 1; break;
    case ocDimTo: ok = m >= 2; break;
    case ocFunc: {
        const TSysFuncInfo& f = SysFuncTable[func];
        ok = static_cast<int64_t>(m) >= f.min_args && (f.max_args < 0 || static_cast<int64_t>(m) <= f.max_args);
        break;
    }
    default: ok = m >= 2; break;
    }
    return ok;
}

std::string operand_text(const TCustomParam& p) {
    if (const TParamVar* v = p.AsVar()) return v->Name();
    return p.GetAsString();
}

[[noreturn]] void raise_bad_expression(const TOpeData& o) {
    std::string msg = Sjis("不正な式\r\n\r\n代入先:") + o.dest + Sjis("演算タイプ:") + OpCodeName(o.op);
    for (const auto& operand : o.operands) msg += "\r\n" + operand_text(*operand);
    throw Exception(msg);
}

long double checked_real(long double v) {
    if (!std::isfinite(v)) throw EInvalidOp("Invalid floating point operation");
    return v;
}

int32_t wrap(uint32_t v) { return static_cast<int32_t>(v); }

// Unlinks the reference operands of an operation however it ends, so that
// it can be saved with names only and holds no pointer into the table.
struct UnlinkOperands {
    const std::vector<TParamVar*>& vars;
    ~UnlinkOperands() {
        for (TParamVar* v : vars) v->Unlink();
    }
};

// Devirtualised reads and writes for the common case of the hot loop: a
// value of one storage kind itself, or a reference to one. The kind test
// compares type identities only; a value of any other kind (system
// variables, references to references) takes the general virtual path, so
// the answers are the same either way.
template <class Store>
Store* exactly(TCustomParam* p) {
    return &typeid(*p) == &typeid(Store) ? static_cast<Store*>(p) : nullptr;
}
template <class Store>
const Store* exactly(const TCustomParam* p) {
    return &typeid(*p) == &typeid(Store) ? static_cast<const Store*>(p) : nullptr;
}

// The value an operand reads: itself, or the target value of a reference
// together with the element index the reference reads.
const TCustomParam* operand_value(const TCustomParam* p, size_t& index) {
    index = 0;
    if (const TParamVar* v = exactly<TParamVar>(p)) {
        const TParamCollectionItem* t = v->Target();
        if (!t || !t->Value()) return nullptr;
        index = static_cast<size_t>(static_cast<uint32_t>(v->Index()));
        return t->Value();
    }
    return p;
}

int32_t read_int(const TCustomParam* p) {
    size_t i;
    if (const TCustomParam* v = operand_value(p, i))
        if (const TParamInt* s = exactly<TParamInt>(v)) {
            const auto& items = s->Items();
            if (i < items.size()) return items[i];
        }
    return p->GetAsInt();
}

bool read_bool(const TCustomParam* p) {
    size_t i;
    if (const TCustomParam* v = operand_value(p, i)) {
        if (const TParamFlag* s = exactly<TParamFlag>(v)) {
            const auto& items = s->Items();
            if (i < items.size()) return items[i] != 0;
        } else if (const TParamInt* n = exactly<TParamInt>(v)) {
            const auto& items = n->Items();
            if (i < items.size()) return items[i] != 0;
        }
    }
    return p->GetAsBool();
}

uint8_t type_of(const TCustomParam* p) {
    size_t i;
    if (const TCustomParam* v = operand_value(p, i)) {
        if (exactly<TParamInt>(v)) return PT_INT;
        if (exactly<TParamFlag>(v)) return PT_BOOL;
    }
    return p->ParamType();
}

uint8_t type_of(const TParamCollectionItem* d) {
    if (const TCustomParam* v = d->Value()) {
        if (exactly<TParamInt>(v)) return PT_INT;
        if (exactly<TParamFlag>(v)) return PT_BOOL;
    }
    return d->ParamType();
}

void write_int(TParamCollectionItem* d, int32_t x) {
    if (TCustomParam* v = d->Value())
        if (TParamInt* s = exactly<TParamInt>(v)) return s->TParamInt::SetAsInt(x);
    d->SetAsInt(x);
}

void write_bool(TParamCollectionItem* d, bool x) {
    if (TCustomParam* v = d->Value())
        if (TParamFlag* s = exactly<TParamFlag>(v)) return s->TParamFlag::SetAsBool(x);
    d->SetAsBool(x);
}

bool fusable_op(uint8_t op) {
    switch (op) {
    case ocPlus: case ocMinus: case ocMul: case ocDiv: case ocMod: case ocOr: case ocAnd: case ocXor:
    case ocShiftL: case ocShiftR:
    case ocEqual: case ocBig: case ocSmall: case ocEBig: case ocESmall: case ocNEqual:
        return true;
    default: return false;
    }
}

// An arithmetic operation into an integer; 32-bit wrapping where the
// stored behaviour wraps.
int32_t int_operation_of(uint8_t op, int32_t x, int32_t y) {
    switch (op) {
    case ocPlus: return wrap(static_cast<uint32_t>(x) + static_cast<uint32_t>(y));
    case ocMinus: return wrap(static_cast<uint32_t>(x) - static_cast<uint32_t>(y));
    case ocMul: return wrap(static_cast<uint32_t>(x) * static_cast<uint32_t>(y));
    case ocDiv: case ocMod:
        if (y == 0 || (x == INT32_MIN && y == -1)) throw EDivByZero("Division by zero");
        return op == ocDiv ? x / y : x % y;
    case ocOr: return x | y;
    case ocAnd: return x & y;
    case ocXor: return x ^ y;
    case ocShiftL: return wrap(static_cast<uint32_t>(x) << (y & 31));
    case ocShiftR: return wrap(static_cast<uint32_t>(x) >> (y & 31));
    default: return 0;
    }
}

int32_t int_operation(uint8_t op, const TCustomParam* a, const TCustomParam* b) {
    const int32_t x = read_int(a);
    return int_operation_of(op, x, read_int(b));
}

bool compare_result(uint8_t op, int c) {
    switch (op) {
    case ocEqual: return c == 0;
    case ocBig: return c > 0;
    case ocSmall: return c < 0;
    case ocEBig: return c >= 0;
    case ocESmall: return c <= 0;
    default: return c != 0;
    }
}

bool compare_ints(uint8_t op, int32_t x, int32_t y) { return compare_result(op, x < y ? -1 : x > y ? 1 : 0); }

// A comparison, by the type of the first operand.
bool compare_operation(uint8_t op, const TCustomParam* a, const TCustomParam* b) {
    int c;
    switch (type_of(a)) {
    case PT_STR: c = a->GetAsString().compare(b->GetAsString()); break;
    case PT_FLOAT: {
        long double x = a->GetAsFloat(), y = b->GetAsFloat();
        c = x < y ? -1 : x > y ? 1 : 0;
        break;
    }
    case PT_BOOL: c = int(read_bool(a)) - int(read_bool(b)); break;
    default: {
        int32_t x = read_int(a), y = read_int(b);
        c = x < y ? -1 : x > y ? 1 : 0;
        break;
    }
    }
    return compare_result(op, c);
}

uint8_t property_type(int32_t id) {
    if (id < 0 || id >= PROPERTY_COUNT) {
        static const std::string msg = Sjis("GetPropの引数が違います");
        throw Exception(msg);
    }
    return PropertyInfos[id].Type;
}

}  // namespace

// The type of a new temporary when it does not depend on the operands;
// 255 otherwise.
static uint8_t fixed_temp_type(const TOpeData& o) {
    switch (o.op) {
    case ocMod: case ocOr: case ocAnd: case ocXor: case ocShiftL: case ocShiftR: return PT_INT;
    case ocDimTo: return PT_NONE;
    case ocFunc: return o.func_index == 2 ? 255 : SysFuncTable[o.func_index].result;
    case ocEqual: case ocBig: case ocSmall: case ocEBig: case ocESmall: case ocNEqual: return PT_BOOL;
    case ocComboStr: return PT_STR;
    default: return 255;
    }
}

TVorqParser::TVorqParser() = default;
TVorqParser::~TVorqParser() = default;

void TVorqParser::Clear() {
    ops_.clear();
    prepared_ = false;
}

TOpeData* TVorqParser::Add() {
    ops_.push_back(std::make_unique<TOpeData>());
    prepared_ = false;
    return ops_.back().get();
}

void TVorqParser::LoadFromStream(TStream& s) {
    Clear();
    FieldReader r(s, Sjis("式のデータが壊れています"));
    const uint32_t n = r.Count("operation count", kMinOpBytes, kMaxStoredOps);
    ops_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        auto o = std::make_unique<TOpeData>();
        o->op = r.U8("operation");
        if (o->op >= kOpCodeCount) r.Fail("operation");
        o->dest = r.String("destination");
        const uint32_t m = r.Count("operand count", kMinOperandBytes, kMaxOperands);
        if (o->op == ocFunc) o->func_index = r.U8("function");
        if (o->op == ocFunc && o->func_index >= kSysFuncCount) r.Fail("function");
        if (!operand_count_fits(o->op, o->func_index, m)) r.Fail("operand count");
        o->operands.reserve(m);
        for (uint32_t k = 0; k < m; ++k) {
            const uint8_t type = r.U8("operand type");
            std::unique_ptr<TCustomParam> p;
            switch (type) {
            case PT_INT: p = std::make_unique<TParamInt>(); p->SetAsInt(r.I32("integer operand")); break;
            case PT_FLOAT: p = std::make_unique<TParamFloat>(); p->SetAsFloat(r.Extended("real operand")); break;
            case PT_BOOL: p = std::make_unique<TParamFlag>(); p->SetAsBool(r.U8("flag operand") != 0); break;
            case PT_STR: p = std::make_unique<TParamStr>(); p->SetAsString(r.String("text operand")); break;
            default: p = std::make_unique<TParamVar>(r.String("variable operand")); break;
            }
            o->operands.push_back(std::move(p));
        }
        ops_.push_back(std::move(o));
    }
    // Prepared on the first Evaluate: most expressions of a page are never
    // run, and loading a page should not build their temporaries.
}

void TVorqParser::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, Count());
    for (const auto& o : ops_) {
        WriteStreamByte(s, o->op);
        WriteStreamString(s, o->dest);
        WriteStreamInteger(s, static_cast<int32_t>(o->operands.size()));
        if (o->op == ocFunc) WriteStreamByte(s, o->func_index);
        for (const auto& p : o->operands) {
            // A reference is stored by name, never with its target's type.
            if (const TParamVar* v = p->AsVar()) {
                WriteStreamByte(s, PT_NONE);
                WriteStreamString(s, v->Name());
                continue;
            }
            uint8_t type = p->ParamType();
            WriteStreamByte(s, type);
            switch (type) {
            case PT_INT: WriteStreamInteger(s, p->GetAsInt()); break;
            case PT_FLOAT: WriteStreamExtended(s, p->GetAsFloat()); break;
            case PT_BOOL: WriteStreamByte(s, p->GetAsBool() ? 1 : 0); break;
            default: WriteStreamString(s, p->GetAsString()); break;
            }
        }
    }
}

void TVorqParser::Assign(const TVorqParser& source) {
    Clear();
    for (const auto& src : source.ops_) {
        TOpeData* o = Add();
        o->op = src->op;
        o->dest = src->dest;
        o->func_index = src->func_index;
        for (const auto& p : src->operands) {
            std::unique_ptr<TCustomParam> copy;
            if (const TParamVar* v = p->AsVar()) {
                copy = std::make_unique<TParamVar>(v->Name());
            } else {
                copy = CreateParam(p->ParamType());
                switch (p->ParamType()) {
                case PT_INT: copy->SetAsInt(p->GetAsInt()); break;
                case PT_FLOAT: copy->SetAsFloat(p->GetAsFloat()); break;
                case PT_BOOL: copy->SetAsBool(p->GetAsBool()); break;
                default: copy->SetAsString(p->GetAsString()); break;
                }
            }
            o->operands.push_back(std::move(copy));
        }
    }
}

void TVorqParser::prepare() {
    temps_.clear();
    std::unordered_map<std::string, int32_t> slots;
    for (auto& o : ops_) {
        o->dest_slot_ = -1;
        o->dest_gen_ = 0;
        o->temp_type_ = fixed_temp_type(*o);
        if (!starts_with(o->dest, kTempPrefix)) continue;
        auto [it, added] = slots.emplace(o->dest, static_cast<int32_t>(temps_.size()));
        if (added) {
            TempSlot slot;
            slot.name = o->dest;
            slot.item = std::make_unique<TParamCollectionItem>(nullptr);
            slot.item->THashCollectionItem::SetName(o->dest);
            temps_.push_back(std::move(slot));
        }
        o->dest_slot_ = it->second;
    }
    for (auto& o : ops_) {
        o->args_.clear();
        o->vars_.clear();
        o->var_slot_.clear();
        for (auto& p : o->operands) {
            o->args_.push_back(p.get());
            if (const TParamVar* v = p->AsVar()) {
                auto it = slots.find(v->Name());
                o->vars_.push_back(const_cast<TParamVar*>(v));
                o->var_slot_.push_back(it != slots.end() ? it->second : -1);
            }
        }
    }
    // Pairs "temporary := a op b; variable := temporary" whose temporary
    // nothing else reads or writes: the pair can run without it.
    std::unordered_map<std::string, int32_t> uses;
    for (auto& o : ops_) {
        ++uses[o->dest];
        for (TParamVar* v : o->vars_) ++uses[v->Name()];
    }
    for (size_t k = 0; k + 1 < ops_.size(); ++k) {
        TOpeData& o = *ops_[k];
        const TOpeData& next = *ops_[k + 1];
        o.fuse_next_ = fusable_op(o.op) && o.dest_slot_ >= 0 && o.operands.size() == 2 && next.op == ocTo &&
                       next.operands.size() == 1 && next.vars_.size() == 1 && next.vars_[0]->Name() == o.dest &&
                       next.dest != o.dest && uses[o.dest] == 2;
    }
    returns_result_ = !ops_.empty() && ops_.back()->op == ocTo && ops_.back()->dest == kResultName;
    // Division and remainder raise on zero: they keep the general path.
    int_pair_ = ops_.size() == 2 && ops_[0]->fuse_next_ && ops_[0]->op != ocDiv && ops_[0]->op != ocMod;
    prepared_ = true;
}

[[gnu::always_inline]] inline void TVorqParser::link_operands(TOpeData& o) {
    for (size_t k = 0; k < o.vars_.size(); ++k) {
        TParamVar* v = o.vars_[k];
        TParamCollectionItem* t = resolve(*v, o.var_slot_[k]);
        v->target_ = t;
        // Linked for one operation only, an operand may skip a reference in
        // between: reading element i of the reference is reading element i
        // of its target.
        if (const TParamVar* r = t->Reference()) {
            v->index_ = r->index_;
            if (r->target_) v->target_ = r->target_;
        }
    }
}

// The table variable an operation's destination names, if any.
[[gnu::always_inline]] inline TParamCollectionItem* TVorqParser::table_destination(TOpeData& o) {
    uint64_t gen = ParamGeneration();
    if (o.dest_gen_ != gen) {
        o.dest_item_ = Params ? Params->Find(o.dest) : nullptr;
        o.dest_gen_ = gen;
    }
    return o.dest_item_;
}

// The pair "t := a op b; x := t" as one step, for an integer or flag t: the
// same reads, checks and conversions as the two operations, without
// making t. False (having changed nothing) when t would be of another type
// or is a variable of the table: then the two run one by one.
bool TVorqParser::execute_fused(TOpeData& o, TOpeData& copy, bool last) {
    UnlinkOperands unlink{o.vars_};
    link_operands(o);
    if (table_destination(o)) return false;
    TCustomParam* a = o.args_[0];
    TCustomParam* b = o.args_[1];
    uint8_t type = o.temp_type_;
    int32_t value;
    size_t ia, ib;
    const TCustomParam* va = operand_value(a, ia);
    const TCustomParam* vb = operand_value(b, ib);
    const TParamInt* na = va ? exactly<TParamInt>(va) : nullptr;
    const TParamInt* nb = vb ? exactly<TParamInt>(vb) : nullptr;
    if (na && nb && ia < na->Items().size() && ib < nb->Items().size()) {
        // Two integers, the loop counter's case: an integer temporary, or a
        // flag for a comparison.
        const int32_t x = na->Items()[ia], y = nb->Items()[ib];
        if (type == 255) type = PT_INT;
        value = type == PT_BOOL ? compare_ints(o.op, x, y) : int_operation_of(o.op, x, y);
    } else {
        if (type == 255) {
            const uint8_t ta = type_of(a);
            type = o.op == ocPlus && ta == PT_STR ? PT_STR : ta == PT_FLOAT ? PT_FLOAT : PT_INT;
        }
        switch (type) {
        case PT_INT: value = int_operation(o.op, a, b); break;
        case PT_BOOL: value = compare_operation(o.op, a, b) ? 1 : 0; break;
        default: return false;
        }
    }
    TParamCollectionItem* dest = table_destination(copy);
    if (!dest) {
        if (copy.dest_slot_ < 0) RaiseMissingVariable(copy.dest);
        TempSlot& slot = temps_[static_cast<size_t>(copy.dest_slot_)];
        if (!slot.live && last && returns_result_) {
            // The result itself: made as take_result would copy it.
            std::unique_ptr<TCustomParam> r = std::move(spare_result_);
            if (!r || !(type == PT_INT ? exactly<TParamInt>(r.get()) != nullptr : exactly<TParamFlag>(r.get()) != nullptr))
                r = CreateParam(type);
            if (type == PT_INT) {
                TParamInt& v = static_cast<TParamInt&>(*r);
                v.ResetToNew();
                v.TParamInt::SetAsInt(value);
            } else {
                TParamFlag& v = static_cast<TParamFlag&>(*r);
                v.ResetToNew();
                v.TParamFlag::SetAsBool(value != 0);
            }
            result_ = std::move(r);
            result_taken_ = true;
            return true;
        }
        dest = slot.live ? slot.item.get() : make_temp_of(copy, type);
    }
    // As the copy reads an integer or flag temporary.
    switch (type_of(dest)) {
    case PT_INT: write_int(dest, value); break;
    case PT_FLOAT: dest->SetAsFloat(value); break;
    case PT_BOOL: write_bool(dest, value != 0); break;
    case PT_STR: dest->SetAsString(type == PT_INT ? IntTraits::ToStr(value) : FlagTraits::ToStr(uint8_t(value))); break;
    default: break;
    }
    return true;
}

// An integer operand as execute_fused reads it: a literal, or a variable
// of the table holding integers that is not a reference. False for
// anything else (the general path then reads it, or raises).
[[gnu::always_inline]] inline bool TVorqParser::int_operand(TCustomParam* p, int32_t& value) {
    size_t index = 0;
    const TCustomParam* v = p;
    if (TParamVar* r = exactly<TParamVar>(p)) {
        const uint64_t gen = ParamGeneration();
        if (r->cache_gen_ != gen) {
            r->cache_item_ = Params ? Params->Find(r->name_) : nullptr;
            r->cache_gen_ = gen;
        }
        const TParamCollectionItem* t = r->cache_item_;
        if (!t || t->Reference() || !t->Value()) return false;
        v = t->Value();
        index = static_cast<size_t>(static_cast<uint32_t>(r->index_));
    }
    const TParamInt* n = exactly<TParamInt>(v);
    if (!n || index >= n->Items().size()) return false;
    value = n->Items()[index];
    return true;
}

// A statement or condition that is one pair "t := a op b; x := t" over
// integers (a loop's step and test): what execute_fused does for it, with
// the operands read in place instead of linked. False, having changed
// nothing, for any other case; the general path then runs it.
bool TVorqParser::evaluate_int_pair() {
    TOpeData& o = *ops_[0];
    TOpeData& copy = *ops_[1];
    int32_t x, y;
    if (!int_operand(o.args_[0], x) || !int_operand(o.args_[1], y)) return false;
    if (table_destination(o)) return false;
    const uint8_t type = o.temp_type_ == 255 ? uint8_t{PT_INT} : o.temp_type_;
    if (type != PT_INT && type != PT_BOOL) return false;
    const int32_t value = type == PT_BOOL ? compare_ints(o.op, x, y) : int_operation_of(o.op, x, y);
    if (TParamCollectionItem* dest = table_destination(copy)) {
        TCustomParam* d = dest->Value();
        if (TParamInt* s = d ? exactly<TParamInt>(d) : nullptr)
            s->TParamInt::SetAsInt(value);
        else if (TParamFlag* f = d ? exactly<TParamFlag>(d) : nullptr)
            f->TParamFlag::SetAsBool(value != 0);
        else
            return false;
        // A table variable named as the result: read back as the general path does.
        if (returns_result_) take_result();
        return true;
    }
    if (!returns_result_ || copy.dest_slot_ < 0 || temps_[static_cast<size_t>(copy.dest_slot_)].live) return false;
    std::unique_ptr<TCustomParam> r = std::move(spare_result_);
    if (type == PT_INT) {
        if (!r || !exactly<TParamInt>(r.get())) r = CreateParam(PT_INT);
        TParamInt& v = static_cast<TParamInt&>(*r);
        v.ResetToNew();
        v.TParamInt::SetAsInt(value);
    } else {
        if (!r || !exactly<TParamFlag>(r.get())) r = CreateParam(PT_BOOL);
        TParamFlag& v = static_cast<TParamFlag&>(*r);
        v.ResetToNew();
        v.TParamFlag::SetAsBool(value != 0);
    }
    result_ = std::move(r);
    return true;
}

// A name is a variable of the table when one exists (looked up once per
// table generation), else a temporary made earlier in this run.
[[gnu::always_inline]] inline TParamCollectionItem* TVorqParser::resolve(TParamVar& var, int32_t slot) {
    uint64_t gen = ParamGeneration();
    if (var.cache_gen_ != gen) {
        var.cache_item_ = Params ? Params->Find(var.name_) : nullptr;
        var.cache_gen_ = gen;
    }
    if (var.cache_item_) return var.cache_item_;
    if (slot >= 0 && temps_[static_cast<size_t>(slot)].live) return temps_[static_cast<size_t>(slot)].item.get();
    RaiseMissingVariable(var.name_);
}

TParamCollectionItem* TVorqParser::destination(TOpeData& o) {
    if (TParamCollectionItem* item = table_destination(o)) return item;
    if (o.dest_slot_ < 0) RaiseMissingVariable(o.dest);
    TempSlot& slot = temps_[static_cast<size_t>(o.dest_slot_)];
    return slot.live ? slot.item.get() : make_temp(o);
}

// The type of a new temporary that depends on the first operand (or, for
// GetProp, on the property).
uint8_t TVorqParser::temp_type(const TOpeData& o) {
    TCustomParam* a = o.args_.empty() ? nullptr : o.args_[0];
    uint8_t ta = a ? a->ParamType() : uint8_t{PT_NONE};
    switch (o.op) {
    case ocTo: return ta;
    case ocPlus: return ta == PT_STR ? PT_STR : ta == PT_FLOAT ? PT_FLOAT : PT_INT;
    case ocMinus: case ocMul: case ocDiv: return ta == PT_FLOAT ? PT_FLOAT : PT_INT;
    case ocFunc: return property_type(o.args_[1]->GetAsInt());
    default: raise_bad_expression(o);
    }
}

TParamCollectionItem* TVorqParser::make_temp(TOpeData& o) {
    return make_temp_of(o, o.temp_type_ != 255 ? o.temp_type_ : temp_type(o));
}

TParamCollectionItem* TVorqParser::make_temp_of(TOpeData& o, uint8_t type) {
    TempSlot& slot = temps_[static_cast<size_t>(o.dest_slot_)];
    TParamCollectionItem* item = slot.item.get();
    // A temporary starts as a new value; its storage is kept between runs.
    if (slot.kind == type && item->Value()) {
        switch (type) {
        case PT_INT: static_cast<TParamInt*>(item->Value())->ResetToNew(); break;
        case PT_FLOAT: static_cast<TParamFloat*>(item->Value())->ResetToNew(); break;
        case PT_BOOL: static_cast<TParamFlag*>(item->Value())->ResetToNew(); break;
        case PT_STR: static_cast<TParamStr*>(item->Value())->ResetToNew(); break;
        case PT_NONE: static_cast<TParamVar*>(item->Value())->Reset(); break;
        default: item->SetType(type); break;
        }
    } else {
        item->SetType(type);
        slot.kind = type;
    }
    slot.live = true;
    ++live_temps_;
    if (o.op == ocDimTo) {
        TCustomParam* arr = o.args_[0];
        const TParamVar* av = arr->AsVar();
        if (!av) RaiseMissingVariable(operand_text(*arr));
        index_buf_.clear();
        for (size_t k = 1; k < o.args_.size(); ++k) index_buf_.push_back(o.args_[k]->GetAsInt());
        item->SetReferenceTo(av->Target(), av->Name(), index_buf_);
    }
    return item;
}

void TVorqParser::execute(TOpeData& o) {
    UnlinkOperands unlink{o.vars_};
    link_operands(o);
    TParamCollectionItem* dest = destination(o);
    TCustomParam* a = o.args_.size() > 0 ? o.args_[0] : nullptr;
    TCustomParam* b = o.args_.size() > 1 ? o.args_[1] : nullptr;
    switch (o.op) {
    case ocTo:
        switch (type_of(dest)) {
        case PT_INT: write_int(dest, read_int(a)); break;
        case PT_FLOAT: dest->SetAsFloat(a->GetAsFloat()); break;
        case PT_BOOL: write_bool(dest, read_bool(a)); break;
        case PT_STR: dest->SetAsString(a->GetAsString()); break;
        default: break;
        }
        break;
    case ocPlus:
        if (type_of(dest) == PT_FLOAT)
            dest->SetAsFloat(checked_real(a->GetAsFloat() + b->GetAsFloat()));
        else
            write_int(dest, int_operation(o.op, a, b));
        break;
    case ocMinus:
        if (type_of(dest) == PT_FLOAT)
            dest->SetAsFloat(checked_real(a->GetAsFloat() - b->GetAsFloat()));
        else
            write_int(dest, int_operation(o.op, a, b));
        break;
    case ocMul:
        if (type_of(dest) == PT_FLOAT)
            dest->SetAsFloat(checked_real(a->GetAsFloat() * b->GetAsFloat()));
        else
            write_int(dest, int_operation(o.op, a, b));
        break;
    case ocDiv:
        if (type_of(dest) == PT_FLOAT) {
            long double y = b->GetAsFloat();
            if (y == 0) throw EInvalidOp("Floating point division by zero");
            dest->SetAsFloat(checked_real(a->GetAsFloat() / y));
        } else {
            write_int(dest, int_operation(o.op, a, b));
        }
        break;
    case ocMod: case ocOr: case ocAnd: case ocXor: case ocShiftL: case ocShiftR:
        write_int(dest, int_operation(o.op, a, b));
        break;
    case ocComboStr: dest->SetAsString(a->GetAsString() + b->GetAsString()); break;
    case ocEqual: case ocBig: case ocSmall: case ocEBig: case ocESmall: case ocNEqual:
        write_bool(dest, compare_operation(o.op, a, b));
        break;
    case ocFunc: SysFuncMan().CallFunction(*dest, o.func_index, o.args_); break;
    default: break;  // ocDimTo did its work when its temporary was made
    }
}

void TVorqParser::release_temps() {
    if (live_temps_ == 0) return;
    live_temps_ = 0;
    for (TempSlot& slot : temps_) {
        if (!slot.live) continue;
        slot.live = false;
        // A reference temporary must not keep a pointer into the table.
        if (slot.kind == PT_NONE)
            if (TCustomParam* v = slot.item->Value())
                if (const TParamVar* r = v->AsVar()) const_cast<TParamVar*>(r)->Unlink();
    }
}

void TVorqParser::take_result() {
    TOpeData& last = *ops_.back();
    TParamCollectionItem* item = last.dest_item_;
    if (last.dest_gen_ != ParamGeneration()) item = Params ? Params->Find(last.dest) : nullptr;
    if (!item && last.dest_slot_ >= 0 && temps_[static_cast<size_t>(last.dest_slot_)].live)
        item = temps_[static_cast<size_t>(last.dest_slot_)].item.get();
    if (!item) return;
    uint8_t type = item->ParamType();
    if (type < PT_INT || type > PT_STR) {
        release_temps();
        static const std::string tail = Sjis(":不正な変数です");
        throw Exception(std::string(kResultName) + tail);
    }
    std::unique_ptr<TCustomParam> r;
    if (spare_result_ && spare_result_->ParamType() == type)
        r = std::move(spare_result_);
    else
        r = CreateParam(type);
    const TCustomParam& source = *item->Value();
    if (typeid(source) == typeid(*r))
        r->Assign(source);
    else
        r->AssignConverted(source);
    result_ = std::move(r);
}

void TVorqParser::Evaluate() {
    if (running_) {
        // Evaluated again from inside its own run (a function reaching back
        // to the same expression): the inner run gets its own temporaries.
        TVorqParser inner;
        inner.Assign(*this);
        inner.Evaluate();
        result_ = inner.TakeResult();
        failed_ = inner.Failed();
        return;
    }
    failed_ = false;
    if (ops_.empty()) {
        // An empty statement (a loop's missing step): no result, nothing run.
        if (result_) spare_result_ = std::move(result_);
        return;
    }
    running_ = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{running_};
    if (result_) spare_result_ = std::move(result_);
    if (!prepared_) prepare();
    if (int_pair_ && evaluate_int_pair()) return;
    result_taken_ = false;
    try {
        const size_t n = ops_.size();
        for (size_t k = 0; k < n; ++k) {
            TOpeData& o = *ops_[k];
            if (o.fuse_next_ && execute_fused(o, *ops_[k + 1], k + 2 == n)) {
                ++k;
                continue;
            }
            execute(o);
        }
    } catch (const std::exception&) {
        // An error ends the run without a message; callers keep their defaults.
        failed_ = true;
    }
    if (returns_result_ && !result_taken_) take_result();
    release_temps();
}
