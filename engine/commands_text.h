// Text and history commands: message text into message windows, clearing
// windows, replaying and clearing the backlog, taking the backlog's display
// settings from an object, and forgetting read marks.
#pragma once
#include "engine/command.h"
#include "script/parser.h"

class TVorqMes;

// Lets message windows and the backlog load scenario pages for their text.
void InstallScenarioText();

class TComTextIns : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opTextIns; }
    void Prepare(TCallMan& cm) override;
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
    // The target window by name and identity: it may be deleted or replaced
    // by one of the same name while the command waits.
    std::string TargetName;
    uint32_t TargetSerial = 0;
    // nullptr once the window is gone.
    TVorqMes* TargetWindow() const;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComTextClr : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opTextClr; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Target;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComCallHist : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCallHist; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr Target;
    TExprPtr First;
    TExprPtr EntryCount;
    TExprPtr Mode;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComClrHist : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opClrHist; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};

class TComEntryHist : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opEntryHist; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
    TExprPtr ObjectName;

protected:
    void ReadFields(FieldReader& r) override;
};

class TComClrRead : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opClrRead; }
    void Execute(TCallMan& cm, TPage*& page, int32_t& pc) override;
};
