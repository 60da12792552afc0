#include "framework/thread.h"

#include <process.h>

#include <new>

namespace zep::fw {

namespace {

struct ThreadStart {
    unsigned (*proc)(void*);
    void* param;
};

unsigned __stdcall ThreadEntry(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.proc(start.param);
}

}  // namespace

bool BeginThread(unsigned (*proc)(void*), void* param) {
    auto* start = new (std::nothrow) ThreadStart{proc, param};
    if (!start) return false;
    // The run-time's thread start, so that its per-thread data is set up
    // and freed with the thread.
    unsigned id = 0;
    auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadEntry, start, 0, &id));
    if (!thread) {
        delete start;
        return false;
    }
    CloseHandle(thread);
    return true;
}

}  // namespace zep::fw
