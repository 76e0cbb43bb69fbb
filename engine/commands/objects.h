// Display-object commands: the commands that create objects in the registry
// from a block of property expressions, get and set single properties,
// close menus and switch screens. They load exactly as stored so that
// every page of a game loads in step; they run once the registry's kinds
// are installed, and until then raise ENotAvailable after moving the
// program counter on, so that play goes on past them.
#pragma once
#include "engine/command.h"
#include "engine/parser.h"

#include <array>

// One expression slot per property id; the page's mask for the opcode says
// which slots the record holds. Sound, timer and cabinet commands store the
// same block.
class TComComponent : public TCommand {
public:
    TComComponent(TPage* page, uint8_t opcode);
    uint8_t GetOpcode() const override { return opcode_; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TVorqParser* Property(int id) const { return Props[static_cast<size_t>(id)].get(); }
    std::array<TExprPtr, kPropertyCount> Props;

protected:
    void ReadFields(FieldReader& r) override;

private:
    uint8_t opcode_;
};

class TComControl : public TComComponent {
public:
    using TComComponent::TComComponent;
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

class TComGetProp : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opGetProp; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;
    TExprPtr PropertyId;
    std::string VarName;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComSetProp : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opSetProp; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;
    TExprPtr PropertyId;
    TExprPtr Value;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComMenuClose : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opMenuClose; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr MenuName;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComFlip : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opFlip; }
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

protected:
    void ReadFields(FieldReader& r) override;
};
