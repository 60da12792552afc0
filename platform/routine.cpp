#include "platform/routine.h"

namespace zep {

namespace {
// A plain pointer: the names are string literals, so nothing is owned.
thread_local const char* g_routine = "";
}  // namespace

const char* CurrentRoutine() { return g_routine; }

RoutineScope::RoutineScope(const char* name) : previous_(g_routine) { g_routine = name; }

RoutineScope::~RoutineScope() { g_routine = previous_; }

}  // namespace zep
