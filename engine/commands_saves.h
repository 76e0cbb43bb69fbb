// Save commands: requests for a game save or load, which the frame loop
// carries out between frames, and the cabinets that move objects out of
// the screen and back so that they outlast a scene.
#pragma once
#include "engine/commands_objects.h"

class TComGameSave : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opGameSave; }
    bool GetContinue() const override { return false; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Slot;
    std::string ResumePage;
    uint32_t ResumePC = 0;  // page version 105 on
    TExprPtr Caption;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComGameLoad : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opGameLoad; }
    bool GetContinue() const override { return false; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Slot;

protected:
    void ReadFields(FieldReader& r) override;
};

// The property block (its NAME names the cabinet), then the selection.
class TComCabinet : public TComComponent {
public:
    using TComComponent::TComComponent;
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Mode;
    std::vector<TExprPtr> Names;

protected:
    void ReadFields(FieldReader& r) override;
};

template <uint8_t Op>
class TComCabinetKind : public TComCabinet {
public:
    explicit TComCabinetKind(TPage* page) : TComCabinet(page, Op) {}
};
using TComCabinetSave = TComCabinetKind<opCabinetSave>;
using TComCabinetLoad = TComCabinetKind<opCabinetLoad>;
