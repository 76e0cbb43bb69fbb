#include "engine/call_man.h"

#include "script/game_clock.h"
#include "script/param.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "objects/scene/scene.h"
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "platform/display/message_box.h"
#include "platform/system/trace.h"

#include <algorithm>

namespace {

// Smallest stored call frame: three empty strings, two u32, two u8, the
// argument count, the state size and the result type.
constexpr int64_t kMinFrameBytes = 4 + 4 + 1 + 1 + 4 + 4 + 4 + 4 + 1;
// Far deeper than any game calls; a save claiming more is damaged.
constexpr uint32_t kMaxFrames = 1u << 20;

const std::string& save_message() {
    static const std::string message = Sjis("セーブデータが壊れています");
    return message;
}

// The name of a referenced object while it still exists in the registry.
std::string live_name(const TObjectRef& ref) {
    if (!ref || !Scene || !Scene->ObjectExists(*ref)) return {};
    return *ref;
}

// An object named in a save: kept while the registry has it.
TObjectRef ref_from_name(const std::string& name) {
    if (name.empty() || !Scene || !Scene->ObjectExists(name)) return std::nullopt;
    return name;
}

}  // namespace

void RemoveStartedEvents(int32_t top) {
    if (Scene) Scene->Events().RemoveStartedUpTo(top);
}

void RemoveEventsAtLevel(int32_t level) {
    if (Scene) Scene->Events().RemoveByState(level);
}

bool HandlerPageOf(const std::string& event_label, std::string& page, std::string& label) {
    page = event_label;
    label.clear();
    SplitFileLabel(page, label);
    if (page.size() < 3) return false;
    page.replace(page.size() - 3, 3, "vsb");
    return true;
}

// ---- call frames ------------------------------------------------------------

TStack::TStack() = default;
TStack::~TStack() = default;

void TStack::Reset() {
    PageName.clear();
    PC = 0;
    Prepared = 0;
    ResultName.clear();
    Locals.Clear();
    EventObject.reset();
    ContinueFlag = 0;
    State.reset();
    ResultValue.reset();
}

void TStack::MoveFrom(TStack& other) {
    PageName = std::move(other.PageName);
    PC = other.PC;
    Prepared = other.Prepared;
    ResultName = std::move(other.ResultName);
    Locals.Assign(other.Locals);
    EventObject = std::move(other.EventObject);
    ContinueFlag = other.ContinueFlag;
    State = std::move(other.State);
    ResultValue = std::move(other.ResultValue);
}

void TStack::SaveToStream(TStream& s) const {
    WriteStreamString(s, PageName);
    WriteStreamInteger(s, static_cast<int32_t>(PC));
    WriteStreamByte(s, Prepared);
    WriteStreamByte(s, ContinueFlag);
    WriteStreamString(s, ResultName);
    Locals.SaveToStream(s);
    WriteStreamString(s, live_name(EventObject));
    if (State) {
        WriteStreamInteger(s, static_cast<int32_t>(State->GetSize()));
        CopyStreamAll(s, *State);
    } else {
        WriteStreamInteger(s, 0);
    }
    const uint8_t type = ResultValue ? ResultValue->ParamType() : uint8_t{PT_NONE};
    WriteStreamByte(s, type);
    if (type != PT_NONE) ResultValue->SaveToStream(s);
}

void TStack::LoadFromStream(TStream& s) {
    Reset();
    FieldReader r(s, save_message());
    PageName = r.String("page name");
    PC = r.U32("command index");
    Prepared = r.U8("prepared");
    ContinueFlag = r.U8("continue");
    ResultName = r.String("result variable");
    Locals.LoadFromStream(s);
    EventObject = ref_from_name(r.String("event object"));
    const uint32_t size = r.U32("state size");
    r.Need(size, "command state");
    if (size > 0) {
        State = std::make_unique<TMemoryStream>();
        CopyStreamBytes(*State, s, size);
    }
    const uint8_t type = r.U8("result type");
    if (type == PT_NONE) return;
    // Only a storable value is ever written here; any other code leaves the
    // length of what follows unknown.
    if (type < PT_INT || type > PT_STR) r.Fail("result type");
    ResultValue = CreateParam(type);
    ResultValue->LoadFromStream(s);
}

TStack& TStackList::Get(int32_t i) const {
    CheckListIndex(i, Count());
    return *frames_[static_cast<size_t>(i)];
}

void TStackList::frame_count_changed() const {
    if (Params) Params->SetCurrentFrameId(Count());
}

TStack& TStackList::Push() {
    frames_.push_back(std::make_unique<TStack>());
    frame_count_changed();
    return *frames_.back();
}

TStack& TStackList::Pop() {
    if (frames_.empty()) throw Exception(Sjis("スタックエラー"));
    spare_.Reset();
    spare_.MoveFrom(*frames_.back());
    frames_.pop_back();
    frame_count_changed();
    return spare_;
}

void TStackList::Clear() {
    frames_.clear();
    frame_count_changed();
}

void TStackList::SaveToStream(TStream& s) const {
    spare_.SaveToStream(s);
    WriteStreamInteger(s, Count());
    for (auto& f : frames_) f->SaveToStream(s);
}

void TStackList::LoadFromStream(TStream& s) {
    Clear();
    spare_.LoadFromStream(s);
    FieldReader r(s, save_message());
    const uint32_t n = r.Count("call frames", kMinFrameBytes, kMaxFrames);
    for (uint32_t i = 0; i < n; ++i) {
        auto f = std::make_unique<TStack>();
        f->LoadFromStream(s);
        frames_.push_back(std::move(f));
    }
    frame_count_changed();
}

// ---- the interpreter ----------------------------------------------------------

TCallMan::TCallMan() = default;
TCallMan::~TCallMan() = default;

TPage* TCallMan::GetPage(const std::string& name, bool to_front) {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (pages_[i]->Name != name) continue;
        if (to_front) {
            PC = 0;
            std::rotate(pages_.begin(), pages_.begin() + static_cast<std::ptrdiff_t>(i),
                        pages_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
        return to_front ? pages_.front().get() : pages_[i].get();
    }
    auto page = std::make_unique<TPage>();
    try {
        page->LoadFromFile(name);
    } catch (const Exception& e) {
        // Whoever asked drops the error and play goes on without the page,
        // so the player is told, once a page, why the story went no further.
        // (The message names the page.)
        ReportDamage(e.Message(), e.Message());
        throw;
    }
    TPage* p = page.get();
    // Only a page that loaded resets the counter, so that a failed load
    // leaves the running page where it was.
    if (!to_front) {
        pages_.push_back(std::move(page));
        return p;
    }
    PC = 0;
    pages_.insert(pages_.begin(), std::move(page));
    while (pages_.size() > kPageCacheLimit && pages_.back().get() != Page) pages_.pop_back();
    return p;
}

void TCallMan::ReportDamage(const std::string& key, const std::string& message) {
    if (damage_reported_.insert(key).second)
        ShowMessageBox(message, Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
}

void TCallMan::Start(const std::string& name) {
    Page = GetPage(name, true);
    PC = 0;
    Prepared = false;
    Locals.Clear();
    State = 0;
    Stack.Clear();
    EventObject.reset();
    RemoveStartedEvents(NestLevel);
    NestLevel = 2;
}

std::string TCallMan::GetArg(int32_t i) const {
    if (i < 0 || i >= Locals.Count()) return {};
    return Locals.Get(i);
}

std::string TCallMan::EventObjectName() const {
    if (State == 0) return {};
    return live_name(EventObject);
}

TCustomParam* TCallMan::TopFrameResult() const {
    TStack* f = Stack.Last();
    return f ? f->ResultValue.get() : nullptr;
}

bool TCallMan::CommandBlocksEvents() const {
    return pc_inside() && Prepared && Page->GetItem(PC)->BlocksEvents();
}

int TCallMan::Step() {
    if (!Page) {
        // Nothing runs until a jump, a call or a load: the frame is over.
        end_frame_ = true;
        return 0;
    }
    TPage* const old_page = Page;
    const int32_t old_pc = PC;
    bool waiting = false;
    bool prepared = Prepared;
    Page->Run(*this, Page, waiting, prepared, PC);
    Prepared = prepared;
    return finish_step(old_page, old_pc, waiting ? 2 : 0);
}

int TCallMan::finish_step(const TPage* old_page, int32_t old_pc, int result) {
    if (Page) {
        // A command that stays where it is (waits, text, transitions, a
        // failed command) ends the frame's run even with its continue flag
        // set: with the clock frozen inside a frame it could never finish.
        if (Page == old_page && PC == old_pc) end_frame_ = true;
        return result;
    }
    if (Stack.Count() == 0) {
        ContinueFlag = false;
        return result;
    }
    if (Params) Params->DeleteFrame(Stack.Count());
    TStack& f = Stack.Pop();
    if (!f.ResultName.empty() && f.ResultValue && Params)
        if (TParamCollectionItem* v = Params->Find(f.ResultName)) {
            // A result that does not fit the variable (an element list
            // without dimensions, as a damaged save can hold) is dropped
            // like a command's error: the return itself must complete.
            try {
                v->AssignConverted(*f.ResultValue);
            } catch (const Exception&) {
            }
        }
    // A handler that interrupted the ended main flow returns to no page;
    // so does a caller whose page can no longer be loaded (that flow ends
    // instead of the error leaving the frame loop).
    Page = nullptr;
    if (!f.PageName.empty()) {
        try {
            Page = GetPage(f.PageName, true);
        } catch (const Exception&) {
            Page = nullptr;
        }
    }
    PC = static_cast<int32_t>(f.PC);
    Prepared = f.Prepared != 0;
    ContinueFlag = f.ContinueFlag;
    Locals.Assign(f.Locals);
    EventObject = f.EventObject;
    if (f.State && pc_inside()) {
        f.State->SetPosition(0);
        try {
            Page->GetItem(PC)->LoadState(*f.State);
        } catch (const Exception&) {
            // A state it cannot read (from a damaged save): the command
            // starts afresh instead of the error leaving the frame loop.
            Prepared = false;
        }
    }
    return EventObject ? -1 : 1;
}

int TCallMan::CallEvent(int32_t level) {
    if (!Scene) return 0;
    TTimerList& queue = Scene->Events();
    // The queue first: it is almost always empty, and the answer is the same.
    return queue.Count() == 0 ? 0 : start_event(queue, level);
}

int TCallMan::start_event(TTimerList& queue, int32_t level) {
    TTimerEntry* e = queue.FirstPending();
    if (!e || CommandBlocksEvents()) return 0;
    std::string handler, label;
    if (!HandlerPageOf(e->Label, handler, label)) {
        // No page name can come of it: drop it rather than let it hold up
        // every event queued after it.
        queue.Remove(e);
        return 0;
    }
    if (!ProjectFileExists(handler)) return 0;
    std::unique_ptr<TMemoryStream> state;
    if (pc_inside() && Prepared) Page->GetItem(PC)->SaveState(state);
    const int32_t pc = PC;
    // Loaded before anything changes, so that a page that fails to load
    // leaves the interrupted flow as it was; its event can never run and
    // goes rather than coming back every frame.
    TPage* page;
    try {
        page = GetPage(handler, true);
    } catch (const Exception&) {
        queue.Remove(e);
        return 0;
    }
    TStack& f = Stack.Push();
    f.PageName = Page ? Page->Name : std::string();
    f.PC = static_cast<uint32_t>(pc);
    f.Prepared = Prepared;
    f.Locals.Assign(Locals);
    f.EventObject = EventObject;
    f.ContinueFlag = ContinueFlag;
    f.State = std::move(state);
    Page = page;
    PC = 0;
    if (!label.empty()) {
        const int32_t i = Page->IndexOfLabel(label);
        if (i >= 0) PC = i;
    }
    if (VorqLogWrite && pc_inside())
        VorqLogWrite(EventTraceLine(GameClock, handler, Page->GetItem(PC)->Line).c_str());
    Prepared = false;
    e->State = level;
    Locals.Assign(e->Args);
    EventObject = e->Object;
    State = 1;
    return 1;
}

// The steps Drive and Step take for a plain command in state 0 with the
// event queue empty, in one loop: a loop of a script runs here without
// asking each command what it is or the scene for its queue.
bool TCallMan::run_plain() {
    const TSceneLink* scene = Scene;
    const TTimerList* queue = scene ? &Scene->Events() : nullptr;
    bool ran = false;
    for (;;) {
        if (ran && (Terminating || end_frame_ || !ContinueFlag || State != 0)) return true;
        if (Scene != scene) {
            scene = Scene;
            queue = scene ? &Scene->Events() : nullptr;
        }
        // Queued events, the trace, and any other kind take the full step.
        if ((queue && queue->Count() != 0) || VorqLogWrite || !pc_inside()) return ran;
        TCommand* c = Page->GetItem(PC);
        if (c->StepMode == TCommand::Stepping::Ask) return ran;
        ran = true;
        if (!Prepared && c->Skip) {
            ++PC;
            continue;
        }
        TPage* const old_page = Page;
        const int32_t old_pc = PC;
        ContinueFlag = c->StepMode == TCommand::Stepping::Always || c->Continue != 0;
        try {
            c->Execute(*this, Page, PC);
        } catch (const std::exception&) {
            // As TPage::Run: dropped, and the frame's run ends.
            end_frame_ = true;
        }
        const bool stayed = Page == old_page && PC == old_pc;
        Prepared = stayed;
        if (!Page) finish_step(old_page, old_pc, 0);
        else if (stayed) end_frame_ = true;
    }
}

bool TCallMan::Drive() {
    end_frame_ = false;
    for (;;) {
        switch (State) {
        case 0:
            if (CallEvent(1) != 1 && !run_plain()) Step();
            break;
        case 1: {
            const int r = Step();
            if (r == 1) {
                RemoveEventsAtLevel(1);
                State = 0;
                ContinueFlag = true;
            } else if (r == 2) {
                NestLevel = 2;
                State = 2;
                return true;
            } else if (State != 1) {
                ContinueFlag = true;
            }
            break;
        }
        case 2:
            if (CallEvent(NestLevel) == 0) {
                State = NestLevel <= 2 ? 1 : 3;
            } else {
                ++NestLevel;
                State = 3;
            }
            break;
        case 3: {
            const int r = Step();
            if (r == 1 || r == -1) {
                --NestLevel;
                RemoveEventsAtLevel(NestLevel);
                if (NestLevel <= 2) State = 2;
            } else if (r == 2) {
                State = 2;
                return true;
            }
            break;
        }
        default:
            State = 0;
            return true;
        }
        if (Terminating || end_frame_ || (!ContinueFlag && State == 0)) break;
    }
    return true;
}

void TCallMan::SaveToStream(TStream& s) const {
    WriteStreamString(s, Page ? Page->Name : std::string());
    WriteStreamInteger(s, PC);
    WriteStreamByte(s, ContinueFlag);
    WriteStreamByte(s, Prepared ? 1 : 0);
    WriteStreamInteger(s, State);
    WriteStreamString(s, live_name(EventObject));
    Locals.SaveToStream(s);
    Stack.SaveToStream(s);
    WriteStreamInteger(s, NestLevel);
    if (Prepared && pc_inside()) {
        std::unique_ptr<TMemoryStream> state;
        Page->GetItem(PC)->SaveState(state);
        if (state) CopyStreamAll(s, *state);
    }
}

void TCallMan::LoadFromStream(TStream& s, int32_t version) {
    FieldReader r(s, save_message());
    const std::string page_name = r.String("page name");
    const int32_t pc = r.I32("command index");
    const uint8_t continue_flag = r.U8("continue");
    const uint8_t prepared = r.U8("prepared");
    const int32_t state = r.I32("driver state");
    // Any other state would leave the driver doing nothing forever.
    if (state < 0 || state > 3) r.Fail("driver state");
    const std::string object = r.String("event object");
    Locals.LoadFromStream(s);
    Stack.LoadFromStream(s);
    NestLevel = version >= 116 ? r.I32("nest level") : 2;
    Page = page_name.empty() ? nullptr : GetPage(page_name, true);
    PC = pc;
    ContinueFlag = continue_flag;
    Prepared = prepared != 0;
    State = state;
    EventObject = ref_from_name(object);
    if (Prepared && pc_inside()) Page->GetItem(PC)->LoadState(s);
}
