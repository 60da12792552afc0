// The product's entry in the system's list of installed programs.
#include "installer/installation.h"

namespace zep {

void CInstallation::RegisterUninstallInfo() {
    RoutineScope scope("RegisterUninstallInfo");
    Advapi& advapi = sys_.os.advapi;
    TraceLog& log = sys_.log;
    sys_.LogBegin("RegisterUninstallInfo");
    const std::string key =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
    log.WriteLog("REGKEY : %s", key.c_str());

    // The 64-bit view is where the system's list of programs looks on 64-bit Windows.
    uint32_t openMask = kKeyRead | kKeyWrite | (m_bWow64 ? kKeyWow64_64Key : 0);
    Advapi::KeyResult existing = advapi.RegOpenKeyExA(kHKeyLocalMachine, key, 0, openMask);
    if (existing.status == 0) {
        int32_t status = sys_.DeleteKeyTree(m_bWow64, key);
        if (status != 0)
            log.WriteLog(m_bWow64 ? "MyRegDeleteKeyEx failed : %s, (%d) "
                                  : "SHDeleteKey failed : %s , (%d) ",
                         key.c_str(), int(status));
        advapi.RegCloseKey(existing.key);
    }

    uint32_t createMask = kKeyWrite | (m_bWow64 ? kKeyWow64_64Key : 0);
    Advapi::KeyResult created =
        advapi.RegCreateKeyExA(kHKeyLocalMachine, key, kRegOptionNonVolatile, createMask);
    if (created.status != 0) {
        log.WriteLog(m_bWow64 ? "RegCreateKeyEx failed : %s, (%d) "
                              : "RegCreateKeyEx failed : %s , (%d) ",
                     key.c_str(), int(created.status));
        sys_.LogEnd("RegisterUninstallInfo");
        return;
    }

    User& user = sys_.os.user;
    auto setString = [&](const char* name, const std::string& text) {
        advapi.RegSetValueExA(created.key, name, kRegSz, text + std::string(1, '\0'));
    };
    std::string display = user.LoadStringA(16) + " Customer Display" + " Windows Driver V" +
                          user.LoadStringA(1) + "." + user.LoadStringA(2) + "." +
                          user.LoadStringA(3) + "E";
    setString("DisplayName", display);
    // Without the Windows folder the command would name "\ZEP\..." in the root
    // of whatever drive is current, a folder any user may create: Windows
    // would then run that file as administrator. No command is better.
    Result<std::string> windows = sys_.os.kernel.GetWindowsDirectoryA();
    if (windows.ok) {
        std::string command = windows.value + "\\ZEP\\" + user.LoadStringA(18);
        setString("UninstallString", command);
        // What deployment tools run to remove the product without a window.
        setString("QuietUninstallString", "\"" + command + "\" /quiet");
        setString("DisplayIcon", command);
    } else {
        log.WriteLog("GetWindowsDirectory failed");
    }
    // What deployment tools detect the installed version by: all four
    // numbers the installer compares, where the display name shows three.
    setString("DisplayVersion", user.LoadStringA(1) + "." + user.LoadStringA(2) + "." +
                                    user.LoadStringA(3) + "." + user.LoadStringA(4));
    setString("Publisher", user.LoadStringA(16));
    // The installer has no change or repair to offer.
    const std::string one("\1\0\0\0", 4);  // REG_DWORD 1, little-endian
    advapi.RegSetValueExA(created.key, "NoModify", kRegDword, one);
    advapi.RegSetValueExA(created.key, "NoRepair", kRegDword, one);
    advapi.RegCloseKey(created.key);
    sys_.LogEnd("RegisterUninstallInfo");
}

}  // namespace zep
