// Display-object commands: the commands that create objects in the registry
// from a block of property expressions, get and set single properties,
// close menus and switch screens. They load exactly as stored so that
// every page of a game loads in step. A creation command whose kind this
// player does not make (or that runs without a registry) raises
// ENotAvailable after moving the program counter on, so that play goes on
// past it.
#pragma once
#include "engine/command.h"
#include "script/parser.h"

#include <array>

class TVorqObject;
class TVorqPropMotion;

// The component type id a creation command makes (0 for other opcodes).
int32_t ComponentTypeOfOpcode(uint8_t opcode);
// Property ids in the order the applier sets them (every id once).
extern const std::array<uint8_t, kPropertyCount> kApplyOrder;

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
    // Runs the property expressions into a new object, in the applier's
    // order, with the defaults where an expression gives no result.
    void ApplyProperties(TVorqObject& obj);

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

// The screen switch between the two layers, with an optional transition;
// controls may be carried over to the layer that is shown next.
class TComFlip : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opFlip; }
    void Prepare(TCallMan& cm) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    void SaveState(std::unique_ptr<TMemoryStream>& s) override;
    void LoadState(TStream& s) override;
    void Cancel() override;
    bool IsWaiting() const override { return Waits; }
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
    // 0 prepared, 1 one frame shown, 2 transition running, 3 finish at once.
    int32_t FlipState = 0;
    uint32_t FlipStart = 0;
    bool Waits = false;

protected:
    void ReadFields(FieldReader& r) override;

private:
    // The other layer becomes the shown one; the snapshot goes, and with
    // ClearOld every control left on the layer that was shown (but its
    // cabinets when keep_cabinets).
    void finish(bool keep_cabinets);
    uint32_t snapshot_ = 0;  // serial of the snapshot object; 0 = none
};
