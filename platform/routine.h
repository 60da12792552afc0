// The routine that is making platform calls on this thread.
//
// Each routine of the programs opens a RoutineScope with its own name; the
// simulated machine reads it to name the call site of every platform call
// (routine and call), which is how faults are aimed and how the set of call
// sites is made visible. In the Windows build it costs one thread-local store.
#pragma once

namespace zep {

const char* CurrentRoutine();

class RoutineScope {
public:
    explicit RoutineScope(const char* name);
    ~RoutineScope();
    RoutineScope(const RoutineScope&) = delete;
    RoutineScope& operator=(const RoutineScope&) = delete;

private:
    const char* previous_;
};

}  // namespace zep
