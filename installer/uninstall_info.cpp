// The product's entry in the system's list of installed programs.
#include "installer/installation.h"
#include "removal/removal.h"

namespace zep {

void CInstallation::RegisterUninstallInfo() {
    LoggedRoutine routine(sys_.log, "RegisterUninstallInfo");
    Advapi& advapi = sys_.os.advapi;
    TraceLog& log = sys_.log;
    const std::string key = kUninstallKey;
    log.WriteLog("REGKEY : %s", key.c_str());

    // The 64-bit view is where the system's list of programs looks on 64-bit Windows.
    uint32_t openMask = kKeyRead | kKeyWrite | (m_bWow64 ? kKeyWow64_64Key : 0);
    Advapi::KeyResult existing = advapi.RegOpenKeyExA(kHKeyLocalMachine, key, 0, openMask);
    if (existing.status == 0) {
        sys_.DeleteKeyReported(m_bWow64, key, "MyRegDeleteKeyEx failed : %s, (%d) ",
                               "SHDeleteKey failed : %s , (%d) ");
        advapi.RegCloseKey(existing.key);
    }

    uint32_t createMask = kKeyWrite | (m_bWow64 ? kKeyWow64_64Key : 0);
    Advapi::KeyResult created =
        advapi.RegCreateKeyExA(kHKeyLocalMachine, key, kRegOptionNonVolatile, createMask);
    if (created.status != 0) {
        log.WriteLog(m_bWow64 ? "RegCreateKeyEx failed : %s, (%d) "
                              : "RegCreateKeyEx failed : %s , (%d) ",
                     key.c_str(), int(created.status));
        return;
    }

    bool windowsKnown = true;
    for (const RegValue& value : UninstallValues(&windowsKnown)) {
        advapi.RegSetValueExA(created.key, value.name, value.type, value.data);
        if (value.name == "DisplayName" && !windowsKnown) log.WriteLog("GetWindowsDirectory failed");
    }
    advapi.RegCloseKey(created.key);
}

}  // namespace zep

namespace zep {

std::vector<RegValue> CInstallation::UninstallValues(bool* windowsKnown) {
    User& user = sys_.os.user;
    std::vector<RegValue> values;
    auto text = [&](const char* name, const std::string& value) {
        values.push_back({name, kRegSz, value + std::string(1, '\0')});
    };
    // The driver's version from the string table: its first `parts` numbers.
    auto version = [&](uint32_t parts) {
        std::string v = user.LoadStringA(InstallerString::kVersionMajor);
        for (uint32_t i = 1; i < parts; ++i) v += "." + user.LoadStringA(InstallerString::kVersionMajor + i);
        return v;
    };
    std::string maker = user.LoadStringA(InstallerString::kMakerName);
    text("DisplayName", maker + " Customer Display Windows Driver V" + version(3) + "E");
    // Without the Windows folder the command would name "\ZEP\..." in the root
    // of whatever drive is current, a folder any user may create: Windows
    // would then run that file as administrator. No command is better.
    Result<std::string> windows = sys_.os.kernel.GetWindowsDirectoryA();
    if (windowsKnown) *windowsKnown = windows.ok;
    if (windows.ok) {
        std::string command =
            JoinPath(ProductFolder(windows.value), user.LoadStringA(InstallerString::kUninstallerFile));
        text("UninstallString", command);
        // What deployment tools run to remove the product without a window.
        text("QuietUninstallString", "\"" + command + "\" /quiet");
        text("DisplayIcon", command);
    }
    // What deployment tools detect the installed version by: all four
    // numbers the installer compares, where the display name shows three.
    text("DisplayVersion", version(4));
    text("Publisher", user.LoadStringA(InstallerString::kMakerName));
    // The installer has no change or repair to offer.
    const std::string one("\1\0\0\0", 4);  // REG_DWORD 1, little-endian
    values.push_back({"NoModify", kRegDword, one});
    values.push_back({"NoRepair", kRegDword, one});
    return values;
}

}  // namespace zep
