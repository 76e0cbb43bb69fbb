// Media commands: stopping and fading sounds and videos, starting a medium
// again, sound objects and property motions. Those whose objects this
// player does not make yet raise ENotAvailable after moving the program
// counter on.
#pragma once
#include "engine/commands_objects.h"

class TComMovieStop : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opMovieStop; }
    void Prepare(TCallMan& cm) override;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    void SaveState(std::unique_ptr<TMemoryStream>& s) override;
    void LoadState(TStream& s) override;
    bool IsWaiting() const override { return StopWait != 0; }
    bool BlocksEvents() const override { return StopBlocksEvents != 0; }
    TExprPtr Target;
    TExprPtr FadeTime;  // ms
    TExprPtr Wait;
    TExprPtr EventBlock;  // page version 107 on
    uint8_t StopWait = 0;
    uint8_t StopBlocksEvents = 0;
    TVorqObject* TargetMedium = nullptr;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComMediaPlay : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opMediaPlay; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;

protected:
    void ReadFields(FieldReader& r) override;
};

// A sound object made from the property block of the display-object commands.
using TComSound = TComComponentKind<opSound>;

class TComPropMotion : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opPropMotion; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Name;
    TExprPtr Target;
    TExprPtr PropertyId;
    TExprPtr Value;
    TExprPtr Duration;
    TExprPtr Easing;
    TExprPtr Paused;  // page version 108 on

protected:
    void ReadFields(FieldReader& r) override;
};
