#include "script/sys_funcs_array.h"

#include "script/param_collection.h"
#include "files/jstring.h"
#include "files/vr_file_manager.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <memory>

namespace {

constexpr uint8_t fnGetArraySize = 4, fnSetArray = 21, fnFillMem = 22, fnCopyMem = 23, fnArrayToString = 28,
                  fnStringToArray = 29, fnIndexOfStr = 30, fnSortStr = 31, fnAddArray = 66, fnInsertArray = 67,
                  fnDeleteArray = 68, fnCopyArray = 70, fnLoadTextFile = 72;

const std::string kCrLf = "\r\n";

// Functions that reshape or fill need a variable, not a literal's copy.
TCustomParam& bound_var(TCustomParam* arg, const char* fn) {
    const TParamVar* v = arg->AsVar();
    if (!v || !v->Target()) throw Exception(std::string(fn) + Sjis(":変数が見つかりません"));
    return *arg;
}

// Element i of src into element j of dst, converted to dst's type.
void copy_element(TCustomParam& dst, int32_t j, const TCustomParam& src, int32_t i) {
    switch (dst.ParamType()) {
    case PT_INT: dst.SetIntAt(j, src.GetIntAt(i)); break;
    case PT_FLOAT: dst.SetFloatAt(j, src.GetFloatAt(i)); break;
    case PT_BOOL: dst.SetBoolAt(j, src.GetBoolAt(i)); break;
    case PT_STR: dst.SetStrAt(j, src.GetStrAt(i)); break;
    default: break;
    }
}

void set_flat(TCustomParam& v, int32_t n) {
    const int32_t dims[] = {n};
    v.SetDims(dims);
}

std::unique_ptr<TCustomParam> snapshot(const TCustomParam& src) {
    std::unique_ptr<TCustomParam> copy;
    switch (src.ParamType()) {
    case PT_INT: copy = std::make_unique<TParamInt>(); break;
    case PT_FLOAT: copy = std::make_unique<TParamFloat>(); break;
    case PT_BOOL: copy = std::make_unique<TParamFlag>(); break;
    default: copy = std::make_unique<TParamStr>(); break;
    }
    const int32_t m = src.Count();
    if (m > 0) set_flat(*copy, m);
    for (int32_t i = 0; i < m; ++i) copy_element(*copy, i, src, i);
    return copy;
}

void store_pieces(TCustomParam& v, const std::vector<std::string>& pieces) {
    set_flat(v, static_cast<int32_t>(std::min<size_t>(pieces.size(), INT32_MAX)));
    for (size_t i = 0; i < pieces.size(); ++i) v.SetStrAt(static_cast<int32_t>(i), pieces[i]);
}

int32_t add_array(TCustomParam& dst, const TCustomParam& src) {
    const int32_t n = dst.Count(), m = src.Count();
    if (dst.DimCount() > 1 || src.DimCount() > 1) return n;
    set_flat(dst, n + m);
    for (int32_t i = 0; i < m; ++i) copy_element(dst, n + i, src, i);
    return n + m;
}

int32_t insert_array(TCustomParam& dst, int32_t at, const TCustomParam& src) {
    const int32_t n = dst.Count(), m = src.Count();
    if (dst.DimCount() > 1 || src.DimCount() > 1) return n;
    const int32_t p = std::clamp(at, 0, n);
    // The source may be the destination itself: take its elements first.
    const std::unique_ptr<TCustomParam> from = snapshot(src);
    set_flat(dst, n + m);
    for (int32_t j = n + m - 1; j >= p + m; --j) copy_element(dst, j, dst, j - m);
    for (int32_t i = 0; i < m; ++i) copy_element(dst, p + i, *from, i);
    return n + m;
}

int32_t delete_array(TCustomParam& v, int32_t at, int32_t count) {
    const int32_t n = v.Count();
    if (v.DimCount() > 1) return n;
    const int32_t p = at < 0 ? 0 : at >= n ? n - 1 : at;
    int32_t c = count;
    if (static_cast<int64_t>(p) + c > n) c = n - p;
    for (int32_t j = p; j < n - c; ++j) copy_element(v, j, v, j + c);
    set_flat(v, n - c);
    return n - c;
}

std::string join(const TCustomParam& v, const std::string& delim) {
    std::string out;
    const int32_t n = v.Count();
    for (int32_t i = 0; i < n; ++i) {
        if (i) out += delim;
        out += v.GetStrAt(i);
    }
    return out;
}

void sort_texts(TCustomParam& v) {
    const int32_t n = v.Count();
    std::vector<std::string> texts(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) texts[static_cast<size_t>(i)] = v.GetStrAt(i);
    std::sort(texts.begin(), texts.end(),
              [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
    for (int32_t i = 0; i < n; ++i) v.SetStrAt(i, texts[static_cast<size_t>(i)]);
}

bool load_text_file(TCustomParam& v, const std::string& name) {
    if (!ScriptFileExists(name) || !FileManager) return false;
    TMemoryStream stream;
    FileManager->LoadToStream(stream, name);
    if (stream.GetSize() < 1) return false;
    const auto bytes = stream.Bytes();
    const auto pieces = SplitScriptText(std::string(bytes.begin(), bytes.end()), kCrLf);
    if (pieces.empty()) return false;
    store_pieces(v, pieces);
    return true;
}

// What a function writes into: the variable, or for a literal a scratch
// copy, so that the compiled expression keeps its literal.
TCustomParam& writable(TCustomParam* arg, std::unique_ptr<TCustomParam>& scratch) {
    if (arg->AsVar()) return *arg;
    scratch = snapshot(*arg);
    return *scratch;
}

TScriptFileExists g_file_exists = nullptr;

}  // namespace

void SetScriptFileExists(TScriptFileExists fn) { g_file_exists = fn; }

bool ScriptFileExists(const std::string& name) {
    if (g_file_exists) return g_file_exists(name);
    return FileManager && FileManager->FileExists(name);
}

std::vector<std::string> SplitScriptText(const std::string& s, const std::string& delim) {
    std::vector<std::string> pieces;
    if (delim == kCrLf) {
        size_t start = 0;
        while (start < s.size()) {
            size_t end = s.find_first_of("\r\n", start);
            if (end == std::string::npos) {
                pieces.push_back(s.substr(start));
                break;
            }
            pieces.push_back(s.substr(start, end - start));
            start = end + ((s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n') ? 2 : 1);
        }
        return pieces;
    }
    std::string rest = s, token;
    while (!rest.empty()) {
        JFetchToken(rest, delim, token);
        pieces.push_back(token);
    }
    return pieces;
}

void CallArrayFunction(TSysFuncMan&, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs a) {
    std::unique_ptr<TCustomParam> scratch;
    switch (index) {
    case fnGetArraySize: {
        TCustomParam& v = bound_var(a[0], "GetArraySize");
        if (a.size() < 2) {
            dest.SetAsInt(v.Count());
            break;
        }
        // Dim counts from the last, fastest-varying dimension.
        const int32_t k = v.DimCount() - 1 - a[1]->GetAsInt();
        dest.SetAsInt(k >= 0 && k < v.DimCount() ? v.DimSize(k) : 1);
        break;
    }
    case fnSetArray: {
        TCustomParam& v = bound_var(a[0], "SetArray");
        std::vector<int32_t> dims;
        for (size_t i = 1; i < a.size(); ++i) dims.push_back(a[i]->GetAsInt());
        v.SetDims(dims);
        break;
    }
    case fnFillMem: {
        TCustomParam& v = bound_var(a[0], "FillMem");
        switch (v.ParamType()) {
        case PT_INT: v.FillInt(a[1]->GetAsInt()); break;
        case PT_FLOAT: v.FillFloat(a[1]->GetAsFloat()); break;
        case PT_BOOL: v.FillBool(a[1]->GetAsBool()); break;
        default: v.FillStr(a[1]->GetAsString()); break;
        }
        break;
    }
    case fnCopyMem: {
        TCustomParam& d = bound_var(a[0], "CopyMem");
        bound_var(a[1], "CopyMem");
        // The stored value itself, so that its kind is compared, not the reference's.
        const TCustomParam* s = a[1]->AsVar()->Target()->Value();
        if (s) d.CopyMem(*s);
        break;
    }
    case fnCopyArray: {
        TCustomParam& d = writable(a[0], scratch);
        const TCustomParam& s = *a[1];
        std::vector<int32_t> dims;
        for (int32_t k = 0; k < s.DimCount(); ++k) dims.push_back(s.DimSize(k));
        // A value sized by count alone has no dimensions to copy.
        if (dims.size() <= 1) dims.assign(1, s.Count());
        d.SetDims(dims);
        for (int32_t i = 0; i < s.Count(); ++i) copy_element(d, i, s, i);
        dest.SetAsBool(true);
        break;
    }
    case fnAddArray: dest.SetAsInt(add_array(writable(a[0], scratch), *a[1])); break;
    case fnInsertArray: dest.SetAsInt(insert_array(writable(a[0], scratch), a[1]->GetAsInt(), *a[2])); break;
    case fnDeleteArray: dest.SetAsInt(delete_array(writable(a[0], scratch), a[1]->GetAsInt(), a[2]->GetAsInt())); break;
    case fnArrayToString: dest.SetAsString(join(*a[0], a.size() > 1 ? a[1]->GetAsString() : kCrLf)); break;
    case fnStringToArray:
        store_pieces(writable(a[1], scratch), SplitScriptText(a[0]->GetAsString(), a.size() > 2 ? a[2]->GetAsString() : kCrLf));
        break;
    case fnIndexOfStr:
        dest.SetAsInt(a[0]->IndexOf(a[1]->GetAsString(), a.size() > 2 ? a[2]->GetAsBool() : true,
                                    a.size() > 3 && a[3]->GetAsBool()));
        break;
    case fnSortStr: sort_texts(writable(a[0], scratch)); break;
    case fnLoadTextFile: dest.SetAsBool(load_text_file(writable(a[0], scratch), a[1]->GetAsString())); break;
    default: break;
    }
}
