// Deleting a folder tree, never through a link and never at a drive's root
// or the Windows and system folders.
#include "common/support.h"

namespace zep {

namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

void RemoveTree(Kernel& k, const std::string& path) {
    Result<uint32_t> attributes = k.GetFileAttributesA(path);
    if (attributes.ok && (attributes.value & kFileAttributeReparsePoint)) {
        // The folder itself is a link: remove the link, never its target.
        if (attributes.value & kFileAttributeDirectory)
            k.RemoveDirectoryA(path);
        else
            k.DeleteFileA(path);
        return;
    }
    if (attributes.ok) k.SetFileAttributesA(path, attributes.value & ~kFileAttributeReadonly);

    Result<std::vector<FindRecord>> entries = k.FindFiles(path + "\\*.*");
    for (const FindRecord& entry : entries.value) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string full = JoinPath(path, entry.name);
        bool isDirectory = (entry.attributes & kFileAttributeDirectory) != 0;
        if (entry.attributes & kFileAttributeReparsePoint) {
            // Junctions and symbolic links go as links; attributes are not
            // touched because setting them would reach the target.
            if (isDirectory)
                k.RemoveDirectoryA(full);
            else
                k.DeleteFileA(full);
        } else if (isDirectory) {
            RemoveTree(k, full);
        } else {
            k.SetFileAttributesA(full, entry.attributes & ~kFileAttributeReadonly);
            k.DeleteFileA(full);
        }
    }
    k.RemoveDirectoryA(path);
}

}  // namespace

void Support::RemoveDirectoryTree(std::string path) {
    RoutineScope scope("RemoveDirectoryTree");
    Kernel& k = os.kernel;
    std::string folder = WithoutTrailingSeparators(path);
    // Whatever a caller passes, the tree deletion never starts at the root of
    // a drive (nothing, "\\", "X:", "X:\\") or at the Windows or system
    // folder: run as administrator it would delete all it can there. A
    // folder that cannot be learned is not compared.
    bool root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
    Result<std::string> windows = root ? Result<std::string>{} : k.GetWindowsDirectoryA();
    Result<std::string> system = root ? Result<std::string>{} : k.GetSystemDirectoryA();
    if (root || (windows.ok && EqualsNoCase(folder, WithoutTrailingSeparators(windows.value))) ||
        (system.ok && EqualsNoCase(folder, WithoutTrailingSeparators(system.value)))) {
        log.WriteLog("RemoveDirectoryTree refused : %s", path.c_str());
        return;
    }
    RemoveTree(k, folder);
}

}  // namespace zep
