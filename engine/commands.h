// The 61 command kinds of scenario pages. Each reads its record after the
// common header exactly as the authoring editor stores it. Control flow and
// variables run here; display-object, text and media commands run once
// their subsystems exist and until then raise ENotAvailable after moving
// the program counter on, so that play goes on past them.
#pragma once
#include "engine/command.h"
#include "engine/parser.h"

#include <array>

using TExprPtr = std::unique_ptr<TVorqParser>;

// u32 count, then that many expressions.
std::vector<TExprPtr> ReadRecordExprList(TStream& s);

// Makes the command of an opcode (low 7 bits); "不正なコマンド" beyond 60.
std::unique_ptr<TCommand> CreateCommandOf(uint8_t opcode, TPage* page);

// ---- control flow and variables -------------------------------------------

class TComIf : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opIf; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Condition;
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
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComLabel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opLabel; }
    void LoadFromStream(TStream& s) override;
    bool MatchLabel(const std::string& name) const override { return Text == name; }
    std::string Text;
};

class TComComment : public TComLabel {
public:
    using TComLabel::TComLabel;
    uint8_t GetOpcode() const override { return opComment; }
    bool GetContinue() const override { return false; }
    bool GetSkip() const override { return true; }
};

class TComJump : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opJump; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string PageName;
    uint32_t Target = 0;
    TExprPtr Condition;
};

class TComCall : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCall; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string PageName;
    uint32_t Target = 0;
    std::string ResultName;
    TExprPtr Condition;
    std::vector<TExprPtr> Args;
};

class TComExit : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opExit; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Condition;
};

class TComBreak : public TComExit {
public:
    using TComExit::TComExit;
    uint8_t GetOpcode() const override { return opBreak; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    int32_t Target = -1;  // -1: leave the page
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
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Condition;
    uint32_t Target = 0;  // first command after the loop
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
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Statement;
};

class TComWhileLoop : public TComWhileInit {
public:
    using TComWhileInit::TComWhileInit;
    uint8_t GetOpcode() const override { return opWhileLoop; }
    // The loop's step keeps the record's flag, unlike its initialisation.
    bool GetContinue() const override { return Continue != 0; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    uint32_t Target = 0;  // the loop's While
};

class TComWait : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opWait; }
    void LoadFromStream(TStream& s) override;
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
};

class TComCalc : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCalc; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Statement;
};

class TComVarNew : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opVarNew; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string Name;
    uint8_t ValueType = 0;  // 1 integer, 2 float, 3 flag, 4 string
    TExprPtr Init;
    uint8_t Scope = 0;  // 0 global, 1 call depth, 2 local, 3 status
};

class TComVarDel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opVarDel; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string Name;
};

class TComObjDel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opObjDel; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;
};

class TComPCReset : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opPCReset; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    std::string PageName;
    uint8_t AllFrames = 0;
    uint32_t Target = 0;
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

// ---- display-object commands ----------------------------------------------

// One expression slot per property id; the page's mask for the opcode says
// which slots the record holds.
class TComComponent : public TCommand {
public:
    TComComponent(TPage* page, uint8_t opcode);
    uint8_t GetOpcode() const override { return opcode_; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TVorqParser* Property(int id) const { return Props[static_cast<size_t>(id)].get(); }
    std::array<TExprPtr, kPropertyCount> Props;

private:
    uint8_t opcode_;
};

class TComControl : public TComComponent {
public:
    using TComComponent::TComComponent;
};

class TComCabinet : public TComComponent {
public:
    using TComComponent::TComComponent;
    void LoadFromStream(TStream& s) override;
    TExprPtr Mode;
    std::vector<TExprPtr> Names;
};

template <uint8_t Op>
class TComControlKind : public TComControl {
public:
    explicit TComControlKind(TPage* page) : TComControl(page, Op) {}
};
template <uint8_t Op>
class TComComponentKind : public TComComponent {
public:
    explicit TComComponentKind(TPage* page) : TComComponent(page, Op) {}
};
template <uint8_t Op>
class TComCabinetKind : public TComCabinet {
public:
    explicit TComCabinetKind(TPage* page) : TComCabinet(page, Op) {}
};
using TComBoxNew = TComControlKind<opBoxNew>;
using TComImgNew = TComControlKind<opImgNew>;
using TComMesNew = TComControlKind<opMesNew>;
using TComTimer = TComComponentKind<opTimer>;
using TComMovie = TComControlKind<opMovie>;
using TComCinema = TComControlKind<opCinema>;
using TComCaption = TComControlKind<opCaption>;
using TComMenu = TComControlKind<opMenu>;
using TComBtnNew = TComControlKind<opBtnNew>;
using TComParticleNew = TComControlKind<opParticleNew>;
using TComFireNew = TComControlKind<opFireNew>;
using TComSound = TComComponentKind<opSound>;
using TComEditNew = TComControlKind<opEditNew>;
using TComMemoNew = TComControlKind<opMemoNew>;
using TComMapImgNew = TComControlKind<opMapImgNew>;
using TComWaveNew = TComControlKind<opWaveNew>;
using TComTileNew = TComControlKind<opTileNew>;
using TComSliderNew = TComControlKind<opSliderNew>;
using TComScrollbarNew = TComControlKind<opScrollbarNew>;
using TComGaugeNew = TComControlKind<opGaugeNew>;
using TComCGCaption = TComControlKind<opCGCaption>;
using TComPrevMenuNew = TComControlKind<opPrevMenuNew>;
using TComCabinetSave = TComCabinetKind<opCabinetSave>;
using TComCabinetLoad = TComCabinetKind<opCabinetLoad>;

class TComGetProp : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opGetProp; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;
    TExprPtr PropertyId;
    std::string VarName;
};

class TComSetProp : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opSetProp; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;
    TExprPtr PropertyId;
    TExprPtr Value;
};

class TComFlip : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opFlip; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    void SaveState(std::unique_ptr<TMemoryStream>& s) override;
    void LoadState(TStream& s) override;
    bool BlocksEvents() const override { return FlipBlocksEvents != 0; }
    TExprPtr TransNo;
    TExprPtr Duration;
    TExprPtr TransFlag;
    TExprPtr CarryMode;
    std::vector<TExprPtr> NameList;
    TExprPtr ClearOld;
    TExprPtr Param1;
    TExprPtr Param2;
    TExprPtr TransName;   // page version 101 on
    TExprPtr EventBlock;  // page version 107 on
    uint8_t FlipBlocksEvents = 0;
    uint8_t ClearOldFlag = 0;
};

// ---- text, history and media commands -------------------------------------

class TComTextIns : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opTextIns; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    void SaveState(std::unique_ptr<TMemoryStream>& s) override;
    void LoadState(TStream& s) override;
    bool IsWaiting() const override { return TextWait != 0; }
    bool BlocksEvents() const override { return TextBlocksEvents != 0; }
    std::string Text;  // stored message text
    TExprPtr Target;
    TExprPtr History;
    TExprPtr Wait;
    TExprPtr EventBlock;  // page version 107 on
    uint8_t TextWait = 0;
    uint8_t TextBlocksEvents = 0;
};

// A record of expressions only, run by a subsystem still to come.
class TComExprRecord : public TCommand {
public:
    TComExprRecord(TPage* page, uint8_t opcode, int count) : TCommand(page), opcode_(opcode), Exprs(count) {}
    uint8_t GetOpcode() const override { return opcode_; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;

private:
    uint8_t opcode_;

public:
    std::vector<TExprPtr> Exprs;
};

// Kinds whose record is a fixed number of expressions.
template <uint8_t Op, int N>
class TComExprKind : public TComExprRecord {
public:
    explicit TComExprKind(TPage* page) : TComExprRecord(page, Op, N) {}
};
using TComMenuClose = TComExprKind<opMenuClose, 1>;   // menu name
using TComTextClr = TComExprKind<opTextClr, 1>;       // target window
using TComCallHist = TComExprKind<opCallHist, 4>;     // window, first, count, mode
using TComClrHist = TComExprKind<opClrHist, 0>;
using TComEntryHist = TComExprKind<opEntryHist, 1>;   // object name
using TComClrRead = TComExprKind<opClrRead, 0>;
using TComMediaPlay = TComExprKind<opMediaPlay, 1>;   // object name

class TComMovieStop : public TComExprRecord {
public:
    // target, fade time, wait; from page version 107 the event block
    explicit TComMovieStop(TPage* page) : TComExprRecord(page, opMovieStop, 3) {}
    void LoadFromStream(TStream& s) override;
    void SaveState(std::unique_ptr<TMemoryStream>& s) override;
    void LoadState(TStream& s) override;
    bool IsWaiting() const override { return StopWait != 0; }
    bool BlocksEvents() const override { return StopBlocksEvents != 0; }
    TExprPtr EventBlock;
    uint8_t StopWait = 0;
    uint8_t StopBlocksEvents = 0;
};

class TComPropMotion : public TComExprRecord {
public:
    // name, target, property id, value, duration, easing; from 108 paused
    explicit TComPropMotion(TPage* page) : TComExprRecord(page, opPropMotion, 6) {}
    void LoadFromStream(TStream& s) override;
    TExprPtr Paused;
};

// ---- saves ----------------------------------------------------------------

class TComGameSave : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opGameSave; }
    bool GetContinue() const override { return false; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Slot;
    std::string ResumePage;
    uint32_t ResumePC = 0;  // page version 105 on
    TExprPtr Caption;
};

class TComGameLoad : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opGameLoad; }
    bool GetContinue() const override { return false; }
    void LoadFromStream(TStream& s) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Slot;
};
