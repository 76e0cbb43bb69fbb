#include "tests/support/delphi_text.h"
#include "tests/support/file_bytes.h"
#include "files/db_table.h"

#include "files/extended.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

void fill_people(TDBTable& t) {
    t.LoadFromText({"id int\tname string 8\tscore float\tok bool",
                    "3\tcarol\t2.5\tTRUE",
                    "1\tAlice\t10\tFALSE",
                    "2\tbob\t-1\tTRUE",
                    "1\tdave\t7\tTRUE"});
}

std::vector<std::string> column_texts(TDBTable& t, int col) {
    std::vector<std::string> out;
    for (int r = 0; r < t.RecordCount(); ++r) {
        std::string s;
        EXPECT_TRUE(t.GetString(r, col, s));
        out.push_back(s);
    }
    return out;
}

TIntList ints(std::initializer_list<int32_t> v) {
    TIntList l;
    for (int32_t x : v) l.Add(x);
    return l;
}

std::vector<int32_t> to_vec(const TIntList& l) {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < l.Count(); ++i) out.push_back(l.Get(i));
    return out;
}

std::string from_hex(std::string_view h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
    return out;
}

}  // namespace

TEST(DBTable, HeaderCellsGiveColumns) {
    TDBTable t("t", 0);
    ASSERT_TRUE(t.LoadFromText({"a int\tb string 20\tc\td float\te bool\tf  int 3\tg text x"}));
    ASSERT_EQ(t.Fields.Count(), 7);
    EXPECT_EQ(t.Fields.GetField(0)->Kind, PT_INT);
    EXPECT_EQ(t.Fields.GetField(1)->Kind, PT_STR);
    EXPECT_EQ(t.Fields.GetField(1)->Size, 21);
    EXPECT_EQ(t.Fields.GetField(2)->Size, 81);  // a name alone: string of width 80
    EXPECT_EQ(t.Fields.GetField(3)->Size, 10);
    EXPECT_EQ(t.Fields.GetField(4)->Size, 1);
    EXPECT_EQ(t.Fields.GetField(6)->Size, 81);
    EXPECT_EQ(t.Fields.GetFieldOffset(4), 4 + 21 + 81 + 10);
    EXPECT_EQ(t.Fields.RecordSize(), 4 + 21 + 81 + 10 + 1 + t.Fields.GetField(5)->Size + 81);
    EXPECT_EQ(t.Fields.IndexOf("B"), 1);
    EXPECT_EQ(t.Fields.IndexOf("zz"), -1);
    EXPECT_FALSE(t.LoadFromText({}));
}

TEST(DBTable, RowsFromTextAndShortLines) {
    TDBTable t("t", 0);
    t.LoadFromText({"n int\ts string 10\tb bool", "5\tx\\ny", "", "7\t\\\"q\\\"\tTRUE\textra"});
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.RecNo(), 1);
    int32_t n = -1;
    bool b = true;
    std::string s;
    EXPECT_TRUE(t.GetInt(0, 0, n));
    EXPECT_EQ(n, 5);
    t.GetString(0, 1, s);
    EXPECT_EQ(s, "x\r\ny");
    t.GetBool(0, 2, b);
    EXPECT_FALSE(b);  // missing cell stays zero
    t.GetString(1, 1, s);
    EXPECT_EQ(s, "\"q\"");
    t.GetBool(1, 2, b);
    EXPECT_TRUE(b);
}

TEST(DBTable, CellConversions) {
    TDBTable t("t", 0);
    t.Fields.AddField("i", PT_INT, 0);
    t.Fields.AddField("f", PT_FLOAT, 0);
    t.Fields.AddField("b", PT_BOOL, 0);
    t.Fields.AddField("s", PT_STR, 3);
    EXPECT_EQ(t.Fields.AddField("x", 5, 0), -1);
    t.Append();
    int32_t i;
    long double f;
    bool b;
    std::string s;

    EXPECT_TRUE(t.SetString(0, 3, "abcdef"));
    t.GetString(0, 3, s);
    EXPECT_EQ(s, "abc");
    // A cut never leaves half a double-byte character.
    t.SetString(0, 3, "a" + Sjis("漢字"));
    t.GetString(0, 3, s);
    EXPECT_EQ(s, "a" + Sjis("漢"));
    t.SetString(0, 3, Sjis("漢字"));
    t.GetString(0, 3, s);
    EXPECT_EQ(s, Sjis("漢"));

    t.SetFloat(0, 0, 2.5L);  // ties to even
    t.GetInt(0, 0, i);
    EXPECT_EQ(i, 2);
    t.SetFloat(0, 0, 3.5L);
    t.GetInt(0, 0, i);
    EXPECT_EQ(i, 4);
    t.SetFloat(0, 0, 4294967298.0L);  // low 32 bits of the 64-bit result
    t.GetInt(0, 0, i);
    EXPECT_EQ(i, 2);
    t.SetString(0, 0, "12a");
    t.GetInt(0, 0, i);
    EXPECT_EQ(i, 0);
    t.SetString(0, 0, " -42");
    t.GetInt(0, 0, i);
    EXPECT_EQ(i, -42);
    t.SetInt(0, 3, 123456);
    t.GetString(0, 3, s);
    EXPECT_EQ(s, "123");

    t.SetInt(0, 1, 7);
    t.GetFloat(0, 1, f);
    EXPECT_EQ(f, 7.0L);
    t.SetString(0, 1, "x");
    t.GetFloat(0, 1, f);
    EXPECT_EQ(f, 0.0L);
    t.SetString(0, 1, "0.1");
    t.GetFloat(0, 1, f);
    EXPECT_EQ(f, 0.1L);
    t.SetFloat(0, 2, 0.25L);
    t.GetBool(0, 2, b);
    EXPECT_TRUE(b);

    t.SetString(0, 3, "1.5");
    t.GetFloat(0, 3, f);
    EXPECT_EQ(f, 1.5L);
    t.SetString(0, 3, "x1");
    EXPECT_THROW(t.GetFloat(0, 3, f), EConvertError);
    t.SetString(0, 3, "TRUE");  // cut to "TRU"
    t.GetBool(0, 3, b);
    EXPECT_FALSE(b);
    t.SetBool(0, 3, true);
    t.GetString(0, 3, s);
    EXPECT_EQ(s, "TRU");
    t.SetBool(0, 0, true);
    t.GetString(0, 0, s);
    EXPECT_EQ(s, "1");
    t.GetString(0, 2, s);
    EXPECT_EQ(s, "TRUE");
    t.SetString(0, 2, "true");
    t.GetBool(0, 2, b);
    EXPECT_FALSE(b);

    // Wrong row or column: false and nothing changes.
    EXPECT_FALSE(t.SetInt(1, 0, 9));
    EXPECT_FALSE(t.SetInt(0, 4, 9));
    EXPECT_FALSE(t.GetInt(-1, 0, i));
    t.SetRecNo(-1);
    EXPECT_FALSE(t.GetIntByName("i", i));
    t.SetRecNo(0);
    EXPECT_TRUE(t.GetIntByName("I", i));
    EXPECT_EQ(i, 1);
    EXPECT_FALSE(t.SetIntByName("nope", 1));
}

TEST(DBTable, StrictFloatText) {
    TDBTable t("t", 0);
    t.Fields.AddField("s", PT_STR, 40);
    t.Append();
    long double f;
    for (const char* bad : {"", " ", ".", "1e", "1e+", "1,5", "abc", "1x", "inf", "nan", "$10", "0x10", "1e99999", "- 1"}) {
        t.SetString(0, 0, bad);
        EXPECT_THROW(t.GetFloat(0, 0, f), EConvertError) << bad;
    }
    for (const char* tiny : {"1e-99999", "0.0001e-99999", "-12e-5000"}) {
        t.SetString(0, 0, tiny);
        EXPECT_TRUE(t.GetFloat(0, 0, f));
        EXPECT_EQ(f, 0.0L) << tiny;
    }
    for (const char* huge : {"12e5000", "0.01e5000"}) {
        t.SetString(0, 0, huge);
        EXPECT_THROW(t.GetFloat(0, 0, f), EConvertError) << huge;
    }
}

TEST(DBTable, FloatTextAgainstFreePascal) {
    // tests/data/dbtable/float_text.txt is written by float_text.pas (Free
    // Pascal, Delphi mode): FloatToStr of extended values and StrToFloat of texts.
    // The table writes real cells with the engine's general format.
    std::ifstream in(std::string(VORQ_TEST_DATA) + "/dbtable/float_text.txt");
    TDBTable t("t", 0);
    t.Fields.AddField("f", PT_FLOAT, 0);
    t.Fields.AddField("s", PT_STR, 40);
    t.Append();
    std::string line;
    int formatted = 0, parsed = 0;
    while (std::getline(in, line)) {
        if (line.rfind("P ", 0) == 0) {
            const size_t sp = line.rfind(' ');
            const std::string text = line.substr(2, sp - 2), bytes = from_hex(line.substr(sp + 1));
            t.SetString(0, 1, text);
            long double f = 0;
            ASSERT_TRUE(t.GetFloat(0, 1, f));
            EXPECT_EQ(f, LoadExtended(bytes.data())) << text;
            ++parsed;
        } else {
            const size_t sp = line.find(' ');
            const std::string bytes = from_hex(line.substr(0, sp));
            t.SetFloat(0, 0, LoadExtended(bytes.data()));
            std::string s;
            t.GetString(0, 0, s);
            EXPECT_EQ(s, PlayerGeneralFromFpc(line.substr(sp + 1))) << line;
            ++formatted;
        }
    }
    EXPECT_EQ(formatted, 331);
    EXPECT_EQ(parsed, 15);
}

TEST(DBTable, RowMovesAndDelete) {
    TDBTable t("people", 0);
    fill_people(t);
    EXPECT_EQ(t.RecNo(), 3);
    EXPECT_FALSE(t.Next());
    EXPECT_TRUE(t.Prior());
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_TRUE(t.First());
    EXPECT_FALSE(t.Prior());
    EXPECT_FALSE(t.SetRecNo(4));
    EXPECT_FALSE(t.SetRecNo(-2));
    EXPECT_TRUE(t.SetRecNo(3));
    t.Delete();  // the last row: the new last becomes current
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(t.RecNo(), 2);
    t.SetRecNo(0);
    t.Delete();  // later rows move up, the index stays
    EXPECT_EQ(t.RecNo(), 0);
    EXPECT_EQ(column_texts(t, 1), (std::vector<std::string>{"Alice", "bob"}));
    t.SetRecNo(-1);
    t.Delete();  // no current row: nothing happens
    EXPECT_EQ(t.RecordCount(), 2);
    t.SetRecNo(1);
    t.Delete();
    t.Delete();
    EXPECT_EQ(t.RecNo(), -1);
    EXPECT_FALSE(t.First());
}

TEST(DBTable, AddAndDeleteColumnsKeepRows) {
    TDBTable t("people", 0);
    fill_people(t);
    ASSERT_EQ(t.Fields.AddField("extra", PT_INT, 0), 4);
    int32_t v = -1;
    EXPECT_TRUE(t.GetInt(2, 4, v));
    EXPECT_EQ(v, 0);
    t.SetInt(2, 4, 99);
    ASSERT_TRUE(t.Fields.Delete(1));
    EXPECT_EQ(t.Fields.RecordSize(), 4 + 10 + 1 + 4);
    t.GetInt(2, 3, v);
    EXPECT_EQ(v, 99);
    long double f;
    t.GetFloat(0, 1, f);
    EXPECT_EQ(f, 2.5L);
    EXPECT_EQ(t.Fields.AddField("w", PT_STR, TDBFieldList::MaxStringWidth + 1), -1);
    EXPECT_EQ(t.Fields.AddField("w", PT_STR, -3), 4);  // holds no characters
    EXPECT_EQ(t.Fields.GetField(4)->Size, 1);
}

TEST(DBTable, Search) {
    TDBTable t("people", 0);
    fill_people(t);
    TIntList rows;
    t.Search(rows, {{"id"}, {TDBValue::OfInt(1)}});
    EXPECT_EQ(to_vec(rows), (std::vector<int32_t>{1, 3}));

    rows.Clear();
    t.Search(rows, {{"id", "ok"}, {TDBValue::OfInt(1), TDBValue::OfBool(true)}});
    EXPECT_EQ(to_vec(rows), (std::vector<int32_t>{3}));

    rows.Clear();
    t.Search(rows, {{"name"}, {TDBValue::OfStr("alice")}});
    EXPECT_EQ(rows.Count(), 0);
    t.Search(rows, {{"name"}, {TDBValue::OfStr("alice")}, false, true});
    EXPECT_EQ(to_vec(rows), (std::vector<int32_t>{1}));

    // Partial: the cell's text must occur inside the key's text.
    rows.Clear();
    t.Search(rows, {{"name"}, {TDBValue::OfStr("bobby and carol")}, true, false});
    EXPECT_EQ(to_vec(rows), (std::vector<int32_t>{0, 2}));
    rows.Clear();
    t.Search(rows, {{"name"}, {TDBValue::OfStr("ALICE!")}, true, true});
    EXPECT_EQ(to_vec(rows), (std::vector<int32_t>{1}));

    // Float key against a float column, and the shorter of the lists.
    rows.Clear();
    t.Search(rows, {{"score", "id"}, {TDBValue::OfFloat(-1)}});
    EXPECT_EQ(to_vec(rows), (std::vector<int32_t>{2}));

    // No keys: every row. An unknown column ends the search.
    rows.Clear();
    t.Search(rows, {});
    EXPECT_EQ(rows.Count(), 4);
    rows.Clear();
    t.Search(rows, {{"nope"}, {TDBValue::OfInt(1)}});
    EXPECT_EQ(rows.Count(), 0);
    // ... at the first row that gets as far as the unknown key.
    rows.Clear();
    t.Search(rows, {{"ok", "nope"}, {TDBValue::OfBool(false), TDBValue::OfInt(1)}});
    EXPECT_EQ(rows.Count(), 0);
}

TEST(DBTable, SortByIntDescendingThenText) {
    TDBTable t("people", 0);
    fill_people(t);
    t.SetRecNo(1);
    t.Sort({"id", "missing", "name"}, {true, false, false});
    EXPECT_EQ(column_texts(t, 1), (std::vector<std::string>{"carol", "bob", "Alice", "dave"}));
    EXPECT_EQ(t.RecNo(), 1);  // index kept, not the row
    t.Sort({"score"}, {false});
    EXPECT_EQ(column_texts(t, 1), (std::vector<std::string>{"bob", "carol", "dave", "Alice"}));
    // Byte order of text: upper case first.
    t.Sort({"name"}, {});
    EXPECT_EQ(column_texts(t, 1), (std::vector<std::string>{"Alice", "bob", "carol", "dave"}));
    // Equal keys come out as the platform list's quicksort leaves them:
    // three equal rows end reversed.
    TDBTable e("e", 0);
    e.LoadFromText({"k int\tv", "1\ta", "1\tb", "1\tc"});
    e.Sort({"k"}, {false});
    EXPECT_EQ(column_texts(e, 1), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(DBTable, StreamRoundTripAndCorruptData) {
    TDBTable t("people", 0);
    fill_people(t);
    t.SetRecNo(2);
    TMemoryStream m;
    t.SaveToStream(m);
    m.SetPosition(0);
    TDBTable u("", 1);
    u.LoadFromStream(m);
    EXPECT_EQ(u.Name, "people");
    EXPECT_EQ(u.Kind, 0);
    EXPECT_EQ(u.RecNo(), 2);
    EXPECT_TRUE(u.Fields.IsSameLayout(t.Fields));
    EXPECT_EQ(column_texts(u, 2), column_texts(t, 2));
    EXPECT_EQ(m.GetPosition(), m.GetSize());

    // Every truncation raises a clear error and leaves the table as it was.
    const std::string whole(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
    for (size_t n = 0; n < whole.size(); ++n) {
        TMemoryStream part;
        part.WriteBuffer(whole.data(), static_cast<int64_t>(n));
        part.SetPosition(0);
        EXPECT_THROW(u.LoadFromStream(part), ECorruptData) << n;
    }
    EXPECT_EQ(u.RecordCount(), 4);

    auto corrupt = [&](size_t at, uint32_t value) {
        std::string bad = whole;
        std::memcpy(&bad[at], &value, 4);
        TMemoryStream s;
        s.WriteBuffer(bad.data(), static_cast<int64_t>(bad.size()));
        s.SetPosition(0);
        return s;
    };
    const size_t fields_at = 4 + 6 + 1;
    {
        auto s = corrupt(fields_at, 0x7FFFFFFF);  // column count
        EXPECT_THROW(u.LoadFromStream(s), ECorruptData);
    }
    {
        auto s = corrupt(fields_at + 4, 7);  // int column of size 7
        EXPECT_THROW(u.LoadFromStream(s), ECorruptData);
    }
    {
        auto s = corrupt(whole.size() - 4, 4);  // current row beyond the rows
        EXPECT_THROW(u.LoadFromStream(s), ECorruptData);
    }
}

TEST(DBManager, TablesAndSelection) {
    TDBManager m;
    EXPECT_EQ(m.AddTable("A", 0), 0);
    EXPECT_EQ(m.AddTable("b", 0), 1);
    EXPECT_EQ(m.AddTable("a", 0), -1);
    EXPECT_EQ(m.AddTable("", 0), -1);
    EXPECT_EQ(m.GetCurrent()->Name, "b");
    EXPECT_TRUE(m.Select("A"));
    EXPECT_FALSE(m.Select("zz"));
    EXPECT_EQ(m.GetCurrent()->Name, "A");
    EXPECT_TRUE(m.DeleteTable("B"));
    EXPECT_EQ(m.GetCurrent()->Name, "A");
    EXPECT_EQ(m.CurrentIndex(), 0);
    EXPECT_TRUE(m.DeleteTable("a"));
    EXPECT_EQ(m.GetCurrent(), nullptr);
    EXPECT_FALSE(m.DeleteTable("a"));
}

TEST(DBManager, CellsByKeyAndRowCopies) {
    TDBManager m;
    m.AddTable("src", 0);
    m.GetCurrent()->LoadFromText({"id int\tname string 8", "1\tx", "2\ty", "3\tz"});
    const TDBSearchKeys by2{{"id"}, {TDBValue::OfInt(2)}};
    EXPECT_EQ(m.GetStringValue("SRC", by2, "name", "dflt"), "y");
    EXPECT_EQ(m.GetStringValue("src", by2, "nope", "dflt"), "dflt");
    EXPECT_EQ(m.GetIntValue("src", {{"id"}, {TDBValue::OfInt(9)}}, "id", -5), -5);
    EXPECT_EQ(m.GetIntValue("none", by2, "id", -5), -5);
    EXPECT_TRUE(m.SetStringValue("src", by2, "name", "yy"));
    EXPECT_FALSE(m.SetBoolValue("src", by2, "nope", true));
    EXPECT_EQ(m.GetStringValue("src", by2, "name", ""), "yy");
    EXPECT_EQ(m.GetFloatValue("src", by2, "id", 0), 2.0L);
    EXPECT_TRUE(m.GetBoolValue("src", by2, "id", false));

    m.AddTable("dst", 0);
    EXPECT_FALSE(m.CopyRowsTo("dst", ints({0})));  // dst is current
    m.Select("src");
    EXPECT_TRUE(m.CopyRowsTo("dst", ints({2, 0, 17, -1})));
    TDBTable* dst = m.GetTable(m.IndexOf("dst"));
    EXPECT_EQ(column_texts(*dst, 1), (std::vector<std::string>{"z", "x"}));
    EXPECT_TRUE(dst->Fields.IsSameLayout(m.GetCurrent()->Fields));

    EXPECT_TRUE(m.AppendRowsFrom("dst", ints({1})));
    EXPECT_EQ(column_texts(*m.GetCurrent(), 1), (std::vector<std::string>{"x", "yy", "z", "x"}));
    EXPECT_TRUE(m.AppendRowsFrom("src", ints({0, 1})));  // a table's own rows
    EXPECT_EQ(m.GetCurrent()->RecordCount(), 6);
    EXPECT_EQ(m.GetCurrent()->RecNo(), 5);

    m.AddTable("other", 0);
    m.GetCurrent()->LoadFromText({"id int\tname string 9"});
    EXPECT_FALSE(m.AppendRowsFrom("src", ints({0})));  // another width
    EXPECT_FALSE(m.AppendRowsFrom("none", ints({0})));
}

TEST(DBManager, SaveByKindKeepsTheOtherKind) {
    TDBManager m;
    for (const char* n : {"g1", "g2"}) {
        m.AddTable(n, 0);
        m.GetCurrent()->LoadFromText({"v int", "1"});
    }
    m.AddTable("status", 1);
    m.GetCurrent()->LoadFromText({"v int", "42"});
    m.AddTable("g3", 0);
    m.Select("g2");

    TMemoryStream s;
    m.SaveToStream(s, 0);
    s.SetPosition(0);
    EXPECT_EQ(ReadStreamInteger(s), 100);
    EXPECT_EQ(ReadStreamInteger(s), 3);
    s.SetPosition(s.GetSize() - 6);
    EXPECT_EQ(ReadStreamString(s), "g2");

    TDBManager n;
    n.AddTable("status", 1);
    n.GetCurrent()->LoadFromText({"v int", "7"});
    n.AddTable("old", 0);
    s.SetPosition(0);
    n.LoadFromStream(s, 0);
    EXPECT_EQ(n.Count(), 4);
    EXPECT_EQ(n.IndexOf("old"), -1);
    EXPECT_EQ(n.GetCurrent()->Name, "g2");
    EXPECT_EQ(n.GetIntValue("status", {}, "v", 0), 7);
    EXPECT_EQ(n.GetIntValue("g1", {}, "v", 0), 1);

    // A save made with no current table loads with none.
    m.Select("status");
    m.DeleteTable("status");
    TMemoryStream s2;
    m.SaveToStream(s2, 0);
    s2.SetPosition(0);
    n.LoadFromStream(s2, 0);
    EXPECT_EQ(n.GetCurrent(), nullptr);

    // Bad data leaves every table as it was.
    TMemoryStream bad;
    WriteStreamInteger(bad, 100);
    WriteStreamInteger(bad, 1000000);
    bad.SetPosition(0);
    EXPECT_THROW(n.LoadFromStream(bad, 0), ECorruptData);
    EXPECT_EQ(n.Count(), 4);
    TMemoryStream wrong;
    WriteStreamInteger(wrong, 101);
    wrong.SetPosition(0);
    EXPECT_THROW(n.LoadFromStream(wrong, 0), ECorruptData);

    n.ClearGameTables();
    EXPECT_EQ(n.Count(), 1);
    EXPECT_EQ(n.GetCurrent(), nullptr);
}

TEST(DBManagerFuzzFindings, RowsOfNoColumnsAreBoundedByTheStream) {
    // Tables of no columns claiming 16 M rows each, from 157 bytes (its first
    // byte chose the table kind).
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/fuzz-findings/dbtable-1.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 157u);
    TMemoryStream s;
    s.WriteBuffer(bytes.data() + 1, static_cast<int64_t>(bytes.size() - 1));
    s.SetPosition(0);
    TDBManager m;
    try {
        m.LoadFromStream(s, static_cast<uint8_t>(bytes[0]));
        FAIL() << "accepted";
    } catch (const ECorruptData& e) {
        EXPECT_NE(e.Message().find("(row count)"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(m.Count(), 0);

    // A table of no columns keeps rows the stream holds a byte for.
    TDBManager small;
    small.AddTable("empty", 0);
    for (int i = 0; i < 3; ++i) small.GetCurrent()->Append();
    TMemoryStream out;
    small.SaveToStream(out, 0);
    out.WriteBuffer("xxx", 3);  // what follows in a save
    out.SetPosition(0);
    TDBManager back;
    back.LoadFromStream(out, 0);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.GetTable(0)->RecordCount(), 3);
}

TEST(DBManagerFuzzFindings, ColumnsOfUnknownKindOrWrongSizeAreRefused) {
    // A table with a column of kind 9 and size -1, read alone; seven tables
    // whose columns of unknown kind sum to a negative record.
    const std::string dir = std::string(VORQ_TEST_DATA) + "/fuzz-findings/";
    for (const char* file : {"dbtable-bad-column.bin", "dbtable-negative-record.bin"}) {
        SCOPED_TRACE(file);
        const std::string bytes = ReadFileBytes(dir + file);
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        s.SetPosition(0);
        TDBTable t("", 0);
        TDBManager m;
        if (bytes[0] == 100) EXPECT_THROW(m.LoadFromStream(s, 1), ECorruptData);
        else EXPECT_THROW(t.LoadFromStream(s), ECorruptData);
        EXPECT_EQ(m.Count(), 0);
    }
    // Each kind with a size other than its own, and an unknown kind with the
    // size unknown kinds would get.
    const std::pair<uint8_t, int32_t> bad[] = {{PT_INT, 1}, {PT_FLOAT, 4}, {PT_BOOL, 4}, {PT_STR, 0}, {9, -1}, {9, 4}};
    for (const auto& [kind, size] : bad) {
        TMemoryStream s;
        WriteStreamInteger(s, 1);
        WriteStreamInteger(s, size);
        WriteStreamString(s, "c");
        WriteStreamByte(s, kind);
        s.SetPosition(0);
        TDBFieldList f(nullptr);
        EXPECT_THROW(f.LoadFromStream(s), ECorruptData) << int(kind) << " " << size;
    }
}
