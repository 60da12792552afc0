#include "framework/common_controls.h"

#include <windows.h>

#include <string>

namespace zep::fw {

namespace {

// The structure of InitCommonControlsEx, declared here so that commctrl.h
// (and with it an import of comctl32) stays out of the program.
struct InitCommonControlsExArgs {
    DWORD dwSize;
    DWORD dwICC;
};
constexpr DWORD kIccProgressClass = 0x20;

std::string SystemDirectory() {
    char buf[MAX_PATH + 1];
    UINT n = GetSystemDirectoryA(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

}  // namespace

bool LoadCommonControls() {
    std::string dir = SystemDirectory();
    if (dir.empty()) return false;
    // Kept loaded for the life of the process: the dialogs need the class.
    HMODULE module = LoadLibraryA((dir + "\\comctl32.dll").c_str());
    if (!module) return false;

    using InitEx = BOOL(WINAPI*)(const InitCommonControlsExArgs*);
    auto initEx = reinterpret_cast<InitEx>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "InitCommonControlsEx")));
    if (initEx) {
        InitCommonControlsExArgs args{sizeof(InitCommonControlsExArgs), kIccProgressClass};
        if (initEx(&args)) return true;
    }
    // Libraries older than 4.70 only have the plain entry point, which
    // registers every class.
    using Init = void(WINAPI*)();
    auto init = reinterpret_cast<Init>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "InitCommonControls")));
    if (!init) return false;
    init();
    return true;
}

}  // namespace zep::fw
