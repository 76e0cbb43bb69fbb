#include "media/decode/work_pool.h"

#include <algorithm>
#include <deque>
#include <system_error>
#include <thread>

namespace {
// Runs the slot's queued work with its lock held on entry (and again on
// return): true when more was queued meanwhile.
bool run_held(WorkSlot::State& s, std::unique_lock<std::mutex>& l) {
    std::function<void()> work = std::move(s.Queued);
    s.Queued = nullptr;
    s.Running = true;
    l.unlock();
    try {
        work();
    } catch (...) {
        // The work's owner has been told already, if it cares.
    }
    work = nullptr;
    l.lock();
    s.Running = false;
    s.Idle.notify_all();
    return s.Queued != nullptr;
}

// Half the cores, at least two (a place and a page check side by side) and
// at most four: each piece of work is one sound's, and sounds wait their
// turn rather than crowd out the threads that fill rings and mix. Neither
// kind takes the last thread while the other waits: looks never do, so
// that one is always left for places, and places not while a look waits,
// so that sounds placed every frame never hold a look back for longer
// than a place already running takes.
size_t pool_threads() {
    return std::clamp<size_t>(std::thread::hardware_concurrency() / 2, 2, 4);
}

// Made once and never destroyed, like the module's decoding thread: a
// process that ends through exit () may run static destructors while its
// threads still wait for work.
class Pool {
public:
    void Push(std::shared_ptr<WorkSlot::State> s) {
        std::lock_guard l(FLock);
        queue(s->Of).push_back(std::move(s));
        // A thread is made only when none is free for the work, and then
        // kept for the next.
        if (places() + looks() > FFree && FThreads < pool_threads()) {
            // None to be had (the process at its limit): the work waits for
            // a thread there is, or for the next push to make one, or is
            // taken by whoever finishes it.
            try {
                std::thread([this] { run(); }).detach();
                ++FThreads;
            } catch (const std::system_error&) {
            }
        }
        // A free thread may wait for a look while looks are at their
        // limit: each is woken to see whether the new work is its to take.
        FWake.notify_all();
    }

private:
    using Queue = std::deque<std::shared_ptr<WorkSlot::State>>;
    Queue& queue(WorkSlot::Kind k) { return k == WorkSlot::Kind::Place ? FPlaces : FLooks; }
    size_t look_threads() const { return pool_threads() - 1; }
    size_t place_threads() const { return FLooks.empty() ? pool_threads() : pool_threads() - 1; }
    // Pieces of work of the queue q that free threads may take now, with
    // running of its kind already running on at most limit threads.
    static size_t takeable(const Queue& q, size_t running, size_t limit) {
        return std::min(q.size(), running < limit ? limit - running : 0);
    }
    size_t places() const { return takeable(FPlaces, FPlacing, place_threads()); }
    size_t looks() const { return takeable(FLooks, FLooking, look_threads()); }
    void run() {
        std::unique_lock l(FLock);
        for (;;) {
            ++FFree;
            FWake.wait(l, [&] { return places() + looks() > 0; });
            --FFree;
            const bool look = places() == 0;
            Queue& q = look ? FLooks : FPlaces;
            std::shared_ptr<WorkSlot::State> s = std::move(q.front());
            q.pop_front();
            (look ? FLooking : FPlacing) += 1;
            l.unlock();
            {
                // The slot's work may have been taken by Finish or dropped
                // by Close since it was queued; work queued while it ran
                // goes to the back of the queue, so that one slot's chain
                // of work never holds a thread from the others.
                std::unique_lock sl(s->Lock);
                if (!s->Running && s->Queued && run_held(*s, sl)) {
                    sl.unlock();
                    Push(s);
                }
            }
            l.lock();
            (look ? FLooking : FPlacing) -= 1;
            // The thread is free for work its kind's limit held back from
            // a thread already free.
            FWake.notify_all();
        }
    }

    std::mutex FLock;
    std::condition_variable FWake;
    Queue FPlaces, FLooks;
    size_t FThreads = 0, FFree = 0, FPlacing = 0, FLooking = 0;
};

Pool& pool() {
    static Pool* p = new Pool;
    return *p;
}
}  // namespace

WorkSlot::WorkSlot(Kind kind) : FState(std::make_shared<State>()) { FState->Of = kind; }

WorkSlot::~WorkSlot() { Close(); }

bool WorkSlot::Submit(std::function<void()> work) {
    std::unique_lock l(FState->Lock);
    if (FState->Closed || FState->Queued) return false;
    FState->Queued = std::move(work);
    // The thread running the last work queues this one when it ends.
    if (FState->Running) return true;
    l.unlock();
    pool().Push(FState);
    return true;
}

void WorkSlot::Finish() {
    std::unique_lock l(FState->Lock);
    for (;;) {
        if (FState->Running) {
            FState->Idle.wait(l);
        } else if (FState->Queued) {
            run_held(*FState, l);
        } else {
            return;
        }
    }
}

void WorkSlot::Close() {
    std::function<void()> dropped;
    std::unique_lock l(FState->Lock);
    FState->Closed = true;
    dropped = std::move(FState->Queued);
    FState->Queued = nullptr;
    FState->Idle.wait(l, [&] { return !FState->Running; });
}
