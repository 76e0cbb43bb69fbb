// The interpreter: the running page and program counter, a cache of loaded
// pages, the call stack, the arguments of the current call, and the driver
// that each frame runs commands and starts the handler pages of queued
// events as calls that interrupt the current command.
#pragma once
#include "engine/page.h"
#include "files/containers.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TCustomParam;
class TTimerList;

// An object reference held by name (events and handlers must not keep an
// object alive or point at one that has gone). Unset = nil.
using TObjectRef = std::optional<std::string>;

struct TStack {
    std::string PageName;
    uint32_t PC = 0;
    uint8_t Prepared = 0;
    std::string ResultName;
    TArrayString Locals;
    TObjectRef EventObject;
    uint8_t ContinueFlag = 0;
    std::unique_ptr<TMemoryStream> State;
    std::unique_ptr<TCustomParam> ResultValue;

    TStack();
    ~TStack();
    void Reset();
    void MoveFrom(TStack& other);
    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s);
};

class TStackList {
public:
    int32_t Count() const { return static_cast<int32_t>(frames_.size()); }
    TStack& Get(int32_t i) const;
    TStack* Last() const { return frames_.empty() ? nullptr : frames_.back().get(); }
    TStack& Push();
    // The popped frame, moved into the spare; "スタックエラー" when empty.
    TStack& Pop();
    void Clear();
    TStack& Spare() { return spare_; }
    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s);

private:
    void frame_count_changed() const;
    std::vector<std::unique_ptr<TStack>> frames_;
    TStack spare_;
};

class TCallMan {
public:
    static constexpr size_t kPageCacheLimit = 10;

    TCallMan();
    ~TCallMan();

    TPage* Page = nullptr;
    int32_t PC = 0;
    uint8_t ContinueFlag = 0;
    TStackList Stack;
    uint8_t Prepared = 0;
    TArrayString Locals;
    int32_t State = 0;
    TObjectRef EventObject;
    int32_t NestLevel = 2;

    void Start(const std::string& name);
    TPage* GetPage(const std::string& name, bool to_front);
    // One frame's run of commands.
    bool Drive();
    int Step();
    int CallEvent(int32_t level);

    int32_t ArgCount() const { return Locals.Count(); }
    std::string GetArg(int32_t i) const;
    std::string EventObjectName() const;
    TCustomParam* TopFrameResult() const;
    bool CommandBlocksEvents() const;

    // Ends the current frame's run of commands, whatever the state.
    void EndFrame() { end_frame_ = true; }
    // Tells the player, once per key, of damaged data that play goes past
    // (a page that cannot be loaded, a command whose stored data is
    // damaged), so that the story does not stop without a word.
    void ReportDamage(const std::string& key, const std::string& message);
    bool DamageReported(const std::string& key) const { return damage_reported_.count(key) != 0; }

    // Pages in the cache, most recently used first.
    int32_t PageCount() const { return static_cast<int32_t>(pages_.size()); }
    TPage* CachedPage(int32_t i) const { return pages_[static_cast<size_t>(i)].get(); }

    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s, int32_t version);

private:
    friend class TComPCReset;
    bool pc_inside() const { return Page && PC >= 0 && PC < Page->Count(); }
    // CallEvent once the queue holds an entry.
    int start_event(TTimerList& queue, int32_t level);
    // Step's work once the command has run.
    int finish_step(const TPage* old_page, int32_t old_pc, int result);
    // The continuing run of plain commands in state 0, while no event is
    // queued; true when it ran one.
    bool run_plain();
    std::vector<std::unique_ptr<TPage>> pages_;
    // Damage already reported to the player (ReportDamage's keys).
    std::set<std::string> damage_reported_;
    bool end_frame_ = false;
};

// Removes from the registry's event queue (when there is one) every event
// whose handler started at a level from 1 to top / at exactly level.
void RemoveStartedEvents(int32_t top);
void RemoveEventsAtLevel(int32_t level);
// The handler page of an event label and its optional label; false when the
// label cannot name a page (shorter than the "vsb" it must end in).
bool HandlerPageOf(const std::string& event_label, std::string& page, std::string& label);
