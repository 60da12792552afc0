// The trace log: one plain-text file per program in the folder Temp at the
// root of the system drive, a time-stamped line per call, on disk at once.
#pragma once

#include <cstdarg>
#include <string>

#include "common/format.h"
#include "platform/platform.h"

namespace zep {

class TraceLog {
public:
    // fileName is appended to the folder, e.g. "\\ZEP_Installer.txt".
    TraceLog(Kernel& kernel, std::string fileName);

    // Builds the path, makes the folder and deletes the previous run's file.
    // Returns the result of that deletion (callers ignore it).
    bool OpenLog();

    // Appends one line; dropped silently before OpenLog or when the file
    // cannot be opened. Never pass data as the format.
    void WriteLog(const char* format, ...) ZEP_PRINTF(2, 3);
    void WriteLogV(const char* format, va_list args);

    const std::string& path() const { return path_; }

    // The message part of a line is cut to this many characters.
    static constexpr size_t kMaxMessage = 1013;

private:
    Kernel& kernel_;
    std::string fileName_;
    std::string path_;
};

}  // namespace zep
