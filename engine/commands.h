// Every command kind, by family, and the factory that makes the kind of an
// opcode.
#pragma once
#include "engine/commands_flow.h"
#include "engine/commands_media.h"
#include "engine/commands_objects.h"
#include "engine/commands_saves.h"
#include "engine/commands_text.h"

// Makes the command of an opcode (low 7 bits); "不正なコマンド" beyond 60.
std::unique_ptr<TCommand> CreateCommandOf(uint8_t opcode, TPage* page);
