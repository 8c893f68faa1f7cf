// Threads, events, critical sections, sleeping and the network's clock.
//
// The network code was shaped around a system's thread primitives; these are
// the same operations over the C++ standard library. An event is auto-reset:
// a set that finds no waiter stays set until the next wait consumes it, so a
// wake-up made between a consumer's emptiness test and its wait is never lost.
// Critical sections are re-entrant, as the callers nest them.
#pragma once

#include <cstdint>

struct THREAD;
struct THREAD_EVENT;
struct THREAD_CRITSEC;

enum { THREAD_INFINITE = 0xFFFFFFFFu };

// Starts fn(arg) on a new thread; never null (a failure is fatal).
THREAD* Thread_Create(void (*fn)(void* arg), void* arg);
// Asks for above-normal priority; without the privilege it is logged once
// (NWARN) and ignored. Returns 1 when raised.
int Thread_RaisePriority(THREAD* thread);
// Waits until the thread has ended and frees it; null is nothing to do.
void Thread_Join(THREAD* thread);
// Gives the processor away for ms milliseconds of real time.
void Thread_Sleep(uint32_t ms);

// A new auto-reset event, not set.
THREAD_EVENT* Event_Create(void);
// Frees the event; null is nothing to do. Nobody may be waiting on it.
void Event_Destroy(THREAD_EVENT* event);
// Sets the event: wakes one waiter, or stays set until the next wait.
void Event_Set(THREAD_EVENT* event);
// Waits until the event is set (clearing it) or timeoutms of real time pass
// (THREAD_INFINITE: no limit); 1 when set, 0 on the time-out.
int Event_Wait(THREAD_EVENT* event, uint32_t timeoutms);

// A new re-entrant critical section.
THREAD_CRITSEC* CritSec_Create(void);
// Frees it; null is nothing to do. Nobody may hold it.
void CritSec_Destroy(THREAD_CRITSEC* cs);
void CritSec_Enter(THREAD_CRITSEC* cs);
void CritSec_Leave(THREAD_CRITSEC* cs);
// 1 when the calling thread holds the critical section.
int CritSec_HeldByCaller(THREAD_CRITSEC* cs);

// The network's millisecond clock: u32, monotonic, wrapping; real time even
// under the headless backend (the peers are real machines).
uint32_t Thread_ClockMs(void);
// Replaces the clock (tests drive a virtual one); null restores real time.
void Thread_SetClockHook(uint32_t (*clock)(void));
