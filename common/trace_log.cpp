#include "common/trace_log.h"

#include "platform/routine.h"

namespace zep {

namespace {

// Appending only: every write lands at the end of the file, wherever another
// writer (the other thread) has moved it meanwhile.
constexpr uint32_t kAppendAccess = kFileAppendData | kFileReadAttributes | kSynchronize;

}  // namespace

TraceLog::TraceLog(Kernel& kernel, std::string fileName)
    : kernel_(kernel), fileName_(std::move(fileName)) {}

TraceLog::~TraceLog() {
    RoutineScope scope("CloseLog");
    if (folder_ != HFile::Invalid) kernel_.CloseHandle(folder_);
}

bool TraceLog::IsLink(HFile file, bool folder) {
    Result<FileInformation> info = kernel_.GetFileInformationByHandle(file);
    if (!info.ok) return true;  // what cannot be checked is not trusted
    if (info.value.attributes & kFileAttributeReparsePoint) return true;
    bool isFolder = (info.value.attributes & kFileAttributeDirectory) != 0;
    if (folder != isFolder) return true;
    return !folder && info.value.numberOfLinks != 1;
}

bool TraceLog::HoldFolder(const std::string& folder) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Reading the folder's list counts for sharing, so the missing
        // FILE_SHARE_DELETE keeps others from deleting or renaming it.
        Result<HFile> open = kernel_.CreateFileA(
            folder, kFileReadData | kFileReadAttributes, kFileShareRead | kFileShareWrite,
            kOpenExisting, kFileFlagBackupSemantics | kFileFlagOpenReparsePoint);
        if (!open.ok) return false;
        Result<FileInformation> info = kernel_.GetFileInformationByHandle(open.value);
        bool link = info.ok && (info.value.attributes & kFileAttributeReparsePoint);
        if (info.ok && !link && (info.value.attributes & kFileAttributeDirectory)) {
            folder_ = open.value;
            return true;
        }
        kernel_.CloseHandle(open.value);
        if (!link) return false;  // a file named Temp, or one that cannot be checked: no log
        // A junction or symbolic link: removing it leaves its target alone.
        if (info.value.attributes & kFileAttributeDirectory)
            kernel_.RemoveDirectoryA(folder);
        else
            kernel_.DeleteFileA(folder);
        kernel_.CreateDirectoryA(folder);
    }
    return false;
}

bool TraceLog::OpenLog() {
    RoutineScope scope("OpenLog");
    if (folder_ != HFile::Invalid) kernel_.CloseHandle(folder_);
    folder_ = HFile::Invalid;
    path_.clear();
    std::string windows = kernel_.GetWindowsDirectoryA().value;
    // Drive letter, colon and backslash; "\Temp" after it gives "C:\\Temp",
    // which the file system reads as the folder Temp at the drive's root.
    std::string folder = windows.substr(0, 3) + "\\Temp";
    kernel_.CreateDirectoryA(folder);
    if (!HoldFolder(folder)) return false;
    path_ = folder + fileName_;
    // Deleting a link deletes the link, not its target.
    return kernel_.DeleteFileA(path_).ok;
}

Result<HFile> TraceLog::OpenFile() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Result<HFile> file =
            kernel_.CreateFileA(path_, kAppendAccess, kFileShareRead | kFileShareWrite, kOpenAlways,
                                kFileAttributeNormal | kFileFlagOpenReparsePoint);
        if (!file.ok) return file;
        if (!IsLink(file.value, false)) return file;
        kernel_.CloseHandle(file.value);
        kernel_.DeleteFileA(path_);
    }
    return Result<HFile>::Fail(kErrAccessDenied);
}

void TraceLog::WriteLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLogV(format, args);
    va_end(args);
}

void TraceLog::WriteLogV(const char* format, va_list args) {
    if (path_.empty()) return;  // before OpenLog: the line is lost
    // The log's own calls are one place, whichever routine writes the line.
    RoutineScope scope("WriteLog");
    // The held folder cannot be swapped, but it can be made a link in place
    // once it is empty: from then on nothing is written.
    if (IsLink(folder_, true)) return;
    Result<HFile> file = OpenFile();
    if (!file.ok) return;

    SystemTime now = kernel_.GetLocalTime();
    char line[1024 + 2];
    size_t stamp = Format(line, sizeof line, "%02u:%02u:%02u: ", unsigned(now.hour),
                          unsigned(now.minute), unsigned(now.second));
    // The message gets what is left of the 1024 bytes after the stamp and the NUL.
    size_t message = FormatV(line + stamp, kMaxMessage + 1, format, args);
    std::string text(line, stamp + message);
    // Text and CR LF in one write, so lines of two threads never mix.
    text += "\r\n";
    kernel_.WriteFile(file.value, text);
    kernel_.CloseHandle(file.value);
}

}  // namespace zep
