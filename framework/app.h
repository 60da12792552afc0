// The application object: one global instance per program, started by the
// framework's WinMain, which loads the common controls and calls
// InitInstance. The program ends when InitInstance returns.
#pragma once

#include <windows.h>

#include <string>

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

// What WinMain does: set the instance and the application name, make the
// progress control available, run InitInstance.
int RunApplication(HINSTANCE instance);

}  // namespace zep::fw
