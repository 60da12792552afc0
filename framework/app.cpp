#include "framework/app.h"

#include <vector>

#include "common/command_line.h"
#include "framework/common_controls.h"
#include "framework/dialog.h"

namespace zep::fw {

namespace {
CWinApp* g_app = nullptr;
}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* CWinApp::Current() { return g_app; }

HWND CWinApp::MainWindowHandle() const { return m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr; }

std::string AppNameFromPath(const std::string& modulePath) {
    size_t slash = modulePath.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0) name.erase(dot);
    return name;
}

std::string ModuleFileName(HMODULE module) {
    std::vector<char> buf(MAX_PATH + 1);
    for (;;) {
        DWORD n = GetModuleFileNameA(module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::string();
        // A full buffer means the name was cut: try again with more room.
        if (n < buf.size() - 1) return std::string(buf.data(), n);
        if (buf.size() > 32768) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

namespace {

std::string Ansi(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

}  // namespace

std::vector<std::string> CommandLineArguments() {
    // Split before the conversion: in a double-byte code page the second
    // byte of a character may be a backslash, which the rules would count.
    std::vector<std::string> out;
    const wchar_t* line = GetCommandLineW();  // a stub that gives none on Windows 9x
    if (!line) return out;
    for (const std::wstring& arg : SplitCommandLine(std::wstring(line))) out.push_back(Ansi(arg));
    return out;
}

std::string CommandLineText() {
    const wchar_t* line = GetCommandLineW();
    return line ? Ansi(line) : std::string(GetCommandLineA());
}

int RunApplication(HINSTANCE instance) {
    CWinApp* app = CWinApp::Current();
    if (!app) return 1;
    app->m_hInstance = instance;
    app->m_appName = AppNameFromPath(ModuleFileName(nullptr));
    LoadCommonControls();
    app->InitInstance();
    return app->m_nExitCode;
}

}  // namespace zep::fw

// Defined beside CWinApp's constructor so that every program that has an
// application object links this entry point from the library.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return zep::fw::RunApplication(instance);
}
