// Control-flow and variable commands: branches by indentation, loops with
// precomputed targets, labels, jumps, calls and returns, waits, expression
// statements, variables, object deletion, resets and the end of play.
#pragma once
#include "engine/command.h"
#include "script/parser.h"

class TComIf : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opIf; }
    Stepping PlainStepping() const override { return Stepping::ByField; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Condition;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComElseif : public TComIf {
public:
    using TComIf::TComIf;
    uint8_t GetOpcode() const override { return opElseif; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComElse : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opElse; }
    bool GetContinue() const override { return true; }
    Stepping PlainStepping() const override { return Stepping::Always; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComLabel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opLabel; }
    Stepping PlainStepping() const override { return Stepping::ByField; }
    bool MatchLabel(const std::string& name) const override { return Text == name; }
    std::string Text;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComComment : public TComLabel {
public:
    using TComLabel::TComLabel;
    uint8_t GetOpcode() const override { return opComment; }
    bool GetContinue() const override { return false; }
    bool GetSkip() const override { return true; }
    Stepping PlainStepping() const override { return Stepping::Ask; }
};

class TComJump : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opJump; }
    Stepping PlainStepping() const override { return Stepping::ByField; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string PageName;
    uint32_t Target = 0;
    TExprPtr Condition;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComCall : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCall; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string PageName;
    uint32_t Target = 0;
    std::string ResultName;
    TExprPtr Condition;
    std::vector<TExprPtr> Args;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComExit : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opExit; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Condition;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComBreak : public TComExit {
public:
    using TComExit::TComExit;
    uint8_t GetOpcode() const override { return opBreak; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    int32_t Target = -1;  // -1: leave the page

protected:
    void ReadFields(FieldReader& r) override;
};

class TComContinue : public TComBreak {
public:
    using TComBreak::TComBreak;
    uint8_t GetOpcode() const override { return opContinue; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComWhile : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opWhile; }
    Stepping PlainStepping() const override { return Stepping::ByField; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Condition;
    uint32_t Target = 0;  // first command after the loop

protected:
    void ReadFields(FieldReader& r) override;
};

class TComRuntime : public TCommand {
public:
    using TCommand::TCommand;
};

class TComWhileInit : public TComRuntime {
public:
    using TComRuntime::TComRuntime;
    uint8_t GetOpcode() const override { return opWhileInit; }
    bool GetContinue() const override { return true; }
    Stepping PlainStepping() const override { return Stepping::Always; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Statement;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComWhileLoop : public TComWhileInit {
public:
    using TComWhileInit::TComWhileInit;
    uint8_t GetOpcode() const override { return opWhileLoop; }
    // The loop's step keeps the record's flag, unlike its initialisation.
    bool GetContinue() const override { return Continue != 0; }
    Stepping PlainStepping() const override { return Stepping::ByField; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    uint32_t Target = 0;  // the loop's While

protected:
    void ReadFields(FieldReader& r) override;
};

class TComWait : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opWait; }
    void Prepare(TCallMan& cm) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    void SaveState(std::unique_ptr<TMemoryStream>& s) override;
    void LoadState(TStream& s) override;
    bool IsWaiting() const override { return true; }
    bool BlocksEvents() const override { return WaitBlocksEvents != 0; }
    TExprPtr Condition;
    TExprPtr Time;
    TExprPtr EventBlock;  // page version 107 on
    int32_t Remaining = 0;
    int32_t FirstFrame = 0;
    uint8_t WaitBlocksEvents = 0;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComCalc : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCalc; }
    Stepping PlainStepping() const override { return Stepping::ByField; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Statement;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComVarNew : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opVarNew; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string Name;
    uint8_t ValueType = 0;  // 1 integer, 2 float, 3 flag, 4 string
    TExprPtr Init;
    uint8_t Scope = 0;  // 0 global, 1 call depth, 2 local, 3 status

protected:
    void ReadFields(FieldReader& r) override;
};

class TComVarDel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opVarDel; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string Name;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComObjDel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opObjDel; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComPCReset : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opPCReset; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string PageName;
    uint8_t AllFrames = 0;
    uint32_t Target = 0;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComReset : public TComPCReset {
public:
    using TComPCReset::TComPCReset;
    uint8_t GetOpcode() const override { return opReset; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComTerminate : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opTerminate; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComDoEvent : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opDoEvent; }
    bool GetContinue() const override { return false; }
    bool IsWaiting() const override { return true; }
};
