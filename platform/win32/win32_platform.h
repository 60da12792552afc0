// The real Windows implementation of the seam: process-wide objects whose
// methods each make one Win32 call (or one size/data pair of calls).
//
// User is not here: it needs the program's main window and lives with the
// dialog framework.
#pragma once

#include "platform/platform.h"

namespace zep {

Kernel& Win32Kernel();
Advapi& Win32Advapi();
Spooler& Win32Spooler();
Setup& Win32Setup();

}  // namespace zep
