#include "common/trace_log.h"

#include "platform/routine.h"

namespace zep {

TraceLog::TraceLog(Kernel& kernel, std::string fileName)
    : kernel_(kernel), fileName_(std::move(fileName)) {}

bool TraceLog::OpenLog() {
    RoutineScope scope("OpenLog");
    std::string windows = kernel_.GetWindowsDirectoryA().value;
    // Drive letter, colon and backslash; "\Temp" after it gives "C:\\Temp",
    // which the file system reads as the folder Temp at the drive's root.
    std::string folder = windows.substr(0, 3) + "\\Temp";
    kernel_.CreateDirectoryA(folder);
    path_ = folder + fileName_;
    return kernel_.DeleteFileA(path_).ok;
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
    Result<HFile> file =
        kernel_.CreateFileA(path_, kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite,
                            kOpenAlways, kFileAttributeNormal);
    if (!file.ok) return;
    // A line written where the seek left off would overwrite the earlier
    // ones: this line is lost instead.
    if (!kernel_.SetFilePointer(file.value, 0, kFileEnd).ok) {
        kernel_.CloseHandle(file.value);
        return;
    }

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
