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

DWORD BeginThread(unsigned (*proc)(void*), void* param) {
    auto* start = new (std::nothrow) ThreadStart{proc, param};
    if (!start) return ERROR_NOT_ENOUGH_MEMORY;
    // The run-time's thread start, so that its per-thread data is set up
    // and freed with the thread. It leaves the system's code from
    // CreateThread in place when it fails.
    unsigned id = 0;
    SetLastError(0);
    auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadEntry, start, 0, &id));
    if (!thread) {
        DWORD error = GetLastError();
        delete start;
        return error ? error : ERROR_NOT_ENOUGH_MEMORY;
    }
    CloseHandle(thread);
    return 0;
}

}  // namespace zep::fw
