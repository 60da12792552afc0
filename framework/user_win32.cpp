#include "framework/user_win32.h"

#include <vector>

#include "framework/app.h"

namespace zep::fw {

std::string Win32User::LoadStringA(uint32_t id) {
    HMODULE module = resources_ ? resources_ : GetModuleHandleA(nullptr);
    // A string table entry holds at most 65535 characters; grow until the
    // text fits with room to spare, so nothing is cut.
    for (size_t size = 256; size <= size_t{65536} * 2; size *= 2) {
        std::vector<char> buf(size);
        int n = ::LoadStringA(module, id, buf.data(), static_cast<int>(size));
        if (n <= 0) return std::string();
        if (static_cast<size_t>(n) < size - 1) return std::string(buf.data(), static_cast<size_t>(n));
    }
    return std::string();
}

Status Win32User::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    BOOL ok = ::ExitWindowsEx(flags, reason);
    DWORD error = GetLastError();
    return ok ? Status::Ok() : Status::Fail(error);
}

int Win32User::AfxMessageBox(const std::string& text, uint32_t style) {
    CWinApp* app = CWinApp::Current();
    HWND owner = app ? app->MainWindowHandle() : nullptr;
    std::string caption = app ? app->AppName() : std::string();
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), style);
}

int Win32User::MessageBoxA(uintptr_t owner, const std::string& text, const std::string& caption,
                           uint32_t style) {
    return ::MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
}

}  // namespace zep::fw
