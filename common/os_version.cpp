// Platform detection: the WOW64 flag and the OS code.
#include "common/support.h"

namespace zep {

int ClassifyOs(const OsVersion& v) {
    if (v.platformId == kVerPlatformWin32Windows) {
        if (v.major == 4) {
            if (v.minor == 0) return kOsWin95;
            if (v.minor == 10) return kOsWin98;
            if (v.minor == 90) return kOsWinMe;
        }
        return kOsWin7;
    }
    if (v.platformId == kVerPlatformWin32Nt) {
        if (v.major == 6) {
            bool workstation = v.productType == kVerNtWorkstation;
            if (v.minor == 0) return workstation ? kOsVista : kOs2008;
            if (v.minor == 1) return workstation ? kOsWin7 : kOs2008R2;
            return kOsWin7;
        }
        if (v.major == 5) {
            if (v.minor == 0) return kOsWin2000;
            if (v.minor == 1) return kOsWinXp;
            if (v.minor == 2) return kOsWin2003;
            return kOsWin7;
        }
        if (v.major <= 4) return kOsNt4;
    }
    return kOsWin7;
}

int Support::IsWow64() {
    RoutineScope scope("IsWow64");
    int result = 0;
    std::optional<Result<bool>> call = os.kernel.IsWow64Process();
    if (call && call->ok && call->value) result = 1;
    log.WriteLog(result ? "The process is running under WOW64."
                        : "The process is not running under WOW64.");
    return result;
}

int Support::CheckOS() {
    LoggedRoutine routine(log, "CheckOS");
    Result<OsVersion> v = os.kernel.GetVersionExA(kOsVersionInfoExSize);
    // Systems that refuse the extended structure are still classified by
    // platform, major and minor version.
    if (!v.ok) v = os.kernel.GetVersionExA(kOsVersionInfoSize);
    OsVersion info = v.ok ? v.value : OsVersion{};
    log.WriteLog("osvi.dwPlatformID   : %d", int(info.platformId));
    log.WriteLog("osvi.dwMajorVersion : %d", int(info.major));
    log.WriteLog("osvi.dwMinorVersion : %d", int(info.minor));
    log.WriteLog("osvi.dwBuildNumber  : %d", int(info.build));
    return ClassifyOs(info);
}

}  // namespace zep
