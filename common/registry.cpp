// Deleting a key with everything below it, in the view that the WOW64 flag
// selects.
#include "common/support.h"

namespace zep {

int32_t Support::MyRegDeleteKeyEx(HKey root, const std::string& subKey, uint32_t samDesired,
                                  uint32_t reserved) {
    // RegDeleteKeyExA refuses a key that has subkeys, and Windows 2000 and
    // XP x64 have no call that deletes a tree in a chosen view: the subkeys
    // go first, deepest first, in the same view. A key that cannot be
    // listed is still tried: it may have none.
    Advapi& advapi = os.advapi;
    uint32_t view = samDesired & (kKeyWow64_64Key | kKeyWow64_32Key);
    Advapi::KeyResult key = advapi.RegOpenKeyExA(root, subKey, 0, kKeyRead | view);
    if (key.status == 0) {
        Result<std::vector<std::string>> children = advapi.RegEnumKeys(key.key);
        advapi.RegCloseKey(key.key);
        for (const std::string& child : children.value) {
            int32_t status = MyRegDeleteKeyEx(root, JoinPath(subKey, child), samDesired, reserved);
            if (status != 0) return status;
        }
    }
    std::optional<int32_t> status = advapi.RegDeleteKeyExA(root, subKey, samDesired, reserved);
    if (!status) return -1;
    return *status == int32_t(kErrFileNotFound) ? 0 : *status;
}

int32_t Support::DeleteKeyTree(int wow64, const std::string& path) {
    if (wow64) return MyRegDeleteKeyEx(kHKeyLocalMachine, path, kKeyWow64_64Key, 0);
    int32_t status = os.advapi.SHDeleteKeyA(kHKeyLocalMachine, path);
    return status == int32_t(kErrFileNotFound) ? 0 : status;
}

bool Support::DeleteKeyReported(int wow64, const std::string& path, const char* failed64,
                                const char* failed32) {
    int32_t status = DeleteKeyTree(wow64, path);
    if (status != 0) log.WriteLog(wow64 ? failed64 : failed32, path.c_str(), int(status));
    return status == 0;
}

}  // namespace zep
