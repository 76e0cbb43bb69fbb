#include "engine/scenario_writer.h"

#include "script/parser.h"
#include "platform/filesystem/stream.h"

#include <cstring>

std::string RecU32(uint32_t v) {
    const char b[4] = {char(v & 255), char(v >> 8 & 255), char(v >> 16 & 255), char(v >> 24 & 255)};
    return std::string(b, 4);
}

std::string RecU8(uint8_t v) { return std::string(1, static_cast<char>(v)); }

std::string RecString(std::string_view s) { return RecU32(static_cast<uint32_t>(s.size())) + std::string(s); }

std::string RecExpr(std::string_view source) {
    TBuildVorqParser compiler;
    if (!source.empty()) compiler.Parse(source);
    TMemoryStream m;
    compiler.SaveToStream(m);
    auto bytes = m.Bytes();
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void TPageWriter::SetMask(uint8_t opcode, int id) {
    masks_[static_cast<size_t>(opcode) * kMaskBytes + static_cast<size_t>(id >> 3)] |= uint8_t(1u << (id & 7));
}

int TPageWriter::Add(uint8_t opcode, const std::string& record, int target_offset) {
    const int index = Count();
    commands_.push_back({opcode, Indent, uint8_t(Skip ? 1 : 0), uint8_t(ContinueFlag ? 1 : 0),
                         Line ? Line : static_cast<uint32_t>(index + 1), record, target_offset});
    return index;
}

void TPageWriter::SetTarget(int command, int32_t target) {
    Command& c = commands_.at(static_cast<size_t>(command));
    if (c.target_offset < 0) return;
    const std::string v = RecU32(static_cast<uint32_t>(target));
    c.record.replace(static_cast<size_t>(c.target_offset), 4, v);
}

int TPageWriter::If(std::string_view cond) { return Add(opIf, RecExpr(cond)); }
int TPageWriter::Elseif(std::string_view cond) { return Add(opElseif, RecExpr(cond)); }
int TPageWriter::Else() { return Add(opElse, {}); }
int TPageWriter::Label(std::string_view text) { return Add(opLabel, RecString(text)); }
int TPageWriter::Comment(std::string_view text) { return Add(opComment, RecString(text)); }

int TPageWriter::Jump(std::string_view page, uint32_t target, std::string_view cond) {
    const std::string head = RecString(page);
    return Add(opJump, head + RecU32(target) + RecExpr(cond), static_cast<int>(head.size()));
}

int TPageWriter::Call(std::string_view page, const std::vector<std::string>& args, std::string_view result,
                      uint32_t target, std::string_view cond) {
    const std::string head = RecString(page);
    std::string r = head + RecU32(target) + RecString(result) + RecExpr(cond) + RecU32(uint32_t(args.size()));
    for (auto& a : args) r += RecExpr(a);
    return Add(opCall, r, static_cast<int>(head.size()));
}

int TPageWriter::Exit(std::string_view cond) { return Add(opExit, RecExpr(cond)); }

int TPageWriter::Wait(std::string_view time, std::string_view cond, std::string_view block_events) {
    std::string r = RecExpr(cond) + RecExpr(time);
    if (Version >= 107) r += RecExpr(block_events);
    return Add(opWait, r);
}

int TPageWriter::Calc(std::string_view statement) { return Add(opCalc, RecExpr(statement)); }

int TPageWriter::VarNew(std::string_view name, uint8_t type, std::string_view init, uint8_t scope) {
    return Add(opVarNew, RecString(name) + RecU8(type) + RecExpr(init) + RecU8(scope));
}

int TPageWriter::VarDel(std::string_view name) { return Add(opVarDel, RecString(name)); }
int TPageWriter::ObjDel(std::string_view name_expr) { return Add(opObjDel, RecExpr(name_expr)); }

int TPageWriter::PCReset(std::string_view page, bool all_frames, uint32_t target) {
    const std::string head = RecString(page) + RecU8(all_frames ? 1 : 0);
    return Add(opPCReset, head + RecU32(target), static_cast<int>(head.size()));
}

int TPageWriter::Reset(std::string_view page, uint32_t target) {
    const std::string head = RecString(page) + RecU8(0);
    return Add(opReset, head + RecU32(target), static_cast<int>(head.size()));
}

int TPageWriter::Terminate() { return Add(opTerminate, {}); }
int TPageWriter::DoEvent() { return Add(opDoEvent, {}); }

int TPageWriter::GameSave(std::string_view slot, std::string_view caption, std::string_view resume_page,
                          uint32_t resume_pc) {
    std::string r = RecExpr(slot) + RecString(resume_page);
    if (Version >= 105) r += RecU32(resume_pc);
    return Add(opGameSave, r + RecExpr(caption));
}

int TPageWriter::GameLoad(std::string_view slot) { return Add(opGameLoad, RecExpr(slot)); }

int TPageWriter::GetProp(std::string_view object, std::string_view property_id, std::string_view variable) {
    return Add(opGetProp, RecExpr(object) + RecExpr(property_id) + RecString(variable));
}

int TPageWriter::SetProp(std::string_view object, std::string_view property_id, std::string_view value) {
    return Add(opSetProp, RecExpr(object) + RecExpr(property_id) + RecExpr(value));
}

int TPageWriter::MenuClose(std::string_view name) { return Add(opMenuClose, RecExpr(name)); }

int TPageWriter::Flip(const FlipFields& f) {
    std::string r = RecExpr(f.Kind) + RecExpr(f.Duration) + RecExpr(f.Flag) + RecExpr(f.Carry);
    r += RecU32(static_cast<uint32_t>(f.Names.size()));
    for (const std::string& n : f.Names) r += RecExpr(n);
    r += RecExpr(f.ClearOld) + RecExpr(f.Param1) + RecExpr(f.Param2);
    if (Version >= 101) r += RecExpr(f.Name);
    if (Version >= 107) r += RecExpr(f.EventBlock);
    return Add(opFlip, r);
}

int TPageWriter::PropMotion(std::string_view name, std::string_view target, std::string_view property_id,
                            std::string_view value, std::string_view duration, std::string_view easing,
                            std::string_view paused) {
    std::string r = RecExpr(name) + RecExpr(target) + RecExpr(property_id) + RecExpr(value) + RecExpr(duration) +
                    RecExpr(easing);
    if (Version >= 108) r += RecExpr(paused);
    return Add(opPropMotion, r);
}

int TPageWriter::MovieStop(std::string_view target, std::string_view fade_time, std::string_view wait,
                           std::string_view block_events) {
    std::string r = RecExpr(target) + RecExpr(fade_time) + RecExpr(wait);
    if (Version >= 107) r += RecExpr(block_events);
    return Add(opMovieStop, r);
}

int TPageWriter::MediaPlay(std::string_view name) { return Add(opMediaPlay, RecExpr(name)); }

int TPageWriter::Cabinet(uint8_t opcode, const std::vector<std::pair<int, std::string>>& props,
                         std::string_view mode, const std::vector<std::string>& names) {
    std::string r = property_block(opcode, props) + RecExpr(mode) + RecU32(static_cast<uint32_t>(names.size()));
    for (const std::string& n : names) r += RecExpr(n);
    return Add(opcode, r);
}

int TPageWriter::Component(uint8_t opcode, const std::vector<std::pair<int, std::string>>& props) {
    return Add(opcode, property_block(opcode, props));
}

std::string TPageWriter::property_block(uint8_t opcode, const std::vector<std::pair<int, std::string>>& props) const {
    std::string r;
    for (int id = 0; id < kPropertyCount; ++id) {
        if (!((masks_[static_cast<size_t>(opcode) * kMaskBytes + static_cast<size_t>(id >> 3)] >> (id & 7)) & 1))
            continue;
        std::string source;
        for (auto& [pid, text] : props)
            if (pid == id) source = text;
        r += RecExpr(source);
    }
    return r;
}

int TPageWriter::While(std::string_view cond) {
    const std::string head = RecExpr(cond);
    const int i = Add(opWhile, head + RecU32(0), static_cast<int>(head.size()));
    loops_.push_back({i, {}, {}});
    return i;
}

int TPageWriter::WhileInit(std::string_view statement) { return Add(opWhileInit, RecExpr(statement)); }

int TPageWriter::EndWhile(std::string_view step) {
    const std::string head = RecExpr(step);
    Loop loop = loops_.back();
    loops_.pop_back();
    const int i = Add(opWhileLoop, head + RecU32(static_cast<uint32_t>(loop.while_index)), static_cast<int>(head.size()));
    SetTarget(loop.while_index, i + 1);
    for (int b : loop.breaks) SetTarget(b, i + 1);
    for (int c : loop.continues) SetTarget(c, i);
    return i;
}

int TPageWriter::Break(std::string_view cond) {
    const std::string head = RecExpr(cond);
    const int i = Add(opBreak, head + RecU32(uint32_t(-1)), static_cast<int>(head.size()));
    if (!loops_.empty()) loops_.back().breaks.push_back(i);
    return i;
}

int TPageWriter::Continue(std::string_view cond) {
    const std::string head = RecExpr(cond);
    const int i = Add(opContinue, head + RecU32(uint32_t(-1)), static_cast<int>(head.size()));
    if (!loops_.empty()) loops_.back().continues.push_back(i);
    return i;
}

std::string TPageWriter::Bytes() const {
    std::string out = RecU32(Version) + RecU8(ResultType) + RecU32(MaskCount) + RecU32(MaskSize);
    for (uint32_t i = 0; i < MaskCount; ++i) {
        std::string mask(MaskSize, '\0');
        if (i < kOpcodeCount)
            std::memcpy(mask.data(), masks_.data() + i * kMaskBytes, MaskSize < kMaskBytes ? MaskSize : kMaskBytes);
        out += mask;
    }
    out += RecU32(static_cast<uint32_t>(commands_.size()));
    for (auto& c : commands_)
        out += RecU8(c.opcode) + RecU32(c.indent) + RecU8(c.skip) + RecU8(c.cont) + RecU32(c.line) + c.record;
    return out;
}

void TPageWriter::SaveToStream(TStream& s) const {
    const std::string b = Bytes();
    s.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
}

void TPageWriter::SaveToFile(const std::string& sjis_path) const {
    TMemoryStream m;
    SaveToStream(m);
    m.SaveToFile(sjis_path);
}
