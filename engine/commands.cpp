#include "engine/commands.h"

#include "platform/text/codepage.h"

std::unique_ptr<TCommand> CreateCommandOf(uint8_t opcode, TPage* page) {
    switch (opcode & 127) {
#define VORQ_OPCODE_MAKE(n, name, family) \
    case op##name: return std::make_unique<TCom##name>(page);
        VORQ_OPCODES(VORQ_OPCODE_MAKE)
#undef VORQ_OPCODE_MAKE
    default: throw Exception(Sjis("不正なコマンド"));
    }
}
