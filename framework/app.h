// The application object: one global instance per program, started by the
// framework's WinMain, which loads the common controls and calls
// InitInstance. The program ends when InitInstance returns.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zep::fw {

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the program; the return value is ignored (the process ends after it).
    virtual BOOL InitInstance() = 0;

    // The window that owns every message box and every dialog constructed
    // without a parent; set by InitInstance.
    CDialog* m_pMainWnd = nullptr;

    HINSTANCE m_hInstance = nullptr;
    // The process's exit code once InitInstance has returned (0 unless set).
    int m_nExitCode = 0;
    // The program's file name without folder and extension.
    const std::string& AppName() const { return m_appName; }

    // The one instance; nullptr before its construction.
    static CWinApp* Current();

    // The main window's handle, or nullptr while there is none.
    HWND MainWindowHandle() const;

private:
    friend int RunApplication(HINSTANCE instance);
    std::string m_appName;
};

// "C:\dir\ZEP_Installer.exe" -> "ZEP_Installer": the last path component
// with its last extension removed.
std::string AppNameFromPath(const std::string& modulePath);

// The module's full file name (GetModuleFileNameA without truncation).
std::string ModuleFileName(HMODULE module);

// The program's arguments after its name, split from the Unicode command
// line by the system's rules, each in the ANSI code page the programs'
// calls use.
std::vector<std::string> CommandLineArguments();

// The whole command line as the program was given it (its name first), in
// the ANSI code page.
std::string CommandLineText();

// What WinMain does: set the instance and the application name, make the
// progress control available, run InitInstance; returns the exit code.
int RunApplication(HINSTANCE instance);

}  // namespace zep::fw
