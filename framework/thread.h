// The worker thread and the lock behind it (plain Win32: the programs must
// start on systems whose kernel lacks what std::thread needs).
#pragma once

#include <windows.h>

namespace zep::fw {

// Runs proc(param) on a new thread: 0, or the system's error code when the
// thread could not be made.
DWORD BeginThread(unsigned (*proc)(void*), void* param);

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_{};
};

class Lock {
public:
    explicit Lock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~Lock() { section_.Leave(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CriticalSection& section_;
};

}  // namespace zep::fw
