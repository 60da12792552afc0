// File deletions that say when they fail, and deletions at the next restart.
#include "common/support.h"

namespace zep {

bool Support::DeleteFileChecked(std::string path, uint32_t code) {
    log.WriteLog("DeleteFile Error : %s , (%d)", path.c_str(), int(code));
    return false;
}

bool Support::DeleteFileReported(const std::string& path) {
    Status deleted = os.kernel.DeleteFileA(path);
    if (deleted.ok) return true;
    return DeleteFileChecked(path, deleted.error);
}

bool Support::DeleteAtRestart(const std::string& path) {
    Status queued = os.kernel.MoveFileExA(path, nullptr, kMovefileDelayUntilReboot);
    if (queued.ok)
        log.WriteLog("MOVEFILE_DELAY_UNTIL_REBOOT : %s", path.c_str());
    else
        log.WriteLog("MoveFileEx failed : %s (%d)", path.c_str(), int(queued.error));
    return queued.ok;
}

bool Support::DeleteFileAndOldCopy(const std::string& path) {
    bool deleted = DeleteFileReported(path);
    std::string old = path + ".old";
    Status gone = os.kernel.DeleteFileA(old);
    // Normally there is none; one in use goes when Windows restarts.
    if (!gone.ok && gone.error != kErrFileNotFound && gone.error != kErrPathNotFound)
        DeleteAtRestart(old);
    return deleted;
}

}  // namespace zep
