// The installation object: the product's names, the system settings, the
// chosen models, and the installation sequence with its step routines.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/support.h"
#include "installer/views.h"
#include "resources/string_ids.h"

namespace zep {

// The Unidrv core the package carries for the driver beside the product's
// own files (the driver, its interface, help and resources), and its names
// file.
inline constexpr const char* kUnidrvCore[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL"};
inline constexpr char kStdNamesFile[] = "STDNAMES.GPD";

// What AddToWin2K puts in place besides the printers.
struct InstallPlan {
    bool driver = false;       // the files staged, the monitor, processor and driver registered
    bool inf = false;          // CopyINFFile
    bool entry = false;        // RegisterUninstallInfo
    bool uninstaller = false;  // CopyFilesOfUtilities
    bool restart = false;      // the success text and the restart question
    // A name another printer carries gets the next "(#N)".
    bool numberNames = false;

    // A person's run: everything when the driver was not there, else only
    // the printers (numbered).
    static InstallPlan ForPerson(bool driverPresent);
};

// An unattended run decides the plan from what it found, and checks what
// the sequence left before the restart question.
class UnattendedInstall {
public:
    virtual ~UnattendedInstall() = default;
    virtual InstallPlan Plan() = 0;
    virtual void CheckInstalled() = 0;
};

class CInstallation {
public:
    CInstallation(Support& sys, StatusHost& mainWindow);
    virtual ~CInstallation() = default;

    int m_nOsCode = 0;
    int m_bWow64 = 0;
    std::string m_strScratch;
    std::string m_strEnvironment;
    std::string m_strDriverSourceDir;
    std::string m_strMonitorFile;
    std::string m_strMonitorName;
    std::string m_strProcessorFile;
    std::string m_strProcessorName;
    std::string m_strModelName;
    std::string m_strDriverName;
    std::string m_strMiniDriverFile;
    std::string m_strUIPluginFile;
    std::string m_strProcessorIniFile;
    std::deque<std::string> m_chosenModels;  // in check-list order
    std::string* m_pStatusText = nullptr;    // the main dialog's status text
    ProgressBar* m_pProgress = nullptr;      // the main dialog's progress bar
    UnattendedInstall* m_pUnattended = nullptr;  // set in quiet and passive runs

    // The installation sequence, run once by the worker with port code 1000..1007.
    void AddToWin2K(int portCode);
    void SetSystemInfo();
    // The folder the package is read from, with its backslash: the current
    // folder (".\\") for a person, the program's own folder in an
    // unattended run, which may be started from anywhere.
    std::string PackageFolder();
    // The package folder of the platform: "Driver32\\" or "Driver64\\" in it.
    std::string DriverSourceFolder(int wow64);
    int PrinterDrvExist(const std::string& driverName);
    // "COM1:" to "COM8:" for port codes 1000 to 1007; empty for any other.
    static std::string PortName(int portCode);
    // The printer of the driver on the port named as the model (or the
    // model with "(#N)"); empty when there is none.
    std::string PrinterOfModelOnPort(const std::string& model, const std::string& port);

    // File staging.
    void CopyFilesNeededToAddPrnDrv();
    bool HandleCopyFileError(std::string source, std::string dest, uint32_t code);
    void CopyINFFile();
    void DeleteFilesUsed();
    void CopyFilesOfUtilities();
    bool CreateDirectoryWithSA(const std::string& path);

    // Spooler registration.
    bool AddLanguageMonitor();
    bool AddPrinterProcessor();
    bool AddPrinterDriverToSystem();
    bool AddPrinterToSystem(int portCode, std::string printerName);

    // Uninstall entry, and the values it gets.
    void RegisterUninstallInfo();
    // windowsKnown: the Windows folder was learned (else there is no command).
    std::vector<RegValue> UninstallValues(bool* windowsKnown = nullptr);

private:
    // Where the sequence's status steps go: the main dialog's status text
    // and progress bar (when handed over), and the main window's refresh.
    class StatusSteps final : public StatusHost {
    public:
        explicit StatusSteps(CInstallation& installation) : installation_(installation) {}
        void SetStatusText(const std::string& text) override;
        void ProgressStepIt() override;
        void ProgressSetPos(int position) override;
        void PostStatusRefresh() override { installation_.mainWindow_.PostStatusRefresh(); }

    private:
        CInstallation& installation_;
    };
    // A status step of the sequence; most move the progress bar one step and
    // pause half a second.
    void StatusStep(const std::string& text, int progress = StatusHost::kStep, uint32_t pauseMs = 500) {
        status_.StatusStep(sys_, text, progress, pauseMs);
    }

    // CopyFileA with overwriting, the "FILE SRC" line, and HandleCopyFileError
    // on failure when `checked`.
    bool CopyChecked(const std::string& source, const std::string& dest, bool checked = true);
    std::string LoadScratch(uint32_t id);
    // Per model: the files staged, the monitor, the processor and the driver.
    void StageAndRegister();
    // The product's files that the staging copies into the driver folder
    // (and deletes again): the minidriver, the plug-in, its settings, the
    // minidriver's data.
    std::vector<std::string> StagedFiles();

    Support& sys_;
    StatusHost& mainWindow_;
    StatusSteps status_{*this};
};

}  // namespace zep
