#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/error.h"
#include "core/tlog.h"

struct THREAD {
    std::thread thread;
    std::atomic<pid_t> tid{0};
    void (*fn)(void*);
    void* arg;
};

struct THREAD_EVENT {
    std::mutex lock;
    std::condition_variable cv;
    bool set = false;
};

struct THREAD_CRITSEC {
    std::recursive_mutex lock;
    std::atomic<std::thread::id> owner{};
    int depth = 0; // written by the owner only
};

static std::atomic<uint32_t (*)(void)> s_clockHook{nullptr};
static std::atomic<int> s_priorityLogged{0};

THREAD* Thread_Create(void (*fn)(void* arg), void* arg)
{
    THREAD* t = new THREAD;
    t->fn = fn;
    t->arg = arg;
    try {
        t->thread = std::thread([t] {
            t->tid.store((pid_t)syscall(SYS_gettid));
            t->fn(t->arg);
        });
    } catch (...) {
        Error_Fatal(ERRC_FATAL, "Could not start a thread");
    }
    return t;
}

int Thread_RaisePriority(THREAD* thread)
{
    // The kernel thread id is set by the thread itself; wait for it briefly.
    pid_t tid;
    while ((tid = thread->tid.load()) == 0) std::this_thread::yield();
    if (setpriority(PRIO_PROCESS, (id_t)tid, -1) == 0) return 1;
    if (s_priorityLogged.exchange(1) == 0)
        TLOG(TLOG_NWARN, "Above-normal thread priority needs privileges; running at normal priority");
    return 0;
}

void Thread_Join(THREAD* thread)
{
    if (!thread) return;
    if (thread->thread.joinable()) thread->thread.join();
    delete thread;
}

void Thread_Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

THREAD_EVENT* Event_Create(void) { return new THREAD_EVENT; }

void Event_Destroy(THREAD_EVENT* event) { delete event; }

void Event_Set(THREAD_EVENT* event)
{
    {
        std::lock_guard<std::mutex> hold(event->lock);
        event->set = true;
    }
    event->cv.notify_one();
}

int Event_Wait(THREAD_EVENT* event, uint32_t timeoutms)
{
    std::unique_lock<std::mutex> hold(event->lock);
    if (timeoutms == THREAD_INFINITE) {
        event->cv.wait(hold, [event] { return event->set; });
    } else if (!event->cv.wait_for(hold, std::chrono::milliseconds(timeoutms),
                                   [event] { return event->set; })) {
        return 0;
    }
    event->set = false;
    return 1;
}

THREAD_CRITSEC* CritSec_Create(void) { return new THREAD_CRITSEC; }
void CritSec_Destroy(THREAD_CRITSEC* cs) { delete cs; }
void CritSec_Enter(THREAD_CRITSEC* cs)
{
    cs->lock.lock();
    if (cs->depth++ == 0) cs->owner.store(std::this_thread::get_id());
}
void CritSec_Leave(THREAD_CRITSEC* cs)
{
    if (--cs->depth == 0) cs->owner.store(std::thread::id());
    cs->lock.unlock();
}
int CritSec_HeldByCaller(THREAD_CRITSEC* cs) { return cs->owner.load() == std::this_thread::get_id(); }

uint32_t Thread_ClockMs(void)
{
    uint32_t (*hook)(void) = s_clockHook.load();
    if (hook) return hook();
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return (uint32_t)std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void Thread_SetClockHook(uint32_t (*clock)(void)) { s_clockHook.store(clock); }
