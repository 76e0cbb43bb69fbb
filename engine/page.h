// A scenario page: one compiled ".vsb" file of the authoring editor, a flat
// list of commands whose indentation encodes the blocks, run one command at
// a time for the call manager.
#pragma once
#include "engine/command.h"

#include <array>
#include <cstdint>
#include <string>

class FieldReader;

class TPage {
public:
    static constexpr uint32_t kMinVersion = 103;
    static constexpr uint32_t kMaxVersion = 109;

    TPage();
    ~TPage();
    TPage(const TPage&) = delete;
    TPage& operator=(const TPage&) = delete;

    uint8_t ResultType = 1;  // value type of the page's result when called
    TComList Commands;
    std::string Name;
    // Mask per opcode: bit i set = a display-object command of that opcode
    // stores an expression for property id i.
    std::array<std::array<uint8_t, kMaskBytes>, kOpcodeCount> Masks{};
    uint32_t FormatVersion = 104;

    // Loads the file through the game's file manager. A page older than 103
    // stops the player ("リビルドしてください"); a page newer than 109 is
    // empty. A truncated or corrupt page raises ECorruptData naming it.
    void LoadFromFile(const std::string& name);
    // The same from a stream holding the file's bytes.
    void LoadFromStream(TStream& s, const std::string& name);
    std::unique_ptr<TCommand> CreateCommand(uint8_t opcode);
    int32_t IndexOfLabel(const std::string& name) const;
    int32_t IndexOfCommand(const TCommand* command) const;
    const std::string& GetName() const { return Name; }
    int32_t Count() const { return static_cast<int32_t>(Commands.size()); }
    TCommand* GetItem(int32_t i) const { return Commands[static_cast<size_t>(i)].get(); }
    bool MaskBit(uint8_t opcode, int id) const {
        return (Masks[opcode & 127][static_cast<size_t>(id >> 3)] >> (id & 7)) & 1;
    }

    // One command for the call manager (see call_man.h). Errors of the
    // command are dropped here; they end the frame's run of commands.
    void Run(TCallMan& cm, TPage*& current, bool& waiting, bool& prepared, int32_t& pc);

private:
    void read_masks(FieldReader& r);
    void read_commands(FieldReader& r);
};

// The trace hook's line for a command run and for an event handler start.
std::string CommandTraceLine(uint32_t clock, const std::string& page, uint32_t line);
std::string EventTraceLine(uint32_t clock, const std::string& page, uint32_t line);
// The line for a command passed over because this build cannot run its kind.
std::string NotAvailableTraceLine(uint32_t clock, const std::string& page, uint32_t line,
                                  const std::string& message);
