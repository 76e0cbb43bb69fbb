// Loading scenario pages: the file layout, the mask block, the records of
// all 61 command kinds with their version gates, and refusal of truncated
// or corrupt data.
#include "engine/commands.h"
#include "script/game_clock.h"
#include "engine/page.h"
#include "engine/scenario_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "platform/text/codepage.h"
#include "platform/system/trace.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void load(TPage& page, const std::string& bytes, const std::string& name = "p.vsb") {
    TMemoryStream m = StreamOf(bytes);
    page.LoadFromStream(m, name);
}

std::string u32(uint32_t v) { return RecU32(v); }

// The record of each kind after the common header as the editor stores it
// in a page of that version; the expressions are trivial ("1"), the lists
// hold two entries so that their counts are exercised.
std::string record_of(uint8_t op, uint32_t version) {
    const std::string e = RecExpr("1");
    const std::string two = u32(2) + e + e;
    switch (op) {
    case opIf: case opElseif: case opExit: case opCalc: case opWhileInit: case opObjDel: case opGameLoad:
    case opTextClr: case opEntryHist: case opMediaPlay: case opMenuClose:
        return e;
    case opElse: case opTerminate: case opDoEvent: case opClrHist: case opClrRead:
        return {};
    case opLabel: case opComment: case opVarDel: return RecString("name");
    case opJump: return RecString("a.vsb") + u32(3) + e;
    case opCall: return RecString("a.vsb") + u32(3) + RecString("r") + e + two;
    case opWait: return e + e + (version >= 107 ? e : "");
    case opBreak: case opContinue: return e + u32(uint32_t(-1));
    case opWhile: case opWhileLoop: return e + u32(5);
    case opVarNew: return RecString("v") + RecU8(1) + e + RecU8(2);
    case opPCReset: case opReset: return RecString("a.vsb") + RecU8(1) + u32(4);
    case opGetProp: return e + e + RecString("v");
    case opSetProp: return e + e + e;
    case opFlip: return e + e + e + e + two + e + e + e + (version >= 101 ? e : "") + (version >= 107 ? e : "");
    case opTextIns: return u32(5) + "hello" + e + e + e + (version >= 107 ? e : "");
    case opMovieStop: return e + e + e + (version >= 107 ? e : "");
    case opCallHist: return e + e + e + e;
    case opPropMotion: return e + e + e + e + e + e + (version >= 108 ? e : "");
    case opGameSave: return e + RecString("resume.vsb") + (version >= 105 ? u32(7) : "") + e;
    case opCabinetSave: case opCabinetLoad: return e + two;  // no masked properties: mode, names
    default: return {};  // display-object commands with an empty mask
    }
}

// A page holding one command of every kind, each followed by a label whose
// text proves that the record before it was read to its last byte.
std::string all_kinds_page(uint32_t version) {
    TPageWriter w(version);
    for (int op = 0; op < kOpcodeCount; ++op) {
        w.Add(static_cast<uint8_t>(op), record_of(static_cast<uint8_t>(op), version));
        w.Label("after" + std::to_string(op));
    }
    return w.Bytes();
}

}  // namespace

TEST(PageFile, HandAssembledPageLoads) {
    // Version 103, result type 4, no masks, two commands: a label and the
    // statement x = 5 assembled by hand (ocTo into "x", one integer operand).
    std::string b;
    b += u32(103) + RecU8(4) + u32(0) + u32(21) + u32(2);
    b += RecU8(opLabel) + u32(1) + RecU8(0) + RecU8(1) + u32(10) + u32(5) + "start";
    b += RecU8(opCalc) + u32(2) + RecU8(1) + RecU8(0) + u32(11);
    b += u32(1) + RecU8(1) + u32(1) + "x" + u32(1) + RecU8(1) + u32(5);
    TPage page;
    load(page, b, "hand.vsb");
    EXPECT_EQ(page.FormatVersion, 103u);
    EXPECT_EQ(page.ResultType, 4);
    ASSERT_EQ(page.Count(), 2);
    auto* label = dynamic_cast<TComLabel*>(page.GetItem(0));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Text, "start");
    EXPECT_EQ(label->Indent, 1u);
    EXPECT_TRUE(label->GetContinue());
    EXPECT_EQ(label->Line, 10u);
    auto* calc = dynamic_cast<TComCalc*>(page.GetItem(1));
    ASSERT_NE(calc, nullptr);
    EXPECT_TRUE(calc->GetSkip());
    EXPECT_EQ(calc->Line, 11u);
    ASSERT_EQ(calc->Statement->Count(), 1);
    EXPECT_EQ(calc->Statement->Get(0)->dest, "x");
    EXPECT_EQ(page.IndexOfLabel("start"), 0);
    EXPECT_EQ(page.IndexOfLabel("Start"), -1);  // labels match exactly
    EXPECT_EQ(page.IndexOfCommand(calc), 1);
    // The writer produces the same bytes for the same commands.
    TPageWriter w(103, 4);
    w.MaskCount = 0;
    w.Indent = 1;
    w.Line = 10;
    w.Label("start");
    w.Indent = 2;
    w.Skip = true;
    w.ContinueFlag = false;
    w.Line = 11;
    w.Calc("x = 5");
    EXPECT_EQ(w.Bytes(), b);
}

TEST(PageFile, EveryKindLoadsItsRecordInStep) {
    for (uint32_t version : {103u, 104u, 105u, 106u, 107u, 108u, 109u}) {
        SCOPED_TRACE(version);
        const std::string bytes = all_kinds_page(version);
        TMemoryStream m = StreamOf(bytes);
        TPage page;
        page.LoadFromStream(m, "all.vsb");
        EXPECT_EQ(m.GetPosition(), m.GetSize());
        ASSERT_EQ(page.Count(), 2 * kOpcodeCount);
        for (int op = 0; op < kOpcodeCount; ++op) {
            EXPECT_EQ(page.GetItem(2 * op)->GetOpcode(), op);
            auto* after = dynamic_cast<TComLabel*>(page.GetItem(2 * op + 1));
            ASSERT_NE(after, nullptr) << OpcodeName(static_cast<uint8_t>(op));
            EXPECT_EQ(after->Text, "after" + std::to_string(op));
        }
    }
}

TEST(PageFile, RecordFieldsAndGates) {
    TPage page;
    load(page, all_kinds_page(104));
    auto* call = dynamic_cast<TComCall*>(page.GetItem(2 * opCall));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->PageName, "a.vsb");
    EXPECT_EQ(call->Target, 3u);
    EXPECT_EQ(call->ResultName, "r");
    EXPECT_EQ(call->Args.size(), 2u);
    auto* wait = dynamic_cast<TComWait*>(page.GetItem(2 * opWait));
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->EventBlock, nullptr);  // before version 107
    auto* save = dynamic_cast<TComGameSave*>(page.GetItem(2 * opGameSave));
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->ResumePage, "resume.vsb");
    EXPECT_EQ(save->ResumePC, 0u);  // before version 105
    auto* brk = dynamic_cast<TComBreak*>(page.GetItem(2 * opBreak));
    ASSERT_NE(brk, nullptr);
    EXPECT_EQ(brk->Target, -1);
    auto* text = dynamic_cast<TComTextIns*>(page.GetItem(2 * opTextIns));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Text, "hello");

    TPage page109;
    load(page109, all_kinds_page(109));
    auto* save109 = dynamic_cast<TComGameSave*>(page109.GetItem(2 * opGameSave));
    ASSERT_NE(save109, nullptr);
    EXPECT_EQ(save109->ResumePC, 7u);
    EXPECT_NE(dynamic_cast<TComWait*>(page109.GetItem(2 * opWait))->EventBlock, nullptr);
    EXPECT_NE(dynamic_cast<TComPropMotion*>(page109.GetItem(2 * opPropMotion))->Paused, nullptr);
    auto* flip = dynamic_cast<TComFlip*>(page109.GetItem(2 * opFlip));
    ASSERT_NE(flip, nullptr);
    EXPECT_EQ(flip->NameList.size(), 2u);
}

TEST(PageFile, FixedFlagsOfKinds) {
    TPage page;
    load(page, all_kinds_page(109));
    auto cmd = [&](uint8_t op) { return page.GetItem(2 * op); };
    EXPECT_TRUE(cmd(opElse)->GetContinue());
    EXPECT_TRUE(cmd(opWhileInit)->GetContinue());
    EXPECT_FALSE(cmd(opComment)->GetContinue());
    EXPECT_TRUE(cmd(opComment)->GetSkip());
    EXPECT_FALSE(cmd(opDoEvent)->GetContinue());
    EXPECT_TRUE(cmd(opDoEvent)->IsWaiting());
    EXPECT_FALSE(cmd(opGameSave)->GetContinue());
    EXPECT_FALSE(cmd(opGameLoad)->GetContinue());
    EXPECT_TRUE(cmd(opWait)->IsWaiting());
    EXPECT_TRUE(cmd(opComment)->MatchLabel("name"));
    EXPECT_FALSE(cmd(opVarDel)->MatchLabel("name"));
}

TEST(PageFile, MaskBlock) {
    // Masks longer than 21 bytes and more of them than a command byte can
    // name: only the known part counts. BoxNew stores ids 0 and 160; ImgNew
    // nothing.
    TPageWriter w(109);
    w.MaskCount = 200;
    w.MaskSize = 25;
    w.SetMask(opBoxNew, 0);
    w.SetMask(opBoxNew, 160);
    w.Component(opBoxNew, {{0, "\"box\""}, {160, "7"}, {5, "1"}});
    w.Component(opImgNew, {{0, "\"img\""}});
    w.Label("end");
    TPage page;
    load(page, w.Bytes());
    ASSERT_EQ(page.Count(), 3);
    EXPECT_TRUE(page.MaskBit(opBoxNew, 160));
    EXPECT_FALSE(page.MaskBit(opBoxNew, 5));
    auto* box = dynamic_cast<TComComponent*>(page.GetItem(0));
    ASSERT_NE(box, nullptr);
    EXPECT_NE(box->Property(0), nullptr);
    EXPECT_NE(box->Property(160), nullptr);
    EXPECT_EQ(box->Property(5), nullptr);
    auto* img = dynamic_cast<TComComponent*>(page.GetItem(1));
    for (int id = 0; id < kPropertyCount; ++id) EXPECT_EQ(img->Property(id), nullptr);
    EXPECT_EQ(dynamic_cast<TComLabel*>(page.GetItem(2))->Text, "end");

    // Short masks keep their stored bytes and leave the rest empty.
    TPageWriter shortw(109);
    shortw.MaskSize = 1;
    shortw.SetMask(opBoxNew, 3);
    shortw.SetMask(opBoxNew, 9);  // beyond the stored byte: not written
    shortw.Component(opBoxNew, {});
    TPage short_page;
    load(short_page, shortw.Bytes());
    EXPECT_TRUE(short_page.MaskBit(opBoxNew, 3));
    EXPECT_FALSE(short_page.MaskBit(opBoxNew, 9));
}

TEST(PageFile, VersionGates) {
    Terminating = false;
    TPageWriter newer(110);
    newer.Label("x");
    TPage page;
    load(page, newer.Bytes());
    EXPECT_EQ(page.Count(), 0);  // too new: an empty page, silently
    EXPECT_FALSE(Terminating);

    TPageWriter older(102);
    older.Label("x");
    TPage old_page;
    load(old_page, older.Bytes(), "old.vsb");
    EXPECT_EQ(old_page.Count(), 0);
    EXPECT_TRUE(Terminating);  // "リビルドしてください": the player stops
    Terminating = false;

    TPage fresh;  // a page never loaded
    EXPECT_EQ(fresh.FormatVersion, 104u);
    EXPECT_EQ(fresh.ResultType, 1);
}

TEST(PageFile, OpcodeSelection) {
    // The low 7 bits select the kind; 61 to 127 are refused.
    TPageWriter w(109);
    w.Add(128 + opLabel, RecString("hi"));
    TPage page;
    load(page, w.Bytes());
    ASSERT_EQ(page.Count(), 1);
    EXPECT_EQ(page.GetItem(0)->GetOpcode(), opLabel);

    TPageWriter bad(109);
    bad.Label("a");
    bad.Add(61, {});
    TPage bad_page;
    try {
        load(bad_page, bad.Bytes());
        FAIL() << "no error";
    } catch (const ECorruptData&) {
        FAIL() << "an unknown opcode is not corruption";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), Sjis("不正なコマンド"));
    }
    EXPECT_EQ(bad_page.Count(), 0);
}

TEST(PageFile, TruncatedPagesRaiseCorruptData) {
    const std::string full = all_kinds_page(109);
    for (size_t n = 0; n < full.size(); ++n) {
        TPage page;
        EXPECT_THROW(load(page, full.substr(0, n)), ECorruptData) << n;
        EXPECT_EQ(page.Count(), 0);
    }
}

TEST(PageFile, HugeCountsAndLengthsAreRefused) {
    const std::string head = u32(109) + RecU8(1);
    TPage page;
    // Mask block claiming 4 G x 4 G bytes.
    EXPECT_THROW(load(page, head + u32(0xFFFFFFFF) + u32(0xFFFFFFFF) + u32(0)), ECorruptData);
    // A command count far beyond the bytes.
    EXPECT_THROW(load(page, head + u32(0) + u32(21) + u32(0x7FFFFFFF)), ECorruptData);
    // A label length beyond the bytes.
    EXPECT_THROW(load(page, head + u32(0) + u32(21) + u32(1) + RecU8(opLabel) + std::string(10, '\0') +
                                u32(0xFFFFFFF0) + "ab"),
                 ECorruptData);
    // An argument count beyond the bytes.
    EXPECT_THROW(load(page, head + u32(0) + u32(21) + u32(1) + RecU8(opCall) + std::string(10, '\0') +
                                RecString("a") + u32(0) + RecString("") + RecExpr("1") + u32(0x40000000)),
                 ECorruptData);
}

TEST(PageFile, MaskBlockBounds) {
    // Any number of masks of any size loads while the bytes that follow
    // hold them; masks of no bytes read nothing, however many. The refused
    // ones name the field at fault.
    struct Case {
        uint32_t count, size;
        size_t bytes;  // mask bytes actually present
        const char* refused;  // field named in the message, or null
    };
    const Case cases[] = {
        {0, 0, 0, nullptr},           // no masks at all
        {0, 21, 0, nullptr},
        {61, 21, 61 * 21, nullptr},
        {128, 1, 128, nullptr},
        {129, 1, 129, nullptr},       // more than a command byte can name
        {300, 40, 300 * 40, nullptr},
        {1, 0, 0, nullptr},           // masks of no bytes
        {0xFFFFFFFF, 0, 0, nullptr},
        {0xFFFFFFFF, 1, 64, "mask count"},
        {2, 21, 37, "mask count"},    // a byte short, counting the command count after it
        {1, 0xFFFFFFFF, 64, "mask count"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " x " << c.size);
        const std::string bytes = u32(109) + RecU8(1) + u32(c.count) + u32(c.size) + std::string(c.bytes, '\0') + u32(0);
        TPage page;
        if (!c.refused) {
            EXPECT_NO_THROW(load(page, bytes));
            continue;
        }
        try {
            load(page, bytes, "m.vsb");
            ADD_FAILURE() << "loaded";
        } catch (const ECorruptData& e) {
            EXPECT_EQ(e.Message(), Sjis("ページファイルが壊れています") + ": m.vsb (" + c.refused + ")");
        }
    }
}

TEST(PageFile, FuzzFindingsAreRefused) {
    // Masks of no bytes claiming four billion entries: nothing to read, the
    // page loads at once without commands.
    const std::string bytes = ReadFileBytes(std::string(VORQ_TEST_DATA) + "/fuzz-findings/page-1.bin");
    ASSERT_EQ(bytes.size(), 17u);
    TPage page;
    EXPECT_NO_THROW(load(page, bytes));
    EXPECT_EQ(page.Count(), 0);
}

TEST(PageFile, StateTag) {
    TMemoryStream m;
    WriteStateTag(m);
    m.WriteBuffer("abc", 3);
    m.SetPosition(0);
    EXPECT_EQ(ReadStateVersion(m), 100);
    EXPECT_EQ(m.GetPosition(), 7);

    TMemoryStream old = StreamOf(std::string("\x05\0\0\0", 4));
    EXPECT_EQ(ReadStateVersion(old), 0);
    EXPECT_EQ(old.GetPosition(), 0);  // untagged: read again from the start

    TMemoryStream odd = StreamOf("vorqabcX");
    EXPECT_EQ(ReadStateVersion(odd), 0);
    EXPECT_EQ(odd.GetPosition(), 7);

    TMemoryStream short_tag = StreamOf("vorq1");
    EXPECT_EQ(ReadStateVersion(short_tag), 0);
    EXPECT_EQ(short_tag.GetPosition(), 0);
}

TEST(PageFile, TraceLineFormats) {
    EXPECT_EQ(CommandTraceLine(0x1234abcd, "main.vsb", 7), "1234abcd : main.vsb(7)");
    EXPECT_EQ(EventTraceLine(0x10, "btn.vsb", 12), "00000010 : <Event>btn.vsb(12)");
}

TEST(PageFile, DamagedBytesNeverCrash) {
    // Each byte of a page set to 0xFF or 0x7F in turn: the page loads or
    // raises one of our exceptions; nothing else may happen.
    const std::string full = all_kinds_page(109);
    for (size_t i = 0; i < full.size(); ++i) {
        for (char v : {'\xFF', '\x7F'}) {
            std::string bytes = full;
            bytes[i] = v;
            TPage page;
            try {
                load(page, bytes);
            } catch (const Exception&) {
                EXPECT_EQ(page.Count(), 0);
            }
        }
    }
}
