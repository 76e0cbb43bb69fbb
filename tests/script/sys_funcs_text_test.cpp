// The text family: results against a table computed by the Pascal run-time
// library (tests/script/golden/text_funcs.tsv), then the Shift-JIS cases,
// in-place edits and the bounds that protect against script input.
#include "script/sys_funcs_text.h"

#include "script/param_collection.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

namespace {

std::string unescape(const std::string& s) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            r += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            r += s[i];
        }
    }
    return r;
}

struct Call {
    // In-place edits reach variables only, so edited arguments are one.
    std::unique_ptr<TParamCollection> table = std::make_unique<TParamCollection>();
    std::vector<std::unique_ptr<TCustomParam>> values;
    std::vector<TCustomParam*> args;
    TParamCollectionItem dest;

    template <class... T>
    explicit Call(T... a) {
        (add(a), ...);
        dest.SetType(PT_STR);
    }
    void add(const char* s) { add(std::string(s)); }
    void add(std::string s) {
        auto p = std::make_unique<TParamStr>();
        p->SetAsString(s);
        push(std::move(p));
    }
    void add(int v) {
        auto p = std::make_unique<TParamInt>();
        p->SetAsInt(v);
        push(std::move(p));
    }
    void add(bool v) {
        auto p = std::make_unique<TParamFlag>();
        p->SetAsBool(v);
        push(std::move(p));
    }
    // Argument k becomes a reference to a string variable holding its value.
    Call& as_var(size_t k) {
        auto* e = table->AddVariable(PT_STR);
        e->SetName("v" + std::to_string(k));
        e->SetAsString(args[k]->GetAsString());
        auto ref = std::make_unique<TParamVar>("v" + std::to_string(k));
        ref->Link(*table);
        args[k] = ref.get();
        values.push_back(std::move(ref));
        return *this;
    }
    void push(std::unique_ptr<TCustomParam> p) {
        args.push_back(p.get());
        values.push_back(std::move(p));
    }
    std::string run(const char* name) {
        uint8_t index = 0;
        EXPECT_TRUE(FindSysFuncIndex(name, index)) << name;
        CallTextFunction(SysFuncMan(), dest, index, args);
        return dest.GetAsString();
    }
};

// How each golden row's fields become arguments: s text, i int, b bool;
// the last field is the expected result, read back as text. Delete and
// Insert give the edited variable instead of a result.
const std::map<std::string, std::string> kArgKinds = {
    {"IntToStr", "is"}, {"IntToHex", "ii"}, {"CompareStr", "ss"}, {"CompareText", "ss"}, {"Pos", "ss"},
    {"Copy", "sii"}, {"Delete", "sii"}, {"Insert", "ssi"}, {"IsDelimiter", "ssi"}, {"IsPathDelimiter", "si"},
    {"ExtractFilePath", "s"}, {"ExtractFileName", "s"}, {"ExtractFileExt", "s"}, {"ChangeFileExt", "ss"},
    {"Trim", "s"}, {"UpperCase", "s"}, {"LowerCase", "s"}, {"StringReplace", "sssbb"},
};

TEST(TextFunctions, AgreeWithThePascalRunTimeLibrary) {
    std::ifstream in(VORQ_SOURCE_DIR "/tests/script/golden/text_funcs.tsv");
    ASSERT_TRUE(in.good());
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(unescape(cell));
        if (!line.empty() && line.back() == '\t') f.push_back("");
        ASSERT_GE(f.size(), 2u) << line;
        const std::string name = f[0], expected = f.back();
        const std::string kinds = kArgKinds.at(name);
        const size_t n = f.size() - 2;
        ASSERT_LE(n, kinds.size()) << line;
        Call c;
        for (size_t k = 0; k < n; ++k) {
            if (kinds[k] == 's') c.add(f[k + 1]);
            else if (kinds[k] == 'i') c.add(std::stoi(f[k + 1]));
            else c.add(f[k + 1] == "TRUE");
        }
        if (name == "Delete") c.as_var(0);
        if (name == "Insert") c.as_var(1);
        std::string got = c.run(name.c_str());
        if (name == "Delete") got = c.args[0]->GetAsString();
        if (name == "Insert") got = c.args[1]->GetAsString();
        if (name == "CompareStr" || name == "CompareText") {
            // Only the sign is promised to scripts; the Pascal library gives
            // the byte difference, as we do.
            EXPECT_EQ(std::stoi(got), std::stoi(expected)) << line;
        } else {
            EXPECT_EQ(got, expected) << line;
        }
        ++rows;
    }
    EXPECT_GT(rows, 300);
}

TEST(TextFunctions, ShiftJisTrailBytesAreNeverDelimitersOrLetters) {
    // 表 and ソ end in 0x5C, the byte of "\"; ヂ ends in 0x61, the byte of "a".
    const std::string hyo = Sjis("表"), so = Sjis("ソ"), dji = Sjis("ヂ");
    ASSERT_EQ(hyo[1], '\\');
    ASSERT_EQ(so[1], '\\');
    ASSERT_EQ(dji[1], 'a');
    const std::string path = "c:\\" + hyo + "\\" + so + ".txt";
    struct Case {
        const char* fn;
        std::string in, out;
    } cases[] = {
        {"ExtractFileName", path, so + ".txt"},
        {"ExtractFilePath", path, "c:\\" + hyo + "\\"},
        {"ExtractFileExt", hyo + "." + so, "." + so},
        {"ExtractFileName", "x" + hyo, "x" + hyo},
        {"AddBackSlash", hyo, hyo + "\\"},
        {"AddBackSlash", "d\\", "d\\"},
        {"UpperCase", "a" + dji + "b", "A" + dji + "B"},
        {"LowerCase", "A" + dji + "B", "a" + dji + "b"},
        {"FixStr", "ab" + std::string(1, '\x95'), "ab"},
        {"FixStr", "ab" + hyo, "ab" + hyo},
        {"FixStr", hyo + "\x95", hyo},
        {"JTrim", Sjis("　a　 "), "a"},
        {"HanToZen", "A1", Sjis("Ａ１")},
        {"ZenToHan", Sjis("Ａ１"), "A1"},
    };
    for (const auto& c : cases) {
        Call call(c.in);
        EXPECT_EQ(call.run(c.fn), c.out) << c.fn << " " << Cp932ToUtf8(c.in);
    }
    EXPECT_EQ(Call(path, 3).run("IsPathDelimiter"), "TRUE");
    EXPECT_EQ(Call(path, 5).run("IsPathDelimiter"), "FALSE");  // 表's trail byte
    EXPECT_EQ(Call("\\", hyo, 2).run("IsDelimiter"), "FALSE");
    // A replaced pattern never starts on a trail byte.
    EXPECT_EQ(Call(hyo + "\\", "\\", "/", true).run("StringReplace"), hyo + "/");
    EXPECT_EQ(Call("a" + dji, "A", "x", true, true).run("StringReplace"), "x" + dji);
}

TEST(TextFunctions, CharacterFormsCountTwoByteCharactersOnce) {
    const std::string abc = Sjis("あいう");
    EXPECT_EQ(Call(abc).run("Length"), "6");
    EXPECT_EQ(Call(abc).run("JLength"), "3");
    EXPECT_EQ(Call(abc, 2).run("JCopy"), Sjis("いう"));
    EXPECT_EQ(Call(abc, 2, 1).run("JCopy"), Sjis("い"));
    EXPECT_EQ(Call(Sjis("う"), abc).run("JPos"), "3");
    EXPECT_EQ(Call(Sjis("う"), abc).run("Pos"), "5");
    Call del(abc, 2);
    del.as_var(0);
    del.dest.SetAsString("kept");
    del.run("JDelete");
    EXPECT_EQ(del.args[0]->GetAsString(), Sjis("あ"));
    EXPECT_EQ(del.dest.GetAsString(), "kept");  // no result written
    Call ins(Sjis("x"), abc, 3);
    ins.as_var(1);
    ins.run("JInsert");
    EXPECT_EQ(ins.args[1]->GetAsString(), Sjis("あいxう"));
}

TEST(TextFunctions, NumberTextAndSmallForms) {
    struct Case {
        std::string got, want;
    } cases[] = {
        {Call(7, "3").run("IntToStr"), "007"},
        {Call(-5, "3").run("IntToStr"), "-005"},
        {Call(255, 4).run("IntToHex"), "00FF"},
        {Call(-1, 1).run("IntToHex"), "FFFFFFFF"},
        {Call("$1F", 0).run("StrToIntDef"), "31"},
        {Call("12a", -1).run("StrToIntDef"), "-1"},
        {Call(" 2.5 ", 0).run("StrToFloatDef"), "2.5"},
        {Call("x", "1.5").run("StrToFloatDef"), "1.5"},
        {Call(",", "").run("AddDelimiter"), ""},
        {Call(",", "a").run("AddDelimiter"), "a,"},
        {Call("ab", 3).run("StringOfChar"), "ababab"},
        {Call("ab", -3).run("StringOfChar"), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(TextFunctions, ScriptInputIsBounded) {
    // Digits is a precision only: text that would make another format fails.
    for (const char* digits : {"3x", "-3", "*", "3d%s", " 3"}) {
        Call c(7, digits);
        EXPECT_THROW(c.run("IntToStr"), EConvertError) << digits;
    }
    EXPECT_EQ(Call(7, "9999999999").run("IntToStr").size(), size_t(kMaxPadDigits));
    EXPECT_EQ(Call(1, 1 << 30).run("IntToHex").size(), size_t(kMaxPadDigits));
    EXPECT_EQ(Call(-5, "40").run("IntToStr").size(), size_t(kMaxPadDigits) + 1);
    Call huge("abcd", 1 << 30);
    EXPECT_THROW(huge.run("StringOfChar"), Exception);
    EXPECT_EQ(Call("a", int(kMaxBuiltText)).run("StringOfChar").size(), kMaxBuiltText);
}

}  // namespace
