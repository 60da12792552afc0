#include "common/trace_log.h"

#include <exception>

#include "platform/routine.h"

namespace zep {

namespace {

// Appending only: every write lands at the end of the file, wherever another
// writer (the other thread) has moved it meanwhile.
constexpr uint32_t kAppendAccess = kFileAppendData | kFileReadAttributes | kSynchronize;

// "D:\logs\run.txt" -> "D:\logs"; a bare file name lives in the current folder.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    // "C:\x.txt": the root keeps its backslash.
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

}  // namespace

TraceLog::TraceLog(Kernel& kernel, std::string fileName)
    : kernel_(kernel), fileName_(std::move(fileName)) {}

TraceLog::~TraceLog() {
    RoutineScope scope("CloseLog");
    CloseHandles();
}

void TraceLog::CloseHandles() {
    if (file_ != HFile::Invalid) kernel_.CloseHandle(file_);
    if (folder_ != HFile::Invalid) kernel_.CloseHandle(folder_);
    file_ = folder_ = HFile::Invalid;
}

void TraceLog::Close() {
    RoutineScope scope("CloseLog");
    path_.clear();
    CloseHandles();
}

bool TraceLog::IsLink(HFile file, bool folder) {
    Result<FileInformation> info = kernel_.GetFileInformationByHandle(file);
    if (!info.ok) return true;  // what cannot be checked is not trusted
    if (info.value.attributes & kFileAttributeReparsePoint) return true;
    bool isFolder = (info.value.attributes & kFileAttributeDirectory) != 0;
    if (folder != isFolder) return true;
    return !folder && info.value.numberOfLinks != 1;
}

bool TraceLog::PathIsLink(const std::string& path) {
    Result<uint32_t> attributes = kernel_.GetFileAttributesA(path);
    return attributes.ok && attributes.value != kInvalidFileAttributes &&
           (attributes.value & kFileAttributeReparsePoint);
}

bool TraceLog::HoldFolder(const std::string& folder, bool replaceLink) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Reading the folder's list counts for sharing, so the missing
        // FILE_SHARE_DELETE keeps others from deleting or renaming it.
        Result<HFile> open = kernel_.CreateFileA(
            folder, kFileReadData | kFileReadAttributes, kFileShareRead | kFileShareWrite,
            kOpenExisting, kFileFlagBackupSemantics | kFileFlagOpenReparsePoint);
        if (!open.ok) return false;
        Result<FileInformation> info = kernel_.GetFileInformationByHandle(open.value);
        bool link = info.ok && (info.value.attributes & kFileAttributeReparsePoint);
        // A link the system opened through rather than as itself: removing
        // it could reach its target too.
        bool openedThrough = info.ok && !link && PathIsLink(folder);
        if (info.ok && !link && !openedThrough && (info.value.attributes & kFileAttributeDirectory)) {
            folder_ = open.value;
            return true;
        }
        kernel_.CloseHandle(open.value);
        // A file of that name, one that cannot be checked, or a link that
        // is not ours to remove: no log.
        if (!link || !replaceLink) return false;
        // A junction or symbolic link: removing it leaves its target alone.
        if (info.value.attributes & kFileAttributeDirectory)
            kernel_.RemoveDirectoryA(folder);
        else
            kernel_.DeleteFileA(folder);
        kernel_.CreateDirectoryA(folder);
    }
    return false;
}

bool TraceLog::Open(Start start) {
    bool ok = OpenAt(start);
    openedByStart_ = true;
    return ok;
}

bool TraceLog::OpenLog() {
    if (openedByStart_) return deleted_;
    OpenAt(Start::Fresh);
    return deleted_;
}

bool TraceLog::OpenAt(Start start) {
    RoutineScope scope("OpenLog");
    CloseHandles();
    path_.clear();
    deleted_ = false;
    exclusive_ = start == Start::AppendIfFree;
    std::string folder, logPath;
    if (customPath_.empty()) {
        std::string windows = kernel_.GetWindowsDirectoryA().value;
        // Drive letter, colon and backslash; "\Temp" after it gives "C:\\Temp",
        // which the file system reads as the folder Temp at the drive's root.
        folder = windows.substr(0, 3) + "\\Temp";
        kernel_.CreateDirectoryA(folder);
        logPath = folder + fileName_;
    } else {
        folder = FolderOf(customPath_);
        logPath = customPath_;
    }
    if (!HoldFolder(folder, customPath_.empty())) return false;
    path_ = logPath;
    // Deleting a link deletes the link, not its target; one the system
    // opens through is left for OpenFile to refuse.
    if (start == Start::Fresh && !PathIsLink(path_)) deleted_ = kernel_.DeleteFileA(path_).ok;
    Result<HFile> file = HoldFile();
    if (file.ok) {
        file_ = file.value;
        return true;
    }
    // The Temp log goes on without its held file: each line tries its own
    // open, as ever. /log's file must be there from the start, and a file
    // another program writes is not written at all.
    if (customPath_.empty() && !exclusive_) return true;
    path_.clear();
    CloseHandles();
    return false;
}

Result<HFile> TraceLog::HoldFile() {
    RoutineScope scope("HoldLogFile");
    return OpenFile(exclusive_ ? kFileShareRead : kFileShareRead | kFileShareWrite, true);
}

Result<HFile> TraceLog::OpenFile(uint32_t share, bool checkPath) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Result<HFile> file = kernel_.CreateFileA(path_, kAppendAccess, share, kOpenAlways,
                                                 kFileAttributeNormal | kFileFlagOpenReparsePoint);
        if (!file.ok) return file;
        bool link = IsLink(file.value, false);
        if (!link && !(checkPath && PathIsLink(path_))) return file;
        kernel_.CloseHandle(file.value);
        if (!link) break;  // opened through: not ours to remove
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
    // A file held for this program alone is written through its handle.
    Result<HFile> file = exclusive_ ? Result<HFile>::Ok(file_)
                                    : OpenFile(kFileShareRead | kFileShareWrite, false);
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
    if (!exclusive_) kernel_.CloseHandle(file.value);
}

LoggedRoutine::LoggedRoutine(TraceLog& log, const char* scope, const char* logName)
    : scope_(scope), log_(log), name_(logName) {
#if defined(__cpp_exceptions)
    unwinding_ = std::uncaught_exceptions();
#endif
    log_.WriteLog("\r\n");
    log_.WriteLog("%s BEGIN", name_);
}

LoggedRoutine::~LoggedRoutine() {
#if defined(__cpp_exceptions)
    if (std::uncaught_exceptions() > unwinding_) return;
#endif
    if (!ended_) End();
}

void LoggedRoutine::End() {
    ended_ = true;
    log_.WriteLog("%s END", name_);
}

}  // namespace zep
