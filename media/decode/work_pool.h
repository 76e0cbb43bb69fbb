// The slow work of sounds (decoding forward to a place, the look at a large
// Ogg's pages) runs on a few threads shared by every sound: any number of
// sounds started at once makes no more threads, and the threads that fill
// rings and mix keep the cores they need. Places go first, each kind in
// the order it was asked for, and neither kind takes every thread while
// the other waits: a place is heard as soon as a thread not kept for a
// waiting look is free, however many looks wait (a place that needs its
// own file's look takes it on itself, see Finish), and a look waits at
// most for the looks ahead of it and the work running when it was asked
// for, however many places keep coming. Each owner of such work asks
// through a slot of its own, which holds at most one piece queued and one
// running.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class WorkSlot {
public:
    enum class Kind { Place, Look };
    explicit WorkSlot(Kind kind);
    ~WorkSlot();  // closes
    WorkSlot(const WorkSlot&) = delete;
    WorkSlot& operator=(const WorkSlot&) = delete;

    // Queues work behind what the shared threads have to do; it may be
    // queued while the slot's last work is still ending. False, and nothing
    // queued, once closed or while work of the slot waits in the queue.
    // Nothing may leave the work: what it throws is dropped.
    bool Submit(std::function<void()> work);
    // Returns once the slot has no work queued or running: queued work is
    // run on this thread at once, work running is waited for. For a caller
    // that needs the work done: it never waits behind other slots' work (it
    // may be a shared thread itself, which the queue would wait for).
    void Finish();
    // Queues nothing more: work queued is dropped, work running waited for
    // (it must not wait for what the caller holds). Its owner may then be
    // freed: nothing of it runs again.
    void Close();

    // Reached by the shared threads after the owner may be gone.
    struct State {
        std::mutex Lock;
        std::condition_variable Idle;
        std::function<void()> Queued;
        bool Running = false;
        bool Closed = false;
        Kind Of = Kind::Place;
    };

private:
    std::shared_ptr<State> FState;
};
