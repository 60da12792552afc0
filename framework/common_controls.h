// The common controls library (the progress bar's window class).
#pragma once

namespace zep::fw {

// Registers the progress bar class. comctl32.dll is loaded by its full path
// in the system directory, never from the program's folder. Returns false
// when the library or its entry point is missing.
bool LoadCommonControls();

}  // namespace zep::fw
