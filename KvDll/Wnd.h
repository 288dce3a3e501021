#pragma once
// Windows and window messages. A window is a 32-bit id from a process-wide table; it belongs
// to the thread that created it, and its procedure runs only on that thread. Other threads
// reach it by queueing messages: PostMessage returns at once, SendMessage waits for the
// answer. Each thread has one queue for all of its windows, worked off by PumpMessages.
//
// A thread blocked in a cross-thread SendMessage keeps answering messages sent to its own
// windows, so two threads may send to each other, and WaitPumping lets the user-interface
// thread wait for a worker while serving the worker's sends. A window whose thread ends is
// destroyed with it. No lock is held while a procedure or a wake-up callback runs.

#include <cstdint>

#include "KvDll/Sync.h"

using KvWnd = uint32_t;  // 0 = none
using KvWndProc = long (*)(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);
using KvWakeFn = void (*)(void* ctx);

// Calling thread becomes the owner. A null procedure answers 0 to everything.
KvWnd CreateWindow(KvWndProc proc, void* user = nullptr);
// Any thread. Removes the window at once, drops its queued posts and releases every sender
// still waiting for its message with 0; a message being processed right now completes.
bool DestroyWindow(KvWnd wnd);
// Any thread.
bool IsWindow(KvWnd wnd);
// Any thread. True when the calling thread owns wnd.
bool IsWindowThread(KvWnd wnd);

// Any thread. Installs proc and returns the previous procedure (null for an unknown window,
// which is left alone). A subclass procedure passes what it does not handle on with
// CallWindowProc(previous, ...). Messages already queued go to the procedure current when
// they are processed.
KvWndProc SetWindowProc(KvWnd wnd, KvWndProc proc);
KvWndProc GetWindowProc(KvWnd wnd);
// Calls prev on the calling thread; 0 for a null prev.
long CallWindowProc(KvWndProc prev, KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);

// Any thread. The data pointer of the object that owns the window; Set returns the previous.
void* GetWindowUser(KvWnd wnd);
void* SetWindowUser(KvWnd wnd, void* user);

// Any thread. On the owner thread the procedure is called directly; from another thread the
// message is queued and the caller blocks (answering sends to its own windows meanwhile)
// until the owner has processed it. 0 at once for an unknown or destroyed window.
long SendMessage(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);
// Calling thread: true while the innermost procedure running on it answers a message sent by
// another thread (false for a direct send on the owner thread and for a post), so a handler
// can tell work reported by a worker from work done on its own thread.
bool InSendMessage();
// Any thread. Queues only; false for an unknown window. One thread's posts arrive in order.
bool PostMessage(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);

// Calling thread: processes the messages queued for it when the call starts, in order, and
// returns how many were processed. Messages queued meanwhile wait for the next call.
int PumpMessages();
// Calling thread: true as soon as something is queued for it, false after ms (negative =
// forever). Processes nothing.
bool WaitMessage(long ms);
// Calling thread: WaitForObjects (wait for any one) that processes the thread's queue while it
// waits. Answers as WaitForObjects does; n = 0 with a null list only pumps until ms is over.
int WaitPumping(KvWaitable* const* objects, int n, long ms);

// Calling thread: fn(ctx) is called, on the thread that queues it, whenever a message is
// queued for the calling thread; null removes it. When this returns, the previous callback is
// neither running on another thread nor called again. The callback must not block on the
// thread it wakes; it typically schedules a PumpMessages on that thread's event loop.
void SetWakeCallback(KvWakeFn fn, void* ctx);
