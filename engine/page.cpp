#include "engine/page.h"

#include "engine/call_man.h"
#include "engine/commands.h"
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/field_reader.h"
#include "files/vr_file_manager.h"
#include "platform/text/codepage.h"
#include "platform/display/message_box.h"
#include "platform/system/trace.h"

#include <cstdio>

namespace {

// Smallest stored command: opcode byte and the 10-byte common header.
constexpr uint64_t kMinCommandBytes = 11;
// Far more commands than any page holds; the bytes left bound them first.
constexpr uint32_t kMaxCommands = 1u << 24;

// The command traced last, compared by address only (never followed).
const TCommand* g_last_traced = nullptr;

[[noreturn]] void raise_corrupt_page(const std::string& name, const std::string& why) {
    throw ECorruptData(Sjis("ページファイルが壊れています") + ": " + name + " (" + why + ")");
}

std::string trace_line(const char* format, uint32_t clock, const std::string& page, uint32_t line) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.8x : ", clock);
    std::string out = buf;
    std::snprintf(buf, sizeof buf, "(%d)", static_cast<int32_t>(line));
    return out + format + page + buf;
}

}  // namespace

std::string CommandTraceLine(uint32_t clock, const std::string& page, uint32_t line) {
    return trace_line("", clock, page, line);
}

std::string NotAvailableTraceLine(uint32_t clock, const std::string& page, uint32_t line,
                                  const std::string& message) {
    return trace_line("", clock, page, line) + " " + message;
}

std::string EventTraceLine(uint32_t clock, const std::string& page, uint32_t line) {
    return trace_line("<Event>", clock, page, line);
}

TPage::TPage() = default;

TPage::~TPage() {
    Commands.clear();
    if (!Params) return;
    // The page's internal variable goes with the page.
    if (TParamCollectionItem* v = Params->Find("\x01" + Name))
        if (!v->IsSystem()) Params->Delete(v->GetIndex());
}

void TPage::LoadFromFile(const std::string& name) {
    Commands.clear();
    Name = name;
    if (!FileManager) throw Exception(name + Sjis(":ファイルがありません"));
    TMemoryStream m;
    FileManager->LoadToStream(m, name);
    LoadFromStream(m, name);
}

void TPage::LoadFromStream(TStream& s, const std::string& name) {
    Commands.clear();
    Name = name;
    FieldReader r(s, Sjis("ページファイルが壊れています") + ": " + name);
    try {
        FormatVersion = r.U32("version");
        if (FormatVersion > kMaxVersion) return;
        if (FormatVersion < kMinVersion) {
            Terminating = true;
            ShowMessageBox(Sjis("リビルドしてください") + "\r\n" + name, Sjis("警告"), MessageBoxKind::OK,
                           MessageBoxIcon::Warning);
            RequestTermination();
            return;
        }
        ResultType = r.U8("result type");
        read_masks(r);
        read_commands(r);
    } catch (...) {
        Commands.clear();
        throw;
    }
}

void TPage::read_masks(FieldReader& r) {
    const uint32_t count = r.U32("mask count");
    const uint32_t size = r.U32("mask size");
    for (auto& m : Masks) m.fill(0);
    // A newer editor may store more masks, or longer ones, than this player
    // knows: only the bytes left bound them. Masks of no bytes hold nothing
    // and there is nothing to read for them, however many are claimed.
    if (size == 0) return;
    r.CheckCount(count, size, UINT32_MAX, "mask count");
    const uint32_t used = size < kMaskBytes ? size : kMaskBytes;
    const uint32_t known = count < kOpcodeCount ? count : kOpcodeCount;
    for (uint32_t i = 0; i < known; ++i) {
        r.Bytes(Masks[i].data(), used, "mask");
        r.Skip(size - used, "mask");
    }
    // The masks of kinds this player does not know are passed over whole.
    r.Skip(int64_t{count - known} * size, "mask");
}

void TPage::read_commands(FieldReader& r) {
    const uint32_t count = r.Count("command count", kMinCommandBytes, kMaxCommands);
    Commands.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto c = CreateCommand(r.U8("opcode"));
        // The records of the kinds raise their own messages; they are told
        // as this page's damage.
        try {
            c->LoadFromStream(r.Stream());
        } catch (const ECorruptData& e) {
            raise_corrupt_page(Name, e.Message());
        } catch (const EStreamError& e) {
            raise_corrupt_page(Name, e.Message());
        }
        Commands.push_back(std::move(c));
    }
}

std::unique_ptr<TCommand> TPage::CreateCommand(uint8_t opcode) { return CreateCommandOf(opcode, this); }

int32_t TPage::IndexOfLabel(const std::string& name) const {
    for (int32_t i = 0; i < Count(); ++i)
        if (Commands[static_cast<size_t>(i)]->MatchLabel(name)) return i;
    return -1;
}

int32_t TPage::IndexOfCommand(const TCommand* command) const {
    for (int32_t i = 0; i < Count(); ++i)
        if (Commands[static_cast<size_t>(i)].get() == command) return i;
    return -1;
}

void TPage::Run(TCallMan& cm, TPage*& current, bool& waiting, bool& prepared, int32_t& pc) {
    if (pc < 0 || pc >= Count()) {
        current = nullptr;
        return;
    }
    TPage* const old_page = current;
    const int32_t old_pc = pc;
    try {
        TCommand* c = Commands[static_cast<size_t>(pc)].get();
        if (VorqLogWrite && c != g_last_traced) {
            VorqLogWrite(CommandTraceLine(GameClock, Name, c->Line).c_str());
            g_last_traced = c;
        }
        if (!prepared) {
            if (c->GetSkip()) {
                ++pc;
                return;
            }
            c->Prepare(cm);
            prepared = true;
        }
        cm.ContinueFlag = c->GetContinue();
        waiting = c->IsWaiting();
        c->Execute(cm, current, pc);
    } catch (const ENotAvailable& e) {
        // Play goes on past a kind this build cannot run yet, but the trace
        // says which command was passed over.
        if (VorqLogWrite) {
            const uint32_t line = Commands[static_cast<size_t>(old_pc)]->Line;
            VorqLogWrite(NotAvailableTraceLine(GameClock, Name, line, e.Message()).c_str());
        }
        cm.EndFrame();
    } catch (const ECorruptData& e) {
        // Stored data that is damaged fails the same way in every frame: a
        // command that it kept where it was is reported once and passed
        // over (a page that failed to load was reported by the loader). One
        // that moved on, such as a call of a damaged page, is dealt with.
        if (current == old_page && pc == old_pc) {
            if (!cm.DamageReported(e.Message())) {
                const uint32_t line = Commands[static_cast<size_t>(old_pc)]->Line;
                cm.ReportDamage(Name + "\n" + std::to_string(old_pc),
                                e.Message() + "\r\n" + Name + "(" + std::to_string(line) + ")");
            }
            ++pc;
        }
        cm.EndFrame();
    } catch (const std::exception&) {
        // Dropped; the frame's run ends so that a failing command cannot
        // repeat within the frame.
        cm.EndFrame();
    }
    // Also after an error: a command that moved on before failing must not
    // leave the next one counted as prepared.
    if (current != old_page || pc != old_pc) prepared = false;
}
