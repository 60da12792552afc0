// The window-system part of the seam for Windows: string table, message
// boxes and restart, bound to the application object.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace zep::fw {

class Win32User final : public User {
public:
    // Strings are loaded from `resources` (nullptr: the program's own module).
    explicit Win32User(HMODULE resources = nullptr) : resources_(resources) {}

    std::string LoadStringA(uint32_t id) override;
    Status ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    // Caption: the application name; owner: the application's main window.
    int AfxMessageBox(const std::string& text, uint32_t style) override;
    int MessageBoxA(uintptr_t owner, const std::string& text, const std::string& caption,
                    uint32_t style) override;

private:
    HMODULE resources_;
};

}  // namespace zep::fw
