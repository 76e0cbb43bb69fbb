// Control-flow and variable commands: branches by indentation, loops with
// precomputed targets, labels, jumps, calls and returns, waits, expression
// statements, variables, object deletion, resets and the end of play.
#include "engine/commands_flow.h"

#include "engine/call_man.h"
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "objects/scene/scene.h"
#include "files/db_table.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"

namespace {

// Passes over the block of a command: the run after pc whose indent is greater.
void skip_block(const TPage& page, uint32_t indent, int32_t& pc) {
    const int32_t n = page.Count();
    while (pc < n && page.GetItem(pc)->Indent > indent) ++pc;
}

}  // namespace

// ---- branches ---------------------------------------------------------------

void TComIf::ReadFields(FieldReader& r) { Condition = ReadExprField(r, "condition"); }

void TComIf::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    if (ExprIsTrue(Condition.get())) return;
    const int32_t n = Page->Count();
    while (pc < n) {
        TCommand* c = Page->GetItem(pc);
        if (c->Indent > Indent) {
            ++pc;
            continue;
        }
        if (c->Indent < Indent) return;
        const uint8_t op = c->GetOpcode();
        if (op == opElseif) {
            ++pc;
            if (ExprIsTrue(static_cast<TComElseif*>(c)->Condition.get())) return;
            continue;
        }
        if (op == opElse) ++pc;
        return;
    }
}

// Reached by running off the end of the previous branch: the block is skipped.
void TComElseif::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    skip_block(*Page, Indent, pc);
}

void TComElse::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    skip_block(*Page, Indent, pc);
}

void TComLabel::ReadFields(FieldReader& r) { Text = r.String("label text"); }

// ---- jumps, calls and returns -------------------------------------------------

void TComJump::ReadFields(FieldReader& r) {
    PageName = r.String("page name");
    Target = r.U32("target");
    Condition = ReadExprField(r, "condition");
}

void TComJump::Execute(TCallMan& cm, TPage*& page, int32_t& pc) {
    ++pc;
    if (!ExprIsTrue(Condition.get()) || !ProjectFileExists(PageName)) return;
    page = cm.GetPage(PageName, true);
    pc = static_cast<int32_t>(Target);
}

void TComCall::ReadFields(FieldReader& r) {
    PageName = r.String("page name");
    Target = r.U32("target");
    ResultName = r.String("result variable");
    Condition = ReadExprField(r, "condition");
    Args = ReadExprListField(r, "arguments");
}

void TComCall::Execute(TCallMan& cm, TPage*& page, int32_t& pc) {
    ++pc;
    if (!ExprIsTrue(Condition.get()) || !ProjectFileExists(PageName)) return;
    TArrayString args;
    for (auto& a : Args)
        if (TCustomParam* r = EvalExpr(a.get())) args.Add(r->GetAsString());
    const int32_t return_pc = pc;
    // The callee is loaded before anything changes, so that a page that
    // fails to load leaves the caller as it was.
    TPage* callee = cm.GetPage(PageName, true);
    TStack& f = cm.Stack.Push();
    f.PageName = page->Name;
    f.PC = static_cast<uint32_t>(return_pc);
    f.ResultName = ResultName;
    f.ContinueFlag = cm.ContinueFlag;
    f.EventObject = cm.EventObject;
    f.Locals.Assign(cm.Locals);
    cm.Locals.Assign(args);
    page = callee;
    pc = static_cast<int32_t>(Target);
    if (callee->ResultType >= PT_INT && callee->ResultType <= PT_STR) f.ResultValue = CreateParam(callee->ResultType);
}

void TComExit::ReadFields(FieldReader& r) { Condition = ReadExprField(r, "condition"); }

void TComExit::Execute(TCallMan&, TPage*& page, int32_t& pc) {
    if (ExprIsTrue(Condition.get()))
        page = nullptr;
    else
        ++pc;
}

void TComBreak::ReadFields(FieldReader& r) {
    TComExit::ReadFields(r);
    Target = r.I32("target");
}

void TComBreak::Execute(TCallMan&, TPage*& page, int32_t& pc) {
    if (!ExprIsTrue(Condition.get())) {
        ++pc;
    } else if (Target == -1) {
        page = nullptr;
    } else {
        pc = Target;
    }
}

void TComContinue::Execute(TCallMan&, TPage*& page, int32_t& pc) {
    ++pc;
    if (!ExprIsTrue(Condition.get())) return;
    if (Target == -1)
        page = nullptr;
    else
        pc = Target;
}

// ---- loops --------------------------------------------------------------------

void TComWhile::ReadFields(FieldReader& r) {
    Condition = ReadExprField(r, "condition");
    Target = r.U32("target");
}

void TComWhile::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    if (!ExprIsTrue(Condition.get())) pc = static_cast<int32_t>(Target);
}

void TComWhileInit::ReadFields(FieldReader& r) { Statement = ReadExprField(r, "statement"); }

void TComWhileInit::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    EvalExpr(Statement.get());
}

void TComWhileLoop::ReadFields(FieldReader& r) {
    TComWhileInit::ReadFields(r);
    Target = r.U32("target");
}

void TComWhileLoop::Execute(TCallMan&, TPage*&, int32_t& pc) {
    pc = static_cast<int32_t>(Target);
    EvalExpr(Statement.get());
}

// ---- waits --------------------------------------------------------------------

void TComWait::ReadFields(FieldReader& r) {
    Condition = ReadExprField(r, "condition");
    Time = ReadExprField(r, "time");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
}

void TComWait::Prepare(TCallMan&) {
    Remaining = ExprInt(Time.get(), 0);
    FirstFrame = 1;
    WaitBlocksEvents = ExprBool(EventBlock.get(), false) ? 1 : 0;
}

void TComWait::Execute(TCallMan& cm, TPage*&, int32_t& pc) {
    TCustomParam* r = EvalExpr(Condition.get());
    if (r && !r->GetAsBool()) {
        ++pc;
        return;
    }
    if (Remaining == 0) {
        cm.ContinueFlag = false;
        return;
    }
    if (FirstFrame > 0) {
        --FirstFrame;
        cm.ContinueFlag = false;
        return;
    }
    // The stored arithmetic wraps at 32 bits.
    Remaining = static_cast<int32_t>(static_cast<uint32_t>(Remaining) - FrameTime);
    if (Remaining > 0) {
        cm.ContinueFlag = false;
        return;
    }
    ++pc;
}

void TComWait::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamInteger(m, Remaining);
    WriteStreamInteger(m, FirstFrame);
    WriteStreamByte(m, WaitBlocksEvents);
}

void TComWait::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    FieldReader r(s, CommandStateMessage());
    Remaining = r.I32("remaining time");
    FirstFrame = r.I32("first frame");
    if (v >= 100) WaitBlocksEvents = r.U8("blocks events");
}

// ---- expressions and variables ----------------------------------------------------

void TComCalc::ReadFields(FieldReader& r) { Statement = ReadExprField(r, "statement"); }

void TComCalc::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    EvalExpr(Statement.get());
}

void TComVarNew::ReadFields(FieldReader& r) {
    Name = r.String("name");
    ValueType = r.U8("value type");
    Init = ReadExprField(r, "initial value");
    Scope = r.U8("scope");
}

void TComVarNew::Execute(TCallMan& cm, TPage*&, int32_t& pc) {
    ++pc;
    if (Name.empty()) throw Exception(Sjis("変数名がありません"));
    if (!Params) return;
    TParamCollectionItem* v = Params->FindInFrame(Name, Scope == 2);
    if (!v) {
        // Only the four storable kinds: any other code would make an
        // entry that no operation can read.
        if (ValueType < PT_INT || ValueType > PT_STR) throw Exception(Sjis("変数の型が不正です"));
        v = Params->AddVariable(ValueType);
        try {
            v->SetName(Name);
        } catch (...) {
            Params->Delete(v->GetIndex());
            throw;
        }
        if (Scope == 1 || Scope == 2) v->SetFrameId(cm.Stack.Count());
        if (Scope == 2) v->SetLocal(true);
        if (Scope == 3) v->SetKept(true);
    } else if (v->Kept()) {
        return;  // a status variable keeps its value
    }
    TCustomParam* r = EvalExpr(Init.get());
    if (!r) return;
    switch (v->ParamType()) {
    case PT_INT: v->SetAsInt(r->GetAsInt()); break;
    case PT_FLOAT: v->SetAsFloat(r->GetAsFloat()); break;
    case PT_BOOL: v->SetAsBool(r->GetAsBool()); break;
    case PT_STR: v->SetAsString(r->GetAsString()); break;
    default: break;
    }
}

void TComVarDel::ReadFields(FieldReader& r) { Name = r.String("name"); }

void TComVarDel::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    if (Name.empty() || !Params) return;
    TParamCollectionItem* v = Params->Find(Name);
    // The system variables are the engine's own and must stay.
    if (v && !v->IsSystem()) Params->Delete(v->GetIndex());
}

void TComObjDel::ReadFields(FieldReader& r) { ObjectName = ReadExprField(r, "object name"); }

void TComObjDel::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    const std::string name = ExprText(ObjectName.get());
    if (!name.empty() && Scene) Scene->ScrapObject(name);
}

// ---- resets and the end of play ------------------------------------------------------

void TComPCReset::ReadFields(FieldReader& r) {
    PageName = r.String("page name");
    AllFrames = r.U8("all frames");
    Target = r.U32("target");
}

void TComPCReset::Execute(TCallMan& cm, TPage*& page, int32_t& pc) {
    const int32_t depth = cm.Stack.Count();
    if (AllFrames) {
        if (Params)
            for (int32_t d = 0; d <= depth; ++d) Params->DeleteFrame(d);
        for (int32_t i = depth - 1; i >= 0; --i) {
            TStack& f = cm.Stack.Get(i);
            if (f.EventObject || !f.Prepared || f.PageName.empty()) continue;
            TPage* p = cm.GetPage(f.PageName, false);
            if (f.PC < static_cast<uint32_t>(p->Count())) p->GetItem(static_cast<int32_t>(f.PC))->Cancel();
        }
        cm.Start(PageName);
        pc = static_cast<int32_t>(Target);
        if (Scene) Scene->Events().Clear();
        return;
    }
    if (Params) Params->DeleteFrame(depth);
    int32_t lowest = -1;
    for (int32_t i = 0; i < depth; ++i)
        if (cm.Stack.Get(i).EventObject) {
            lowest = i;
            break;
        }
    if (lowest < 0 && cm.EventObject) lowest = depth;
    bool rewritten = false;
    for (int32_t i = lowest - 1; i >= 0; --i) {
        TStack& f = cm.Stack.Get(i);
        if (f.EventObject) continue;
        if (Params) Params->DeleteFrame(i);
        f.PageName = PageName;
        f.PC = Target;
        f.Prepared = 0;
        f.ResultName.clear();
        f.Locals.Clear();
        f.State.reset();
        ++pc;
        rewritten = true;
        break;
    }
    if (!rewritten) {
        page = cm.GetPage(PageName, true);
        pc = static_cast<int32_t>(Target);
    }
    if (Scene) Scene->Events().RemoveStarted();
}

void TComReset::Execute(TCallMan& cm, TPage*&, int32_t& pc) {
    if (Scene) Scene->ResetScene();
    if (Params) Params->Reset();
    DBManager().ClearGameTables();
    cm.Start(PageName);
    pc = static_cast<int32_t>(Target);
}

void TComTerminate::Execute(TCallMan&, TPage*&, int32_t&) { RequestTermination(); }
