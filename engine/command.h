// The command framework of scenario pages: the base class every one of the
// 61 command kinds derives from (engine/opcodes.h lists them), the reading
// of a command record, and the tag of saved command state. The kinds live
// in engine/commands/ by family; engine/commands.h gathers them.
#pragma once
#include "engine/opcodes.h"
#include "files/field_reader.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPage;
class TCallMan;
class TVorqParser;
class TCustomParam;

// Property ids 0..160 each have one bit in a 21-byte mask per opcode.
constexpr int kPropertyCount = 161;
constexpr int kMaskBytes = 21;

// A command kind whose subsystem this build does not have yet.
class ENotAvailable : public Exception { using Exception::Exception; };

using TExprPtr = std::unique_ptr<TVorqParser>;

class TCommand {
public:
    explicit TCommand(TPage* page) : Page(page) {}
    virtual ~TCommand();
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    TPage* Page;
    uint8_t Continue = 0;  // run the next command in the same frame
    uint8_t Skip = 0;      // disabled: never prepared nor executed
    uint32_t Line = 0;     // source line (trace only)
    uint32_t Indent = 0;   // block depth

    // How the call manager may step a command without asking it: Ask (the
    // virtual calls), or a plain kind that is never prepared, never waits,
    // never blocks events, skips by Skip and continues by Continue
    // (ByField) or always (Always). Set from PlainStepping when loaded.
    enum class Stepping : uint8_t { Ask, ByField, Always };
    Stepping StepMode = Stepping::Ask;

    virtual uint8_t GetOpcode() const = 0;
    virtual bool GetContinue() const { return Continue != 0; }
    virtual bool GetSkip() const { return Skip != 0; }
    virtual void SetSkip(bool v) { Skip = v ? 1 : 0; }
    // While a prepared command answers true, no event handler may start.
    virtual bool BlocksEvents() const { return false; }
    virtual bool MatchLabel(const std::string&) const { return false; }
    // A kind that overrides none of Prepare, IsWaiting, BlocksEvents,
    // GetSkip, and GetContinue (or returns true from it) says so here; a
    // kind deriving from it that overrides one of them says Ask again.
    virtual Stepping PlainStepping() const { return Stepping::Ask; }
    // The whole record: the common header, then the kind's own fields
    // (ReadFields). A record cut short raises ECorruptData.
    void LoadFromStream(TStream& s);
    virtual void Prepare(TCallMan&) {}
    // One run; a command that is not finished leaves pc where it is.
    virtual void Execute(TCallMan&, TPage*& page, int32_t& pc) {
        (void)page;
        ++pc;
    }
    // Appends the run-time state, creating the stream when it is null.
    virtual void SaveState(std::unique_ptr<TMemoryStream>&) {}
    virtual void LoadState(TStream&) {}
    virtual void Cancel() {}
    virtual bool IsWaiting() const { return false; }

protected:
    // The kind's fields after the common header, in stored order; a kind
    // that extends another reads its parent's fields first.
    virtual void ReadFields(FieldReader&) {}
    // Page version of the page being loaded (field gates).
    uint32_t page_version() const;
    // pc + 1, then the "not available" error of this kind.
    [[noreturn]] void raise_not_available(int32_t& pc) const;
};

using TComList = std::vector<std::unique_ptr<TCommand>>;

// The message of a command record that cannot be read.
const std::string& CommandRecordMessage();
// A stored expression as a field of a record (the expression's own loader
// checks its insides).
TExprPtr ReadExprField(FieldReader& r, const char* field);
// u32 count, then that many expressions.
std::vector<TExprPtr> ReadExprListField(FieldReader& r, const char* field);

// Saved command state begins with this 7-byte tag (no length prefix); a
// kind whose state gained a field writes a higher number, and reads the
// field only from that number on.
constexpr char kStateTag[] = "vorq100";
void WriteStateTag(TStream& s, int32_t version = 100);
// The number of a "vorq" tag (0 when not a number); without a tag the
// stream goes back to where it was and the answer is 0.
int32_t ReadStateVersion(TStream& s);
// The message of saved command state that cannot be read.
const std::string& CommandStateMessage();
// The state stream of SaveState, made when still null.
TMemoryStream& StateStream(std::unique_ptr<TMemoryStream>& s);

// Evaluations as the commands use them: the result (null when none), and
// readings of it with the caller's default when there is none.
TCustomParam* EvalExpr(TVorqParser* e);
bool ExprIsTrue(TVorqParser* e);  // has a result, and it is true
bool ExprBool(TVorqParser* e, bool def);
int32_t ExprInt(TVorqParser* e, int32_t def);
std::string ExprText(TVorqParser* e);
