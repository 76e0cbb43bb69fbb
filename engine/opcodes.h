// The 61 command kinds of scenario pages, in opcode order: opcode, name
// (the kind's class is TCom + name) and the family header that defines it.
// The opcode enum, the name table and the command factory are all made
// from this one list, so they cannot drift apart.
#pragma once

#define VORQ_OPCODES(X)        \
    X(0, If, flow)             \
    X(1, Elseif, flow)         \
    X(2, Else, flow)           \
    X(3, Label, flow)          \
    X(4, Jump, flow)           \
    X(5, Call, flow)           \
    X(6, Exit, flow)           \
    X(7, Wait, flow)           \
    X(8, BoxNew, objects)      \
    X(9, ImgNew, objects)      \
    X(10, MesNew, objects)     \
    X(11, Timer, objects)      \
    X(12, Movie, objects)      \
    X(13, Flip, objects)       \
    X(14, Calc, flow)          \
    X(15, VarNew, flow)        \
    X(16, VarDel, flow)        \
    X(17, GetProp, objects)    \
    X(18, SetProp, objects)    \
    X(19, ObjDel, flow)        \
    X(20, TextIns, text)       \
    X(21, MovieStop, media)    \
    X(22, ClrHist, text)       \
    X(23, Cinema, objects)     \
    X(24, Caption, objects)    \
    X(25, Menu, objects)       \
    X(26, MenuClose, objects)  \
    X(27, Comment, flow)       \
    X(28, TextClr, text)       \
    X(29, CallHist, text)      \
    X(30, BtnNew, objects)     \
    X(31, While, flow)         \
    X(32, WhileInit, flow)     \
    X(33, WhileLoop, flow)     \
    X(34, Break, flow)         \
    X(35, Continue, flow)      \
    X(36, ParticleNew, objects) \
    X(37, FireNew, objects)    \
    X(38, GameSave, saves)     \
    X(39, GameLoad, saves)     \
    X(40, PCReset, flow)       \
    X(41, Reset, flow)         \
    X(42, Sound, media)        \
    X(43, EditNew, objects)    \
    X(44, MemoNew, objects)    \
    X(45, Terminate, flow)     \
    X(46, DoEvent, flow)       \
    X(47, ClrRead, text)       \
    X(48, MapImgNew, objects)  \
    X(49, WaveNew, objects)    \
    X(50, TileNew, objects)    \
    X(51, SliderNew, objects)  \
    X(52, ScrollbarNew, objects) \
    X(53, GaugeNew, objects)   \
    X(54, CGCaption, objects)  \
    X(55, MediaPlay, media)    \
    X(56, PrevMenuNew, objects) \
    X(57, PropMotion, media)   \
    X(58, EntryHist, text)     \
    X(59, CabinetSave, saves)  \
    X(60, CabinetLoad, saves)

#include <cstdint>

enum TOpcode : uint8_t {
#define VORQ_OPCODE_ENUM(n, name, family) op##name = n,
    VORQ_OPCODES(VORQ_OPCODE_ENUM)
#undef VORQ_OPCODE_ENUM
};

#define VORQ_OPCODE_ONE(n, name, family) +1
constexpr int kOpcodeCount = 0 VORQ_OPCODES(VORQ_OPCODE_ONE);
#undef VORQ_OPCODE_ONE
static_assert(kOpcodeCount == 61 && opCabinetLoad == 60, "opcodes are 0..60 without gaps");

// "If", "Elseif", ... as in the class names (TCom + name); "" outside 0..60.
const char* OpcodeName(uint8_t op);
