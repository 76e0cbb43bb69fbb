#include "engine/page.h"

#include "engine/call_man.h"
#include "engine/commands.h"
#include "engine/game_clock.h"
#include "engine/param_collection.h"
#include "files/vr_file_manager.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/trace.h"

#include <cstdio>

namespace {

// Smallest stored command: opcode byte and the 10-byte common header.
constexpr int64_t kMinCommandBytes = 11;

// The command traced last, compared by address only (never followed).
const TCommand* g_last_traced = nullptr;

[[noreturn]] void raise_corrupt_page(const std::string& name, const std::string& why) {
    throw ECorruptData(Sjis("ページファイルが壊れています") + ": " + name + " (" + why + ")");
}

void skip_bytes(TStream& s, uint64_t n) {
    if (n > static_cast<uint64_t>(s.Remaining())) RaiseTruncatedRecord();
    s.Seek(static_cast<int64_t>(n), SeekOrigin::Current);
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
    try {
        FormatVersion = ReadRecordU32(s);
        if (FormatVersion > kMaxVersion) return;
        if (FormatVersion < kMinVersion) {
            Terminating = true;
            ShowMessageBox(Sjis("リビルドしてください") + "\r\n" + name, Sjis("警告"), MessageBoxKind::OK,
                           MessageBoxIcon::Warning);
            RequestTermination();
            return;
        }
        ResultType = ReadRecordU8(s);
        const uint32_t n = ReadRecordU32(s);
        const uint32_t size = ReadRecordU32(s);
        if (static_cast<uint64_t>(n) * size > static_cast<uint64_t>(s.Remaining())) RaiseTruncatedRecord();
        for (auto& m : Masks) m.fill(0);
        const uint32_t used = size < kMaskBytes ? size : kMaskBytes;
        for (uint32_t i = 0; i < n; ++i) {
            if (i < kOpcodeCount) {
                s.ReadBuffer(Masks[i].data(), used);
                skip_bytes(s, size - used);
            } else {
                skip_bytes(s, size);
            }
        }
        read_commands(s);
    } catch (const ECorruptData& e) {
        Commands.clear();
        raise_corrupt_page(name, e.Message());
    } catch (const EStreamError& e) {
        Commands.clear();
        raise_corrupt_page(name, e.Message());
    } catch (...) {
        Commands.clear();
        throw;
    }
}

void TPage::read_commands(TStream& s) {
    const uint32_t count = ReadRecordU32(s);
    if (count > static_cast<uint64_t>(s.Remaining()) / kMinCommandBytes) RaiseTruncatedRecord();
    Commands.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto c = CreateCommand(ReadRecordU8(s));
        c->LoadFromStream(s);
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
    } catch (const std::exception&) {
        // Dropped; the frame's run ends so that a failing command cannot
        // repeat within the frame.
        cm.EndFrame();
    }
    // Also after an error: a command that moved on before failing must not
    // leave the next one counted as prepared.
    if (current != old_page || pc != old_pc) prepared = false;
}

std::unique_ptr<TCommand> CreateCommandOf(uint8_t opcode, TPage* page) {
    switch (opcode & 127) {
    case opIf: return std::make_unique<TComIf>(page);
    case opElseif: return std::make_unique<TComElseif>(page);
    case opElse: return std::make_unique<TComElse>(page);
    case opLabel: return std::make_unique<TComLabel>(page);
    case opJump: return std::make_unique<TComJump>(page);
    case opCall: return std::make_unique<TComCall>(page);
    case opExit: return std::make_unique<TComExit>(page);
    case opWait: return std::make_unique<TComWait>(page);
    case opBoxNew: return std::make_unique<TComBoxNew>(page);
    case opImgNew: return std::make_unique<TComImgNew>(page);
    case opMesNew: return std::make_unique<TComMesNew>(page);
    case opTimer: return std::make_unique<TComTimer>(page);
    case opMovie: return std::make_unique<TComMovie>(page);
    case opFlip: return std::make_unique<TComFlip>(page);
    case opCalc: return std::make_unique<TComCalc>(page);
    case opVarNew: return std::make_unique<TComVarNew>(page);
    case opVarDel: return std::make_unique<TComVarDel>(page);
    case opGetProp: return std::make_unique<TComGetProp>(page);
    case opSetProp: return std::make_unique<TComSetProp>(page);
    case opObjDel: return std::make_unique<TComObjDel>(page);
    case opTextIns: return std::make_unique<TComTextIns>(page);
    case opMovieStop: return std::make_unique<TComMovieStop>(page);
    case opClrHist: return std::make_unique<TComClrHist>(page);
    case opCinema: return std::make_unique<TComCinema>(page);
    case opCaption: return std::make_unique<TComCaption>(page);
    case opMenu: return std::make_unique<TComMenu>(page);
    case opMenuClose: return std::make_unique<TComMenuClose>(page);
    case opComment: return std::make_unique<TComComment>(page);
    case opTextClr: return std::make_unique<TComTextClr>(page);
    case opCallHist: return std::make_unique<TComCallHist>(page);
    case opBtnNew: return std::make_unique<TComBtnNew>(page);
    case opWhile: return std::make_unique<TComWhile>(page);
    case opWhileInit: return std::make_unique<TComWhileInit>(page);
    case opWhileLoop: return std::make_unique<TComWhileLoop>(page);
    case opBreak: return std::make_unique<TComBreak>(page);
    case opContinue: return std::make_unique<TComContinue>(page);
    case opParticleNew: return std::make_unique<TComParticleNew>(page);
    case opFireNew: return std::make_unique<TComFireNew>(page);
    case opGameSave: return std::make_unique<TComGameSave>(page);
    case opGameLoad: return std::make_unique<TComGameLoad>(page);
    case opPCReset: return std::make_unique<TComPCReset>(page);
    case opReset: return std::make_unique<TComReset>(page);
    case opSound: return std::make_unique<TComSound>(page);
    case opEditNew: return std::make_unique<TComEditNew>(page);
    case opMemoNew: return std::make_unique<TComMemoNew>(page);
    case opTerminate: return std::make_unique<TComTerminate>(page);
    case opDoEvent: return std::make_unique<TComDoEvent>(page);
    case opClrRead: return std::make_unique<TComClrRead>(page);
    case opMapImgNew: return std::make_unique<TComMapImgNew>(page);
    case opWaveNew: return std::make_unique<TComWaveNew>(page);
    case opTileNew: return std::make_unique<TComTileNew>(page);
    case opSliderNew: return std::make_unique<TComSliderNew>(page);
    case opScrollbarNew: return std::make_unique<TComScrollbarNew>(page);
    case opGaugeNew: return std::make_unique<TComGaugeNew>(page);
    case opCGCaption: return std::make_unique<TComCGCaption>(page);
    case opMediaPlay: return std::make_unique<TComMediaPlay>(page);
    case opPrevMenuNew: return std::make_unique<TComPrevMenuNew>(page);
    case opPropMotion: return std::make_unique<TComPropMotion>(page);
    case opEntryHist: return std::make_unique<TComEntryHist>(page);
    case opCabinetSave: return std::make_unique<TComCabinetSave>(page);
    case opCabinetLoad: return std::make_unique<TComCabinetLoad>(page);
    default: throw Exception(Sjis("不正なコマンド"));
    }
}
