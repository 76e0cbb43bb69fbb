// Writers of the stored forms that only the authoring editor makes: scenario
// pages with their command records, and (with WriteProjectFile of
// project.h) project files. Tests build small games with them, and the demo
// builder turns the demo's sources into a game folder. Expressions are
// compiled from source text with our own expression compiler.
#pragma once
#include "engine/command.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Field encoders of page records (all little-endian).
std::string RecU32(uint32_t v);
std::string RecU8(uint8_t v);
std::string RecString(std::string_view s);
// The stored form of a compiled expression; "" compiles to no operation
// (an expression without a result).
std::string RecExpr(std::string_view source);

class TPageWriter {
public:
    explicit TPageWriter(uint32_t version = 109, uint8_t result_type = 1) : Version(version), ResultType(result_type) {}

    uint32_t Version;
    uint8_t ResultType;
    // Mask block layout: number of masks and bytes per mask as stored.
    uint32_t MaskCount = kOpcodeCount;
    uint32_t MaskSize = kMaskBytes;
    // Header of the commands appended next.
    uint32_t Indent = 0;
    bool ContinueFlag = true;
    bool Skip = false;
    uint32_t Line = 0;  // 0: the command's index + 1

    // Property id of a display-object command stored for that opcode.
    void SetMask(uint8_t opcode, int property_id);

    // Appends a command of any kind with its record after the header; the
    // index of the command.
    int Add(uint8_t opcode, const std::string& record, int target_offset = -1);
    int Count() const { return static_cast<int>(commands_.size()); }
    // Sets the command-index field of a jump, call, loop, break or reset.
    void SetTarget(int command, int32_t target);

    int If(std::string_view cond);
    int Elseif(std::string_view cond);
    int Else();
    int Label(std::string_view text);
    int Comment(std::string_view text);
    int Jump(std::string_view page, uint32_t target = 0, std::string_view cond = "1");
    int Call(std::string_view page, const std::vector<std::string>& args = {}, std::string_view result = "",
             uint32_t target = 0, std::string_view cond = "1");
    int Exit(std::string_view cond = "1");
    int Wait(std::string_view time, std::string_view cond = "", std::string_view block_events = "");
    int Calc(std::string_view statement);
    int VarNew(std::string_view name, uint8_t type, std::string_view init, uint8_t scope = 0);
    int VarDel(std::string_view name);
    int ObjDel(std::string_view name_expr);
    int PCReset(std::string_view page, bool all_frames, uint32_t target = 0);
    int Reset(std::string_view page, uint32_t target = 0);
    int Terminate();
    int DoEvent();
    int GameSave(std::string_view slot, std::string_view caption, std::string_view resume_page = "",
                 uint32_t resume_pc = 0);
    int GameLoad(std::string_view slot);
    // A display-object command storing the masked properties' expressions
    // (ids ascending; ids without a mask bit are left out).
    int Component(uint8_t opcode, const std::vector<std::pair<int, std::string>>& props);

    // Display-object commands (expressions as source text).
    int GetProp(std::string_view object, std::string_view property_id, std::string_view variable);
    int SetProp(std::string_view object, std::string_view property_id, std::string_view value);
    int MenuClose(std::string_view name);
    // Media commands: stop or fade out a sound or video, start one again.
    int MovieStop(std::string_view target, std::string_view fade_time, std::string_view wait = "",
                  std::string_view block_events = "");
    int MediaPlay(std::string_view name);
    struct FlipFields {
        std::string Kind = "0", Duration = "", Flag = "", Carry = "", ClearOld = "", Param1 = "", Param2 = "",
                    Name = "", EventBlock = "";
        std::vector<std::string> Names;
    };
    int Flip(const FlipFields& f);
    int PropMotion(std::string_view name, std::string_view target, std::string_view property_id,
                   std::string_view value, std::string_view duration, std::string_view easing,
                   std::string_view paused = "");
    // CabinetSave or CabinetLoad: the property block (masked as for
    // Component), the mode and the names.
    int Cabinet(uint8_t opcode, const std::vector<std::pair<int, std::string>>& props, std::string_view mode,
                const std::vector<std::string>& names);

    // Loops: While opens one, EndWhile closes it with the loop's step, and
    // the Break and Continue commands between get their targets then (after
    // the loop and its step).
    int While(std::string_view cond);
    int WhileInit(std::string_view statement);
    int EndWhile(std::string_view step = "");
    int Break(std::string_view cond = "1");
    int Continue(std::string_view cond = "1");

    std::string Bytes() const;
    void SaveToStream(TStream& s) const;
    void SaveToFile(const std::string& sjis_path) const;

private:
    std::string property_block(uint8_t opcode, const std::vector<std::pair<int, std::string>>& props) const;
    struct Command {
        uint8_t opcode;
        uint32_t indent;
        uint8_t skip, cont;
        uint32_t line;
        std::string record;
        int target_offset;
    };
    struct Loop {
        int while_index;
        std::vector<int> breaks, continues;
    };
    std::vector<Command> commands_;
    std::vector<Loop> loops_;
    std::vector<uint8_t> masks_ = std::vector<uint8_t>(kOpcodeCount * kMaskBytes, 0);
};
